// panel-scenario [--pictures DIR] SCRIPT: runs Dashel headless against a
// scripted user and simulated ports, printing the transcript (see README.md
// beside this file); with --pictures, every dialog and message box is also
// saved as a picture in DIR as it opens.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/panel_scenario/scenario_run.h"

int main(int argc, char** argv) {
    std::string pictures;
    if (argc == 4 && std::string(argv[1]) == "--pictures") {
        pictures = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc != 2) {
        std::cerr << "usage: panel-scenario [--pictures DIR] SCRIPT\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "panel-scenario: cannot read " << argv[1] << "\n";
        return 2;
    }
    std::stringstream content;
    content << in.rdbuf();
    std::vector<scenario::ScriptLine> lines;
    std::string error;
    if (!scenario::ParseScript(content.str(), &lines, &error)) {
        std::cerr << "panel-scenario: " << argv[1] << ": " << error << "\n";
        return 2;
    }
    scenario::ScenarioRun run(std::move(lines), pictures);
    return run.Run();
}
