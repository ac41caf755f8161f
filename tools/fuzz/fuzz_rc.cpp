// A resource script the compiler is given.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "tools/rc/rc_emit.h"
#include "tools/rc/rc_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::string path =
        (std::filesystem::temp_directory_path() / ("fuzz-rc-" + std::to_string(getpid()) + ".rc")).string();
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    try {
        rc::EmitTables(rc::ParseScript(path), "fuzz.rc");
    } catch (const rc::CCompileError&) {
    }
    return 0;
}
