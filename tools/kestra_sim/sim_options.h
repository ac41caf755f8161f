// kestra-sim's command line: where it listens, how it logs, the state its
// cutter starts in, and the faults of its line.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/kestra_sim/faults.h"

namespace kestra_sim {

struct SimOptions {
    int nPort = 0;  // TCP port on 127.0.0.1; 0: any free one
    long nDelayMs = 0;  // extra time before each reply
    bool bOff = false;
    FaultOptions faults;
    std::string strLog;  // "" for standard output
    std::string strSvg;  // "" for no picture
    std::vector<std::pair<std::string, std::string>> aSettings;  // CCutterModel::Configure keys and values
    bool bHelp = false;
};

extern const char* const USAGE;

// False with *error (one line) for an unknown option, a missing or bad value.
bool ParseOptions(const std::vector<std::string>& args, SimOptions* options, std::string* error);

}  // namespace kestra_sim
