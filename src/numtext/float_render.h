// The float-to-text engine: the decimal decomposition of an extended value and
// its rendering in the general format. Nothing here allocates.
#pragma once

#include <cstdint>

#include "numtext/extended.h"

namespace quenlo {

enum class FloatValueKind { kExtended };
enum class FloatFormat { kGeneral };

// The value as 0.d1 d2 d3 ... * 10^Exponent.
struct TDecimalDigits {
  static constexpr int16_t kInfinityExponent = 32767;
  static constexpr int16_t kNaNExponent = -32768;
  static constexpr int kMaxDigits = 18;

  int16_t Exponent = 0;              // 0 for zero; kInfinityExponent, kNaNExponent for the specials
  bool Negative = false;             // false for zero and NaN, whatever their sign bit
  char Digits[kMaxDigits + 1] = {};  // most significant first, no trailing zeros, NUL-ended
};

// Decomposes value into at most precision significant digits (precision 2 .. 18),
// rounded half away from zero at the digit after the last kept one, keeping at
// most decimals digits after the decimal point. Zero and denormals give zero.
// The digits come from an 18-digit integer obtained in x87 arithmetic, so they
// need not be the correctly rounded ones; below 2^-680 the first digit may be 0.
// Fails with EInvalidOp for an unnormal value.
TDecimalDigits ToDecimalDigits(const Extended& value, FloatValueKind kind, int precision,
                               int decimals);

// Writes value into buffer (kMaxRenderedFloat characters are always enough) and
// returns the count. The general format: at most precision significant digits,
// DecimalMark before fractional digits, exponent form ("1.5E-10", "1E20") when
// the decimal exponent is above the precision or below -3, "INF" and "NAN"
// without sign. digits is not used by the general format.
constexpr int kMaxRenderedFloat = 32;
int RenderFloat(char* buffer, const Extended& value, FloatValueKind kind, FloatFormat format,
                int precision, int digits);

}  // namespace quenlo
