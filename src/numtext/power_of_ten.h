// Multiplying and dividing extended values by powers of ten, in at most three
// rounded steps; shared by the number formatting and the number parsing.
#pragma once

#include "numtext/extended.h"

namespace quenlo {

// x * 10^n for positive n, x / 10^-n for negative n, each step rounded to
// extended: by 10^(m mod 32), then 10^(32 ((m div 32) mod 16)) unless that is 1,
// then 10^(512 (m div 512)) unless that is 1, where m = |n|. For m >= 5120 the
// result is +infinity (n > 0) or +0 (n < 0) whatever x is; n = 0 leaves x as it is.
Extended ScaleByPowerOfTen(const Extended& x, int n, ExtendedStatus& status);

}  // namespace quenlo
