// The calibration's correction of one scale factor from the measured size.
#pragma once

#include "platform/base/win_types.h"

// The factor × measured / test size, rounded down in steps that keep two
// decimals of the measured value first: p = measured × 100 truncated, then
// (p × factor / testSize) / 100, each division truncating. Computed exactly;
// FALSE, with *corrected untouched, for a test size below 1 mm or a result
// that is no factor the cutter can take (below 1 or beyond 32 bits).
BOOL CorrectFactor(LONG factor, LONG testSizeMm, float measuredMm, LONG* corrected);
