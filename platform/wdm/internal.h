// Shared by the stand-in kernel's own files.
#pragma once

#include "platform/wdm/io.h"

namespace platform::wdm {

// Counts one driver allocation; true when it is the one to fail.
bool TakeInjectedFailure();
[[noreturn]] void Fault(const char* what);

constexpr ULONG TagOf(const char (&text)[5]) {
    return static_cast<ULONG>(static_cast<UCHAR>(text[0])) | static_cast<ULONG>(static_cast<UCHAR>(text[1])) << 8 |
           static_cast<ULONG>(static_cast<UCHAR>(text[2])) << 16 | static_cast<ULONG>(static_cast<UCHAR>(text[3])) << 24;
}

}  // namespace platform::wdm
