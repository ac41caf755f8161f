// Everything a WDM function driver of this system includes.
#pragma once

#include "platform/wdm/ex.h"
#include "platform/wdm/io.h"
#include "platform/wdm/ke.h"
#include "platform/wdm/nt_types.h"
#include "platform/wdm/po.h"
