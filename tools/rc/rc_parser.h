// Parser of the resource-script subset Dashel's scripts use.
#pragma once

#include <string>

#include "tools/rc/rc_script.h"

namespace rc {

// Parses the script at path and everything it includes; throws CCompileError on bad input.
RcScript ParseScript(const std::string& path);

// Reads an icon pixel map (see panel/resources/dashel.icon for the format); throws CCompileError.
std::vector<RcIconImage> ReadIconMap(const std::string& path, const SourcePos& from);

// The value of a name the scripts may use without defining it (style bits, languages,
// IDOK and the like); false when the name is not one of them.
bool BuiltinSymbol(const std::string& name, long long& value);

}  // namespace rc
