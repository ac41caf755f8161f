#include "portswitch/scenario/call_sweep.h"

#include <cstring>

#include "platform/base/win_base.h"
#include "platform/files/win_files.h"
#include "platform/spool/winspool.h"

namespace {

CCallSweep* g_pSweep = nullptr;

// What the call would meet in the field when it fails.
DWORD ErrorFor(const char* pszCall) {
    if (!std::strcmp(pszCall, "EnumPrintersA")) return RPC_S_SERVER_UNAVAILABLE;
    if (!std::strcmp(pszCall, "LocalAlloc")) return ERROR_NOT_ENOUGH_MEMORY;
    if (!std::strcmp(pszCall, "ReadFile")) return ERROR_READ_FAULT;
    if (!std::strcmp(pszCall, "WriteFile")) return ERROR_DISK_FULL;
    if (!std::strcmp(pszCall, "GetFileSize") || !std::strcmp(pszCall, "CloseHandle")) return ERROR_GEN_FAILURE;
    return ERROR_ACCESS_DENIED;  // OpenPrinterA, SetPrinterA, CreateFileA, DeleteFileA
}

}  // namespace

CCallSweep::CCallSweep(int nFailAt) : m_nFailAt(nFailAt) {
    g_pSweep = this;
    platform::test::SetCallFaultHook(Hook);
}

CCallSweep::~CCallSweep() {
    platform::test::SetCallFaultHook(nullptr);
    g_pSweep = nullptr;
}

DWORD CCallSweep::Hook(const char* pszCall, const char* pszTarget) {
    CCallSweep* pSweep = g_pSweep;
    if (!pSweep || !pSweep->m_bArmed) return ERROR_SUCCESS;
    std::string strPoint = pszCall;
    if (*pszTarget) strPoint += std::string(" ") + pszTarget;
    pSweep->m_aPoints.push_back(strPoint);
    return static_cast<int>(pSweep->m_aPoints.size()) == pSweep->m_nFailAt ? ErrorFor(pszCall) : ERROR_SUCCESS;
}
