// Bytes on the cutter's serial line: commands parsed and carried out.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/cutter_sim/cutter_model.h"
#include "tools/cutter_sim/cutter_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cutter_sim::CCutterParser parser;
    cutter_sim::CCutterModel model;
    for (const cutter_sim::CutterCommand& command :
         parser.Feed(std::string_view(reinterpret_cast<const char*>(data), size)))
        model.Apply(command);
    return 0;
}
