#include "numtext/format.h"

#include "numtext/digit_pairs.h"
#include "numtext/float_render.h"
#include "runtime/platform.h"

namespace quenlo {

namespace {

constexpr int kFormatPrecision = 15;

}  // namespace

char DecimalMark = '.';

void InitDecimalMark() { DecimalMark = platform::LocaleDecimalSeparator(); }

int FormatIntegerTo(char* out, int32_t value) {
  // The magnitude as unsigned, so that -2147483648 needs no special case.
  uint32_t magnitude = static_cast<uint32_t>(value);
  char* p = out;
  if (value < 0) {
    *p++ = '-';
    magnitude = 0u - magnitude;
  }
  const int count = digit_pairs::CountDigits(magnitude);
  digit_pairs::WriteFixed(p + count, magnitude, count);
  return static_cast<int>(p + count - out);
}

std::string FormatInteger(int32_t value) {
  char text[kMaxIntegerText];
  return std::string(text, FormatIntegerTo(text, value));
}

int FormatExtendedTo(char* out, const Extended& value) {
  static_assert(kMaxRenderedFloat <= kMaxExtendedText);
  return RenderFloat(out, value, FloatValueKind::kExtended, FloatFormat::kGeneral, kFormatPrecision,
                     0);
}

std::string FormatExtended(const Extended& value) {
  char text[kMaxExtendedText];
  return std::string(text, FormatExtendedTo(text, value));
}

}  // namespace quenlo
