// A saved-sizes file as a user or another program may have left it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "panel/calibration/saved_sizes.h"
#include "platform/base/prefix.h"
#include "platform/files/files.h"
#include "platform/files/win_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::string file = [] {
        std::string root = (std::filesystem::temp_directory_path() / ("fuzz-saved-sizes-" + std::to_string(getpid()))).string();
        platform::SetPrefixRoot(root);
        platform::files::InstallDriveFiles();
        return root + "/drive_c/WINDOWS/Kestra.$$$";
    }();
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    int factorX[SAVED_SIZE_SLOTS], factorY[SAVED_SIZE_SLOTS];
    int names = 0;
    int count = ReadSavedSizes([&](const char* name) { names += name[0] != '\0'; }, factorX, factorY);
    if (count < 0 || count > SAVED_SIZE_SLOTS) __builtin_trap();
    char value[8];
    GetPrivateProfileStringA("KESTRA", "C1", "", value, sizeof value, "Kestra.$$$");
    GetPrivateProfileIntA("kestra", "total", 0, "Kestra.$$$");
    return 0;
}
