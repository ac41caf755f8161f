// portswitch unplug|replug: loads the switcher library by name, as an outside
// program does, calls the export and prints its result. The printers are the
// prefix's local spooler ($KESTRA_PREFIX, else ~/.kestra).
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2 || (std::strcmp(argv[1], "unplug") != 0 && std::strcmp(argv[1], "replug") != 0)) {
        std::fprintf(stderr, "usage: portswitch unplug|replug\n");
        return 2;
    }
    void* library = dlopen("libUnPlugZbkUsb.so", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "portswitch: cannot load libUnPlugZbkUsb.so: %s\n", dlerror());
        return 2;
    }
    const char* pszExport = std::strcmp(argv[1], "unplug") == 0 ? "UnPlug" : "RePlug";
    using Export = unsigned char (*)();
    auto call = reinterpret_cast<Export>(dlsym(library, pszExport));
    if (!call) {
        std::fprintf(stderr, "portswitch: libUnPlugZbkUsb.so has no %s\n", pszExport);
        return 2;
    }
    int nResult = call() & 0xFF;
    std::printf("%s %d\n", argv[1], nResult);
    dlclose(library);
    return nResult == 1 ? 0 : 1;
}
