#include "panel/calibration/correction.h"

#include <cmath>
#include <cstdint>

BOOL CorrectFactor(LONG factor, LONG testSizeMm, float measuredMm, LONG* corrected) {
    if (testSizeMm < 1 || !std::isfinite(measuredMm)) return FALSE;
    // The single-precision value widened before the product, so 299.9 gives 29989.
    double hundredths = std::trunc(static_cast<double>(measuredMm) * 100.0);
    if (hundredths < INT32_MIN || hundredths > INT32_MAX) return FALSE;
    std::int64_t p = static_cast<std::int64_t>(hundredths);
    std::int64_t result = p * factor / testSizeMm / 100;
    if (result < 1 || result > INT32_MAX) return FALSE;
    *corrected = static_cast<LONG>(result);
    return TRUE;
}
