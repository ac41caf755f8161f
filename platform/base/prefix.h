// The folder that stands for the Windows file system, as a Wine prefix does:
// C:\ is <prefix>/drive_c, COMn is named by <prefix>/dosdevices/comN.
#pragma once

#include <string>

namespace platform {

// The prefix in use: the one set by SetPrefixRoot, else $KESTRA_PREFIX, else
// ~/.kestra. Created on first use with drive_c/WINDOWS/SYSTEM32 and dosdevices.
std::string PrefixRoot();

// Points the layer at another prefix (tests and tools use a fresh folder).
void SetPrefixRoot(const std::string& root);

}  // namespace platform
