// The library's two exports. Each returns 1 on success and 0 on failure
// (only the low byte is defined) and shows or logs nothing.
#pragma once

#include "platform/base/win_types.h"

extern "C" {
// Moves every local printer on a "ZBKUSB..." port to "LPT1:" and notes the
// old ports, one field per printer, in C:\~PlugPort.Tmp. After a failure a
// printer whose port could not be noted is put back on it.
BYTE UnPlug();
// Reads and deletes C:\~PlugPort.Tmp and puts each noted printer back on its
// port; 0 also when the file could not be deleted (the printers are put back
// all the same).
BYTE RePlug();
}
