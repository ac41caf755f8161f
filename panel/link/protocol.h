// The cutter's command set: request types and the protocol values that the
// reply interpreter sets and the panel actions read.
#pragma once

#include <atomic>

#include "platform/base/win_types.h"

enum RequestType {
    REQ_NONE = 0,
    REQ_PANEL = 1,
    REQ_SIZE = 2,
    REQ_TEST_CUT = 3,
    REQ_SET_FACTORS = 4,
    REQ_READ_FACTORS = 5,
    REQ_SET_MEDIA = 6,
    REQ_SAVE_FLASH = 7,
    REQ_FIRMWARE = 8,
};

constexpr LONG NOMINAL_FACTOR_X = 12390;
constexpr LONG NOMINAL_FACTOR_Y = 13112;

extern int g_nRequestType;
extern LONG g_nFactorX;
extern LONG g_nFactorY;
extern LONG g_nTestOrigin;
extern int g_nMediaType;
extern BOOL g_bSizeReceived;
// Read by the calibration's factor wait while the reader may set it.
extern std::atomic<BOOL> g_bFactorsRead;
