// Requests from user mode and from the system around the driver, as a driver
// scenario script: random codes, buffers and lengths, Plug and Play and power
// in any order, failed allocations, unplugging mid-transfer. Every run must
// end without a crash or a pool block left over, and a line that waits for
// ever (for a wake-up that never comes, say) must end once the cutters are unplugged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "driver/scenario/scenario_runner.h"
#include "platform/wdm/wdm_test.h"

namespace {
// Enough lines for any sequence the scripts use; more only slows the fuzzer.
constexpr std::size_t kMaxLines = 64;
// Beyond every wait a script can set up (a join gives up after 10 minutes).
constexpr DWORD kLineLimitMs = 20 * 60 * 1000;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines;
    std::string text(reinterpret_cast<const char*>(data), size);
    for (std::size_t at = 0; at <= text.size() && lines.size() < kMaxLines;) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    std::ostringstream transcript;
    {
        CScenarioRunner runner(transcript, 0);
        runner.SetLineLimit(kLineLimitMs);
        // A pool block left over, or a thread that unplugging did not free:
        // reported before the runner goes, which a stuck thread would not survive.
        if (runner.Run(lines) >= 2) {
            // Whole, NUL bytes of the input's lines and all: the reason comes last.
            const std::string text = transcript.str();
            std::fwrite(text.data(), 1, text.size(), stderr);
            std::abort();
        }
    }
    platform::wdm::FailAllocation(0);  // a failure the script asked for and never reached
    return 0;
}
