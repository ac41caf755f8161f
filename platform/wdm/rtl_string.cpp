#include <cstdarg>
#include <cstdio>

#include "platform/wdm/ntstrsafe.h"

NTSTATUS RtlStringCbPrintfA(char* pszDest, SIZE_T cbDest, const char* pszFormat, ...) {
    if (cbDest == 0) return STATUS_INVALID_PARAMETER;
    va_list args;
    va_start(args, pszFormat);
    int nLength = std::vsnprintf(pszDest, cbDest, pszFormat, args);
    va_end(args);
    if (nLength < 0) {
        pszDest[0] = '\0';
        return STATUS_INVALID_PARAMETER;
    }
    return static_cast<SIZE_T>(nLength) < cbDest ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW;
}
