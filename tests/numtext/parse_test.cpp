#include "numtext/parse.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <random>
#include <string>

#include "numtext/format.h"
#include "runtime/exceptions.h"

namespace quenlo {
namespace {

constexpr Extended X(uint16_t sign_exponent, uint64_t significand) {
  return Extended{significand, sign_exponent};
}

std::string Bits(const Extended& x) {
  char text[32];
  std::snprintf(text, sizeof text, "%04X:%016" PRIX64, x.sign_exponent, x.significand);
  return text;
}

TEST(ParseIntegerTest, AcceptedTexts) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"0", 0},
      {"-0", 0},
      {"+7", 7},
      {"  42", 42},
      {"2147483647", 2147483647},
      {"-2147483647", -2147483647},
      {"-2147483648", INT32_MIN},  // the lowest value reads back as it is written
      {"00000000002147483647", 2147483647},
      {"$ff", 255},
      {"$FF", 255},
      {" $7fffFFFF", INT32_MAX},
      {"$FFFFFFFF", -1},
      {"$80000000", INT32_MIN},
      {"$0000000FF", 255},  // leading zeros do not count against the eight digits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseInteger(c.text), c.value) << c.text;
  }
}

TEST(ParseIntegerTest, RefusedTextsQuoteTheWholeText) {
  const char* const cases[] = {
      "",           " ",   "-",   "+",   "$",    "42 ", "\t42", "4 2", "2147483648",  "-2147483649",
      "$100000000", "-$1", "1.0", "1e3", "0x10", "$G",  "--1",  "+-1", "99999999999", "42\n",
  };
  for (const char* text : cases) {
    int32_t value = 12345;
    EXPECT_FALSE(ScanInteger(text, value)) << text;
    EXPECT_EQ(value, 12345) << text;
    try {
      ParseInteger(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& failure) {
      EXPECT_EQ(failure.Message(),
                "'" + std::string(text) + "' n'est pas une valeur entière correcte");
    }
  }
  // The text is quoted byte for byte, NUL included.
  const std::string with_nul(
      "1\0"
      "2",
      3);
  try {
    ParseInteger(with_nul);
    ADD_FAILURE() << "accepted a NUL byte";
  } catch (const EConvertError& failure) {
    EXPECT_EQ(failure.Message(), "'" + with_nul + "' n'est pas une valeur entière correcte");
  }
}

constexpr Extended kOne = X(0x3FFF, 0x8000000000000000);
constexpr Extended kOneAndHalf = X(0x3FFF, 0xC000000000000000);

TEST(ParseExtendedTest, AcceptedTexts) {
  ScopedDecimalMark mark;
  const struct {
    const char* text;
    Extended value;
  } cases[] = {
      {"1.5", kOneAndHalf},
      {" 1.5 ", kOneAndHalf},
      {"+1.5", kOneAndHalf},
      {"2.5E-1", X(0x3FFD, 0x8000000000000000)},
      {"0.25", X(0x3FFD, 0x8000000000000000)},
      {"-.5", X(0xBFFE, 0x8000000000000000)},
      {"12.", X(0x4002, 0xC000000000000000)},
      {".", X(0x0000, 0)},
      {"-.", X(0x8000, 0)},
      {"-0", X(0x8000, 0)},
      {"1E", kOne},
      {"1e+", kOne},
      {"1e-", kOne},
      {".E5", X(0x0000, 0)},
      {"1E27", X(0x4058, 0xCECB8F27F4200F3A)},  // exactly 10^27
      {"1E4932", X(0x7FFE, 0xD72CB2A95C7EF6CD)},
      {"1E0004932", X(0x7FFE, 0xD72CB2A95C7EF6CD)},
      {"1E-4999", X(0x0000, 0)},  // underflow is no failure
      {"1E-4940", X(0x0000, 0x0000000663278E62)},
      // A fraction so long that the scale passes the tables' reach gives 0.
      {"0.0000000000000000000000000000000000000000000000000001E-4999", X(0x0000, 0)},
      {"0.1", X(0x3FFB, 0xCCCCCCCCCCCCCCCD)},
      // Digit-by-digit accumulation, not a correctly rounded conversion (...077).
      {"123456789012345678901234567890", X(0x405F, 0xC77487FB61B9F076)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Bits(ParseExtended(c.text)), Bits(c.value)) << c.text;
  }
}

TEST(ParseExtendedTest, RefusedTextsQuoteTheWholeText) {
  ScopedDecimalMark mark;
  const char* const cases[] = {
      "",      " ",      "E5",      "+-1",    "--1",     "1 E5", "1,5",  "1.5.2",
      "1E5E5", "1E4933", "-1E4933", "1E5000", "1E50000", "\t1",  "1\t",  "e",
      "-",     "+",      "1E+-5",   "0x1",    "INF",     "NAN",  "1.5f",
  };
  for (const char* text : cases) {
    Extended value = kOne;
    EXPECT_FALSE(ScanExtended(text, value)) << text;
    EXPECT_EQ(value, kOne) << text;
    try {
      ParseExtended(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& failure) {
      EXPECT_EQ(failure.Message(),
                "'" + std::string(text) + "' n'est pas une valeur flottante correcte");
    }
  }
  // Digits alone can overflow the accumulator.
  Extended value;
  EXPECT_FALSE(ScanExtended("1" + std::string(4933, '0'), value));
  EXPECT_TRUE(ScanExtended("1" + std::string(4932, '0'), value));
}

TEST(ParseExtendedTest, OnlyTheCurrentDecimalMarkSeparates) {
  ScopedDecimalMark mark(',');
  Extended value;
  EXPECT_EQ(ParseExtended("1,5"), kOneAndHalf);
  EXPECT_EQ(ParseExtended("-,5E1"), X(0xC001, 0xA000000000000000));
  EXPECT_FALSE(ScanExtended("1.5", value));
}

// Text written by FormatExtended reads back to a value that writes the same text.
TEST(ParseExtendedTest, FormattedTextRoundTrips) {
  ScopedDecimalMark mark;
  std::mt19937_64 random(8);
  for (int i = 0; i < 200000; ++i) {
    const Extended x =
        X(static_cast<uint16_t>(1 + random() % 0x7FFE) | static_cast<uint16_t>(random() & 0x8000),
          random() | Extended::kIntegerBit);
    const std::string text = FormatExtended(x);
    const Extended back = ParseExtended(text);
    ASSERT_EQ(FormatExtended(back), text) << Bits(x) << " -> " << Bits(back);
  }
}

}  // namespace
}  // namespace quenlo
