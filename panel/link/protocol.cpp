#include "panel/link/protocol.h"

int g_nRequestType = REQ_NONE;
LONG g_nFactorX = NOMINAL_FACTOR_X;
LONG g_nFactorY = NOMINAL_FACTOR_Y;
LONG g_nTestOrigin = 100;
int g_nMediaType = 0;
BOOL g_bSizeReceived = 0;
std::atomic<BOOL> g_bFactorsRead{0};
