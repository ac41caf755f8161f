// driver-scenario [--fail-alloc N] [--count-allocations] [--line-limit MS] SCRIPT
// Runs a scenario script against zbkusd (see FORMAT.md).
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "driver/scenario/scenario_runner.h"
#include "platform/wdm/wdm_test.h"

int main(int argc, char** argv) {
    long failAt = 0;
    bool count = false;
    unsigned long lineLimitMs = 0;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--fail-alloc" && i + 1 < argc) failAt = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--count-allocations") count = true;
        else if (arg == "--line-limit" && i + 1 < argc) {
            char* end = nullptr;
            lineLimitMs = std::strtoul(argv[++i], &end, 10);
            if (*end || lineLimitMs == 0 || lineLimitMs > 0xFFFFFFFEul) {
                std::cerr << "driver-scenario: --line-limit wants milliseconds, 1 to 4294967294: " << argv[i] << "\n";
                return 64;
            }
        }
        else path = argv[i];
    }
    if (!path) {
        std::cerr << "usage: driver-scenario [--fail-alloc N] [--count-allocations] [--line-limit MS] SCRIPT\n";
        return 64;
    }
    std::ifstream file(path);
    if (!file) {
        std::cerr << "driver-scenario: cannot read " << path << "\n";
        return 66;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    int result;
    {
        CScenarioRunner runner(std::cout, failAt);
        runner.SetLineLimit(static_cast<DWORD>(lineLimitMs));
        result = runner.Run(lines);
    }
    if (count) std::cout << "allocations " << platform::wdm::AllocationsCounted() << "\n";
    return result;
}
