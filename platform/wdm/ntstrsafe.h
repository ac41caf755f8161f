// The kernel's bounded string formatting.
#pragma once

#ifdef _WIN32
#include <ddk/ntstrsafe.h>
#else

#include "platform/wdm/nt_types.h"

constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = static_cast<NTSTATUS>(0x80000005);

// Formats like printf into cbDest bytes, always ending in a zero byte:
// STATUS_SUCCESS; STATUS_BUFFER_OVERFLOW with the text cut to fit;
// STATUS_INVALID_PARAMETER, with nothing written, for a size of 0.
NTSTATUS RtlStringCbPrintfA(char* pszDest, SIZE_T cbDest, const char* pszFormat, ...)
    __attribute__((format(printf, 3, 4)));

#endif  // _WIN32
