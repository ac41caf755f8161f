// Resource compiler: turns a resource script into a C++ source of constant tables.
//   rc <script.rc> <output.cpp>
// The output is written whole or not at all; errors go to stderr as file:line: error: text.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "tools/rc/rc_emit.h"
#include "tools/rc/rc_parser.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: rc <script.rc> <output.cpp>\n";
        return 2;
    }
    std::string script = argv[1], output = argv[2];
    std::string source;
    try {
        source = rc::EmitTables(rc::ParseScript(script), script.substr(script.rfind('/') + 1));
    } catch (const rc::CCompileError& e) {
        std::cerr << e.Describe() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << script << ": error: " << e.what() << "\n";
        return 1;
    }
    std::string temporary = output + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << source;
        out.close();
        if (!out) {
            std::cerr << temporary << ": error: cannot write the output\n";
            std::remove(temporary.c_str());
            return 1;
        }
    }
    if (std::rename(temporary.c_str(), output.c_str()) != 0) {
        std::cerr << output << ": error: cannot replace the output\n";
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}
