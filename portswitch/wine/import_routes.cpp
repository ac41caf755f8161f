#include "portswitch/wine/import_routes.h"

#include <cstring>

namespace {

bool Patch(ULONG_PTR* pSlot, void* pRoute) {
    DWORD oldProtection = 0;
    if (!VirtualProtect(pSlot, sizeof *pSlot, PAGE_READWRITE, &oldProtection)) return false;
    *pSlot = reinterpret_cast<ULONG_PTR>(pRoute);
    VirtualProtect(pSlot, sizeof *pSlot, oldProtection, &oldProtection);
    return true;
}

}  // namespace

bool RouteImports(HMODULE hModule, const char* pszDll, const ImportRoute* pRoutes, int nRoutes,
                  std::string* pError) {
    auto* pBase = reinterpret_cast<BYTE*>(hModule);
    auto* pDos = reinterpret_cast<IMAGE_DOS_HEADER*>(pBase);
    auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int nPatched = 0;
    for (auto* pImport = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + imports.VirtualAddress);
         imports.VirtualAddress && pImport->Name; ++pImport) {
        if (lstrcmpiA(reinterpret_cast<char*>(pBase + pImport->Name), pszDll) != 0) continue;
        auto* pName = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->OriginalFirstThunk);
        auto* pSlot = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->FirstThunk);
        for (; pName->u1.AddressOfData; ++pName, ++pSlot) {
            if (IMAGE_SNAP_BY_ORDINAL(pName->u1.Ordinal)) continue;
            auto* pByName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(pBase + pName->u1.AddressOfData);
            for (int i = 0; i < nRoutes; ++i) {
                if (std::strcmp(reinterpret_cast<char*>(pByName->Name), pRoutes[i].pszFunction) != 0) continue;
                if (!Patch(reinterpret_cast<ULONG_PTR*>(&pSlot->u1.Function), pRoutes[i].pRoute)) {
                    *pError = std::string("cannot reroute the import of ") + pRoutes[i].pszFunction;
                    return false;
                }
                ++nPatched;
            }
        }
    }
    if (nPatched == 0) {
        *pError = std::string("the module imports none of the rerouted calls from ") + pszDll;
        return false;
    }
    return true;
}
