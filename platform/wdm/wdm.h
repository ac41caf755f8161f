// Everything a WDM function driver of this system includes.
#pragma once

#ifdef _WIN32
// In C++ the kernel header redefines two intrinsics unless told they exist.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ddk/wdm.h>
#else

#include "platform/wdm/ex.h"
#include "platform/wdm/io.h"
#include "platform/wdm/ke.h"
#include "platform/wdm/nt_types.h"
#include "platform/wdm/po.h"

#endif  // _WIN32
