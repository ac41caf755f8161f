// Writes the C++ source that holds a script's resources as constant tables.
#pragma once

#include <string>

#include "tools/rc/rc_script.h"

namespace rc {

// The source defining platform::res::g_resourceTables; scriptName goes into its header comment.
std::string EmitTables(const RcScript& script, const std::string& scriptName);

}  // namespace rc
