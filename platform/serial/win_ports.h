// Spooler-style port enumeration: the serial ports this machine offers.
#pragma once

#ifdef _WIN32
// On Windows the port list is the spooler's own.
#include <windows.h>
#include <winspool.h>
#else

#include "platform/base/win_types.h"

struct PORT_INFO_1A {
    LPSTR pName;  // "COM1:" and the like
};
using PORT_INFO_1 = PORT_INFO_1A;
using PPORT_INFO_1 = PORT_INFO_1A*;

// name must be NULL (this machine); level must be 1. With a buffer of at least
// *needed bytes: TRUE, the array of *returned entries followed by their
// strings. Otherwise FALSE with ERROR_INSUFFICIENT_BUFFER and *needed set
// (ask with size 0 first); ERROR_INVALID_LEVEL for another level,
// ERROR_INVALID_NAME for another machine, ERROR_INVALID_PARAMETER for null
// out-pointers or a null buffer with a non-zero size.
BOOL EnumPortsA(LPSTR name, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned);

#endif  // _WIN32
