// The rounded powers of ten behind ScaleByPowerOfTen, written by
// tools/gen_pow10.py into pow10_tables.cpp.
#pragma once

#include "numtext/extended.h"

namespace quenlo {

// 10^0 .. 10^31; exact up to 10^27.
extern const Extended kPowersOfTenUnits[32];
// Index k holds 10^(32 k), k = 1 .. 15.
extern const Extended kPowersOfTenThirtyTwos[16];
// Index k holds 10^(512 k), k = 1 .. 9.
extern const Extended kPowersOfTenFiveTwelves[10];

}  // namespace quenlo
