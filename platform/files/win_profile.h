// Kernel32-style face for initialisation files: "[section]" lines followed by
// "key=value" lines. A file named without a drive or a leading backslash lies
// in the Windows directory. Section and key names are compared without regard
// to letter case; lines may come in any order, and the first match counts.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include "platform/base/win_types.h"

// The value read as an integer: optional sign, then decimal digits (or 0x and
// hex digits), stopping at the first other character and wrapping modulo 2^32,
// so "-5" gives (UINT)-5 and "12ab" gives 12; 0 for a value without digits;
// nDefault when the file, section or key is missing or the value is empty.
UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName);

// The characters copied, without the terminating zero: the value with the
// blanks around it and one pair of enclosing quotes removed, or lpDefault
// (trailing blanks removed, "" when NULL) when the file, section or key is
// missing; cut to nSize - 1 characters. 0, with nothing written, when the
// buffer is NULL or nSize is 0. A NULL section or key lists nothing here: the
// default is copied.
DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                               DWORD nSize, LPCSTR lpFileName);

#endif  // _WIN32
