#include "numtext/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "numtext/float_render.h"
#include "runtime/exceptions.h"

namespace quenlo {
namespace {

constexpr Extended X(uint16_t sign_exponent, uint64_t significand) {
  return Extended{significand, sign_exponent};
}

TEST(FormatIntegerTest, WritesPlainDecimal) {
  const struct {
    int32_t value;
    const char* text;
  } cases[] = {{0, "0"},
               {-1, "-1"},
               {7, "7"},
               {2147483647, "2147483647"},
               {INT32_MIN, "-2147483648"},
               {-1000000, "-1000000"}};
  for (const auto& c : cases) {
    EXPECT_EQ(FormatInteger(c.value), c.text);
    char buffer[kMaxIntegerText + 1];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(FormatIntegerTo(buffer, c.value), static_cast<int>(std::strlen(c.text)));
    EXPECT_EQ(buffer[kMaxIntegerText], '#');
  }
}

// Values are the extended patterns nearest to the numbers in the comments.
struct FloatCase {
  Extended value;
  const char* text;
};

const FloatCase kGeneralFormat[] = {
    // Zero and everything with exponent 0 shows as 0.
    {X(0x0000, 0), "0"},
    {X(0x8000, 0), "0"},
    {X(0x0000, 0x0000000000000001), "0"},
    {X(0x8000, 0x7FFFFFFFFFFFFFFF), "0"},
    {X(0x0000, 0x8000000000000000), "0"},  // pseudo-denormal
    // Plain form.
    {X(0x3FFF, 0xC000000000000000), "1.5"},
    {X(0xBFFE, 0x8000000000000000), "-0.5"},
    {X(0xBFFF, 0x8000000000000000), "-1"},
    {X(0x4005, 0xC800000000000000), "100"},
    {X(0x3FFB, 0xCCCCCCCCCCCCCCCD), "0.1"},
    {X(0x3FF5, 0x83126E978D4FDF3B), "0.001"},
    {X(0x3FF1, 0xD1B71758E219652C), "0.0001"},
    {X(0x3FF2, 0x9D495182A9930BE1), "0.00015"},
    {X(0x3FFD, 0xAAAAAAAAAAAAAAAB), "0.333333333333333"},  // 1/3
    {X(0x3FFE, 0xAAAAAAAAAAAAAAAB), "0.666666666666667"},  // 2/3
    {X(0x400C, 0xC0E6B645A1CAC083), "12345.678"},
    {X(0x4000, 0xC90FDAA22168C235), "3.14159265358979"},
    {X(0x402D, 0xE0910C1BBEF20000), "123456789012345"},
    // Exponent form: below 0.0001, or more than 15 integer digits.
    {X(0x3FEE, 0xA7C5AC471B478423), "1E-5"},
    {X(0x3FF1, 0xCF9E3864CB5BB385), "9.9E-5"},
    {X(0x4030, 0xE35FA9319FFFE000), "1E15"},  // 999999999999999.5 rounds up a place
    {X(0x4030, 0xE35FA931A0000000), "1E15"},
    {X(0x4031, 0x8C5AA79157580000), "1.23456789012346E15"},
    {X(0x4037, 0xDB4DA5D31879A700), "1.23456789012346E17"},
    {X(0x403E, 0x8000000000000000), "9.22337203685478E18"},  // 2^63
    {X(0x4041, 0xAD78EBC5AC620000), "1E20"},
    {X(0xBFDE, 0xA4ED3F1B0E72604F), "-1.5E-10"},
    {X(0x414B, 0x924D692CA61BE758), "1E100"},
    {X(0x3EB2, 0xDFF9772470297EBD), "1E-100"},
    {X(0x7FFE, 0xFFFFFFFFFFFFFFFF), "1.18973149535723E4932"},
    {X(0x0001, 0x8000000000000000), "3.36210314311209E-4932"},
    // Below 2^-680 the estimated exponent can be one too high; the leading 0 stays.
    {X(0x3D56, 0x8000000000000000), "0.99671949510976E-205"},  // 2^-681
    // Infinities and NaNs, without sign. Only the top 16 significand bits tell them apart.
    {X(0x7FFF, 0x8000000000000000), "INF"},
    {X(0xFFFF, 0x8000000000000000), "INF"},
    {X(0x7FFF, 0x800000000000FFFF), "INF"},
    {X(0x7FFF, 0xC000000000000000), "NAN"},
    {X(0xFFFF, 0xC000000000000000), "NAN"},
    {X(0x7FFF, 0x8001000000000000), "NAN"},
    {X(0x7FFF, 0x0000000000000000), "NAN"},  // pseudo-infinity
    {X(0x7FFF, 0x4000000000000000), "NAN"},
};

TEST(FormatExtendedTest, GeneralFormatWithFifteenDigits) {
  ScopedDecimalMark mark('.');
  for (const FloatCase& c : kGeneralFormat) {
    EXPECT_EQ(FormatExtended(c.value), c.text)
        << std::hex << c.value.sign_exponent << ':' << c.value.significand;
  }
}

TEST(FormatExtendedTest, DecimalMarkOnlyWhereFractionalDigitsFollow) {
  ScopedDecimalMark mark(',');
  EXPECT_EQ(FormatExtended(X(0x3FFF, 0xC000000000000000)), "1,5");
  EXPECT_EQ(FormatExtended(X(0x3FFD, 0xAAAAAAAAAAAAAAAB)), "0,333333333333333");
  EXPECT_EQ(FormatExtended(X(0x4037, 0xDB4DA5D31879A700)), "1,23456789012346E17");
  EXPECT_EQ(FormatExtended(X(0x4005, 0xC800000000000000)), "100");
  EXPECT_EQ(FormatExtended(X(0x4041, 0xAD78EBC5AC620000)), "1E20");
  EXPECT_EQ(FormatInteger(-1000), "-1000");
}

TEST(FormatExtendedTest, UnnormalFailsWithInvalidOperation) {
  const uint8_t bytes[10] = {0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F};
  const Extended unnormals[] = {Extended::FromBytes(bytes), X(0x0001, 0x7FFFFFFFFFFFFFFF),
                                X(0xC005, 0x0000000000000001), X(0x7FFE, 0)};
  for (const Extended& value : unnormals) {
    char buffer[kMaxExtendedText];
    std::memset(buffer, '#', sizeof buffer);
    try {
      FormatExtendedTo(buffer, value);
      ADD_FAILURE() << "no failure for " << std::hex << value.sign_exponent;
    } catch (const EInvalidOp& failure) {
      EXPECT_STREQ(failure.what(), "Opération flottante incorrecte");
    }
    EXPECT_EQ(buffer[0], '#');
  }
}

TEST(FormatExtendedTest, ScopedDecimalMarkRestoresOnEveryPath) {
  DecimalMark = ';';
  {
    ScopedDecimalMark mark;
    EXPECT_EQ(DecimalMark, '.');
  }
  EXPECT_EQ(DecimalMark, ';');
  try {
    ScopedDecimalMark mark;
    FormatExtended(X(0x3FFF, 0x4000000000000000));
  } catch (const EInvalidOp&) {
  }
  EXPECT_EQ(DecimalMark, ';');
  DecimalMark = '.';
}

TEST(ToDecimalDigitsTest, DigitsExponentAndSign) {
  const struct {
    Extended value;
    int precision;
    int exponent;
    bool negative;
    const char* digits;
  } cases[] = {
      {X(0xBFFF, 0xC000000000000000), 15, 1, true, "15"},
      {X(0x8000, 0), 15, 0, false, ""},  // -0 is not negative
      {X(0xFFFF, 0x8000000000000000), 15, 32767, true, ""},
      {X(0xFFFF, 0xC000000000000001), 15, -32768, false, ""},
      {X(0x3FFD, 0xAAAAAAAAAAAAAAAB), 18, 0, false, "333333333333333333"},
      {X(0x3FFE, 0xAAAAAAAAAAAAAAAB), 2, 0, false, "67"},
      {X(0x4030, 0xE35FA9319FFFE000), 15, 16, false, "1"},  // carry through every digit
      {X(0x3D56, 0x8000000000000000), 18, -204, false, "099671949510975675"},  // 2^-681
  };
  for (const auto& c : cases) {
    const TDecimalDigits d = ToDecimalDigits(c.value, FloatValueKind::kExtended, c.precision, 9999);
    EXPECT_EQ(d.Exponent, c.exponent) << c.digits;
    EXPECT_EQ(d.Negative, c.negative) << c.digits;
    EXPECT_STREQ(d.Digits, c.digits);
  }
}

TEST(RenderFloatTest, PrecisionIsClampedToTwoThroughEighteen) {
  char buffer[kMaxRenderedFloat];
  const Extended third = X(0x3FFD, 0xAAAAAAAAAAAAAAAB);
  ScopedDecimalMark mark;
  auto render = [&](int precision) {
    return std::string(buffer, RenderFloat(buffer, third, FloatValueKind::kExtended,
                                           FloatFormat::kGeneral, precision, 0));
  };
  EXPECT_EQ(render(0), "0.33");
  EXPECT_EQ(render(2), "0.33");
  EXPECT_EQ(render(18), "0.333333333333333333");
  EXPECT_EQ(render(40), "0.333333333333333333");
}

}  // namespace
}  // namespace quenlo
