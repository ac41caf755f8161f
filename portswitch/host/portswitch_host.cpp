// portswitch unplug|replug: loads the switcher library by name, as an outside
// program does, calls the export and prints its result. On Linux the library
// works on the prefix's local spooler ($KESTRA_PREFIX, else ~/.kestra), not on
// this machine's own printers: the program says so, and counts the printers it
// saw there and how many the call moved.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/spool/local_spooler.h"

namespace spool = platform::spool;

namespace {

struct PrinterList {
    bool bRead = false;
    std::string strProblem;  // why it could not be read
    std::vector<spool::PrinterRecord> aPrinters;
};

PrinterList ReadPrinters(const std::string& strFile) {
    PrinterList list;
    std::error_code ec;
    if (!std::filesystem::exists(strFile, ec)) {
        list.bRead = true;  // the spooler has no printers
        return list;
    }
    std::ifstream in(strFile, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (!in.is_open() || in.bad()) {
        list.strProblem = "it cannot be read";
        return list;
    }
    list.bRead = spool::ParsePrinters(text, &list.aPrinters, &list.strProblem);
    return list;
}

// Printers of both lists whose port differs.
int CountMoved(const PrinterList& before, const PrinterList& after) {
    int nMoved = 0;
    for (const auto& now : after.aPrinters)
        for (const auto& then : before.aPrinters)
            if (spool::SamePrinterName(now.strPrinterName, then.strPrinterName) && now.strPortName != then.strPortName)
                ++nMoved;
    return nMoved;
}

}  // namespace

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

    std::string strFile = spool::LocalSpoolerFile();
    std::error_code ec;
    bool bExists = std::filesystem::exists(strFile, ec);
    std::printf("spooler: the prefix's local spooler, %s%s (this machine's own printers are reached only by the "
                "Windows build)\n",
                strFile.c_str(), bExists ? "" : ", which does not exist: no printers");
    PrinterList before = ReadPrinters(strFile);
    if (!before.bRead) std::printf("spooler: %s: %s\n", strFile.c_str(), before.strProblem.c_str());

    int nResult = call() & 0xFF;

    PrinterList after = ReadPrinters(strFile);
    if (before.bRead && after.bRead)
        std::printf("%s %d: %zu printer%s seen, %d moved\n", argv[1], nResult, before.aPrinters.size(),
                    before.aPrinters.size() == 1 ? "" : "s", CountMoved(before, after));
    else
        std::printf("%s %d\n", argv[1], nResult);
    dlclose(library);
    return nResult == 1 ? 0 : 1;
}
