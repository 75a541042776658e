#include "numtext/float_render.h"

#include "numtext/digit_pairs.h"
#include "numtext/format.h"
#include "numtext/power_of_ten.h"
#include "runtime/exceptions.h"

namespace quenlo {

namespace {

constexpr int kMinPrecision = 2;
constexpr int kDigitCount = TDecimalDigits::kMaxDigits;
// The general format's decimals: more than any value has, so only the precision limits.
constexpr int kAllDecimals = 9999;
// The general format switches to the exponent form below 0.0001.
constexpr int kMinPlainExponent = -3;

constexpr Extended kTen = MakeExtended(false, Extended::kExponentBias + 3, 0xA000000000000000);
constexpr Extended kTenToTheEighteen =
    MakeExtended(false, Extended::kExponentBias + 59, 0xDE0B6B3A76400000);

// floor(e * log10(2)) + 1 with log10(2) taken as 19728 / 65536; for small
// values it can exceed the true decimal exponent by one.
int EstimateDecimalExponent(int binary_exponent) { return ((binary_exponent * 19728) >> 16) + 1; }

// The integer held by a finite, non-negative, integral extended value below 2^64.
uint64_t IntegerValue(const Extended& x) {
  if (x.BiasedExponent() == 0) return 0;
  return x.significand >> (63 - (x.BiasedExponent() - Extended::kExponentBias));
}

// The 18 digits of x < 10^18, with leading zeros, as two 32-bit halves.
void WriteEighteenDigits(uint64_t x, char* digits) {
  constexpr uint64_t kHalf = 1000000000;
  digit_pairs::WriteFixed(digits + 9, static_cast<uint32_t>(x / kHalf), 9);
  digit_pairs::WriteFixed(digits + 18, static_cast<uint32_t>(x % kHalf), 9);
}

int TrimTrailingZeros(const char* digits, int count) {
  while (count > 0 && digits[count - 1] == '0') --count;
  return count;
}

char* WriteUnsigned(char* out, uint32_t value) {
  const int count = digit_pairs::CountDigits(value);
  digit_pairs::WriteFixed(out + count, value, count);
  return out + count;
}

char* WriteText(char* out, const char* text) {
  while (*text != '\0') *out++ = *text++;
  return out;
}

}  // namespace

TDecimalDigits ToDecimalDigits(const Extended& value, FloatValueKind /*kind*/, int precision,
                               int decimals) {
  TDecimalDigits result;
  const int biased = value.BiasedExponent();
  if (biased == 0) return result;  // zero and every denormal
  if (biased == Extended::kMaxBiasedExponent) {
    // Only the top 16 significand bits tell an infinity from a NaN.
    if ((value.significand >> 48) == 0x8000) {
      result.Exponent = TDecimalDigits::kInfinityExponent;
      result.Negative = value.IsNegative();
    } else {
      result.Exponent = TDecimalDigits::kNaNExponent;
    }
    return result;
  }

  int exponent = EstimateDecimalExponent(biased - Extended::kExponentBias);
  ExtendedStatus status;
  Extended x = ScaleByPowerOfTen(Abs(value), kDigitCount - exponent, status);
  x = RoundToInteger(x, status);
  if (Compare(x, kTenToTheEighteen, status) != Ordering::kLess) {
    x = Divide(x, kTen, status);
    ++exponent;
  }
  x = RoundToInteger(x, status);
  // Only an unnormal operand gets here; the x87 would trap at the first step.
  if (status.Invalid()) Raise<EInvalidOp>(MessageId::kInvalidOperation);

  char digits[kDigitCount];
  WriteEighteenDigits(IntegerValue(x), digits);

  int kept = exponent + decimals;
  if (kept < 0) return result;
  if (kept > precision) kept = precision;
  if (kept >= kDigitCount) {
    kept = TrimTrailingZeros(digits, kDigitCount);
  } else if (digits[kept] >= '5') {
    // Round half away from zero: carry through the nines, which are dropped.
    int last = kept - 1;
    while (last >= 0 && digits[last] == '9') --last;
    if (last < 0) {
      digits[0] = '1';
      kept = 1;
      ++exponent;
    } else {
      ++digits[last];
      kept = last + 1;
    }
  } else {
    kept = TrimTrailingZeros(digits, kept);
  }

  result.Exponent = static_cast<int16_t>(exponent);
  result.Negative = value.IsNegative();
  for (int i = 0; i < kept; ++i) result.Digits[i] = digits[i];
  result.Digits[kept] = '\0';
  return result;
}

int RenderFloat(char* buffer, const Extended& value, FloatValueKind kind, FloatFormat /*format*/,
                int precision, int /*digits*/) {
  if (precision < kMinPrecision) precision = kMinPrecision;
  if (precision > kDigitCount) precision = kDigitCount;
  const TDecimalDigits d = ToDecimalDigits(value, kind, precision, kAllDecimals);
  char* out = buffer;
  if (d.Exponent == TDecimalDigits::kInfinityExponent)
    return static_cast<int>(WriteText(out, "INF") - buffer);
  if (d.Exponent == TDecimalDigits::kNaNExponent)
    return static_cast<int>(WriteText(out, "NAN") - buffer);

  const int exponent = d.Exponent;
  const char* digit = d.Digits;
  if (d.Negative) *out++ = '-';
  if (exponent > precision || exponent < kMinPlainExponent) {
    *out++ = *digit++;
    if (*digit != '\0') {
      *out++ = DecimalMark;
      out = WriteText(out, digit);
    }
    *out++ = 'E';
    if (exponent - 1 < 0) {
      *out++ = '-';
      out = WriteUnsigned(out, static_cast<uint32_t>(1 - exponent));
    } else {
      out = WriteUnsigned(out, static_cast<uint32_t>(exponent - 1));
    }
  } else if (exponent > 0) {
    for (int i = 0; i < exponent; ++i) *out++ = *digit != '\0' ? *digit++ : '0';
    if (*digit != '\0') {
      *out++ = DecimalMark;
      out = WriteText(out, digit);
    }
  } else {
    *out++ = '0';
    if (*digit != '\0') {
      *out++ = DecimalMark;
      for (int i = 0; i < -exponent; ++i) *out++ = '0';
      out = WriteText(out, digit);
    }
  }
  return static_cast<int>(out - buffer);
}

}  // namespace quenlo
