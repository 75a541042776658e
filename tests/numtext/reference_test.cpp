// FormatExtended, ParseExtended and ScaleByPowerOfTen against a straight
// rendering of the same steps in hardware x87 arithmetic, whose powers of ten
// are the compiler's own correctly rounded literals.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "numtext/extended.h"
#include "numtext/format.h"
#include "numtext/parse.h"
#include "numtext/power_of_ten.h"
#include "numtext/x87.h"
#include "runtime/exceptions.h"

namespace quenlo {
namespace {

[[maybe_unused]] std::string Bits(const Extended& x) {
  char text[32];
  std::snprintf(text, sizeof text, "%04X:%016" PRIX64, x.sign_exponent, x.significand);
  return text;
}

class ReferenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef QUENLO_HAVE_X87
    GTEST_SKIP() << "no x87 on this host";
#endif
  }
};

#ifdef QUENLO_HAVE_X87

const long double kUnits[32] = {
    1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,  1e10L,
    1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L,
    1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L, 1e28L, 1e29L, 1e30L, 1e31L,
};
const long double kThirtyTwos[16] = {
    1e0L,   1e32L,  1e64L,  1e96L,  1e128L, 1e160L, 1e192L, 1e224L,
    1e256L, 1e288L, 1e320L, 1e352L, 1e384L, 1e416L, 1e448L, 1e480L,
};
const long double kFiveTwelves[10] = {
    1e0L, 1e512L, 1e1024L, 1e1536L, 1e2048L, 1e2560L, 1e3072L, 1e3584L, 1e4096L, 1e4608L,
};

long double HardwareRound(long double x) {
  asm("frndint" : "+t"(x));
  return x;
}

long double HardwareScale(long double x, int n) {
  if (n == 0) return x;
  const int m = std::abs(n);
  if (m >= 5120) return n > 0 ? HUGE_VALL : 0.0L;
  const long double factors[3] = {kUnits[m % 32], kThirtyTwos[(m / 32) % 16],
                                  kFiveTwelves[m / 512]};
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && factors[i] == 1.0L) continue;
    x = n > 0 ? x * factors[i] : x / factors[i];
  }
  return x;
}

// The 15-digit general format, written out plainly.
std::string HardwareFormat(const Extended& value, char mark, bool& invalid) {
  invalid = false;
  const int biased = value.BiasedExponent();
  if (biased == 0) return "0";
  if (biased == 0x7FFF) return (value.significand >> 48) == 0x8000 ? "INF" : "NAN";

  const int e = biased - 16383;
  int exponent = static_cast<int>(std::floor(e * 19728.0 / 65536.0)) + 1;
  x87::ClearStatus();
  long double x = HardwareRound(HardwareScale(std::fabs(x87::ToLong(value)), 18 - exponent));
  if (x >= 1e18L) {
    x /= 10;
    ++exponent;
  }
  x = HardwareRound(x);
  if ((x87::StatusFlags() & ExtendedStatus::kInvalid) != 0) {
    invalid = true;
    return "";
  }
  char eighteen[32];
  std::snprintf(eighteen, sizeof eighteen, "%018llu", static_cast<unsigned long long>(x));
  std::string digits(eighteen);
  EXPECT_EQ(digits.size(), 18u) << Bits(value);

  const bool up = digits[15] >= '5';
  digits.resize(15);
  if (up) {
    int i = 14;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i < 0) {
      digits.assign(1, '1');
      ++exponent;
    } else {
      ++digits[i];
    }
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();

  std::string text = value.IsNegative() ? "-" : "";
  if (exponent > 15 || exponent < -3) {
    text += digits[0];
    if (digits.size() > 1) text.append(1, mark).append(digits, 1);
    text += 'E';
    text += std::to_string(exponent - 1);
  } else if (exponent > 0) {
    std::string whole = digits.substr(0, std::min<size_t>(exponent, digits.size()));
    whole.resize(exponent, '0');
    text += whole;
    if (digits.size() > static_cast<size_t>(exponent))
      text.append(1, mark).append(digits, exponent);
  } else {
    text += "0";
    text.append(1, mark).append(-exponent, '0').append(digits);
  }
  return text;
}

bool HardwareScan(const std::string& text, char mark, Extended& value) {
  size_t i = 0;
  auto at = [&](size_t k) { return k < text.size() ? text[k] : '\0'; };
  auto digit = [&](size_t k) { return at(k) >= '0' && at(k) <= '9'; };
  while (at(i) == ' ') ++i;
  const char sign = at(i);
  if (sign == '+' || sign == '-') ++i;
  const size_t start = i;
  x87::ClearStatus();
  long double acc = 0;
  while (digit(i)) {
    acc = acc * 10;
    acc = acc + (text[i++] - '0');
  }
  long exponent = 0;
  if (i < text.size() && text[i] == mark) {
    ++i;
    while (digit(i)) {
      acc = acc * 10;
      acc = acc + (text[i++] - '0');
      --exponent;
    }
  }
  if (i == start) return false;
  if (at(i) == 'E' || at(i) == 'e') {
    ++i;
    const char exponent_sign = at(i);
    if (exponent_sign == '+' || exponent_sign == '-') ++i;
    long e = 0;
    while (digit(i) && e < 500) e = e * 10 + (text[i++] - '0');
    exponent += exponent_sign == '-' ? -e : e;
  }
  while (at(i) == ' ') ++i;
  if (i != text.size()) return false;
  acc = HardwareScale(acc, static_cast<int>(std::max(-6000L, exponent)));
  if (sign == '-') acc = -acc;
  if ((x87::StatusFlags() & (ExtendedStatus::kInvalid | ExtendedStatus::kOverflow)) != 0) {
    return false;
  }
  value = x87::FromLong(acc);
  return true;
}

// Bit patterns: anything at all, values next to powers of ten and next to the
// rounding points of fifteen digits, and integers.
class PatternSource {
 public:
  explicit PatternSource(uint64_t seed) : random_(seed) {}

  Extended Next() {
    switch (random_() % 5) {
      case 0:
        return Extended{random_(), static_cast<uint16_t>(random_())};
      case 1:
        return Extended{random_() | Extended::kIntegerBit, static_cast<uint16_t>(random_())};
      case 2:
        return Nudge(FromDecimal("1e" + std::to_string(static_cast<int>(random_() % 9864) - 4931)));
      case 3: {
        // A 16-digit mantissa ending in 5 (or close to it) lies on a rounding point.
        std::string digits = std::to_string(1000000000000000 + random_() % 9000000000000000);
        digits.back() = '5';
        return Nudge(FromDecimal(digits.substr(0, 1) + "." + digits.substr(1) + "e" +
                                 std::to_string(static_cast<int>(random_() % 9864) - 4931)));
      }
      default:
        return x87::FromLong(
            static_cast<long double>(static_cast<int64_t>(random_() >> (random_() % 64))));
    }
  }

 private:
  static Extended FromDecimal(const std::string& text) {
    return x87::FromLong(std::strtold(text.c_str(), nullptr));
  }

  Extended Nudge(Extended x) {
    const int64_t steps = static_cast<int64_t>(random_() % 9) - 4;
    if (x.BiasedExponent() == 0 || x.BiasedExponent() == 0x7FFF) return x;
    x.significand += static_cast<uint64_t>(steps);
    x.significand |= Extended::kIntegerBit;
    if ((random_() & 1) != 0) x.sign_exponent ^= Extended::kSignBit;
    return x;
  }

  std::mt19937_64 random_;
};

#ifdef NDEBUG
constexpr int kPatterns = 400000;
#else
constexpr int kPatterns = 100000;
#endif
constexpr int kMaxReported = 10;

TEST_F(ReferenceTest, FormatExtendedMatchesTheHardwareSteps) {
  x87::ReferenceMode mode;
  PatternSource source(11);
  int mismatches = 0;
  for (int i = 0; i < kPatterns && mismatches < kMaxReported; ++i) {
    const Extended value = source.Next();
    const char mark = (i % 7 == 0) ? ',' : '.';
    ScopedDecimalMark scoped(mark);
    bool invalid = false;
    const std::string expected = HardwareFormat(value, mark, invalid);
    std::string actual;
    bool failed = false;
    try {
      actual = FormatExtended(value);
    } catch (const EInvalidOp&) {
      failed = true;
    }
    if (actual != expected || failed != invalid) {
      ++mismatches;
      ADD_FAILURE() << Bits(value) << ": x87 " << (invalid ? "invalid" : expected) << ", got "
                    << (failed ? "invalid" : actual);
    }
  }
}

// Literals of every shape the scan accepts, and some it refuses.
class LiteralSource {
 public:
  explicit LiteralSource(uint64_t seed) : random_(seed) {}

  std::string Next(char mark) {
    std::string text(Below(4) == 0 ? Below(3) : 0, ' ');
    const char* signs[] = {"", "", "+", "-"};
    text += signs[Below(4)];
    text += Digits(Below(8) == 0 ? Below(60) : Below(22));
    if (Below(2) != 0) {
      text += mark;
      text += Digits(Below(8) == 0 ? Below(60) : Below(22));
    }
    if (Below(3) != 0) {
      text += Below(2) != 0 ? 'E' : 'e';
      text += signs[Below(4)];
      const int e = Below(4) == 0 ? static_cast<int>(Below(5200)) : static_cast<int>(Below(40));
      text += std::string(Below(6) == 0 ? Below(3) : 0, '0') + std::to_string(e);
    }
    text += std::string(Below(4) == 0 ? Below(3) : 0, ' ');
    if (Below(40) == 0)
      text.insert(Below(static_cast<unsigned>(text.size()) + 1), 1, "x.,E+- \t"[Below(8)]);
    return text;
  }

 private:
  unsigned Below(unsigned n) { return static_cast<unsigned>(random_() % n); }

  std::string Digits(unsigned count) {
    std::string digits;
    for (unsigned i = 0; i < count; ++i) digits += static_cast<char>('0' + Below(10));
    return digits;
  }

  std::mt19937_64 random_;
};

TEST_F(ReferenceTest, ParseExtendedMatchesTheHardwareSteps) {
  x87::ReferenceMode mode;
  LiteralSource source(12);
  int mismatches = 0;
  for (int i = 0; i < kPatterns && mismatches < kMaxReported; ++i) {
    const char mark = (i % 5 == 0) ? ',' : '.';
    ScopedDecimalMark scoped(mark);
    const std::string text = source.Next(mark);
    Extended expected{}, actual{};
    const bool expected_ok = HardwareScan(text, mark, expected);
    const bool actual_ok = ScanExtended(text, actual);
    if (expected_ok != actual_ok || (expected_ok && expected != actual)) {
      ++mismatches;
      ADD_FAILURE() << '\'' << text << "': x87 " << (expected_ok ? Bits(expected) : "fails")
                    << ", got " << (actual_ok ? Bits(actual) : "fails");
    }
  }
}

TEST_F(ReferenceTest, ScaleByPowerOfTenMatchesForEveryExponent) {
  x87::ReferenceMode mode;
  const Extended samples[] = {ExtendedFromInt32(1),
                              ExtendedFromInt32(-7),
                              Extended{0xAAAAAAAAAAAAAAAB, 0x3FFD},
                              Extended{1, 0},
                              Extended{0xFFFFFFFFFFFFFFFF, 0x7FFE},
                              Extended{0x8000000000000000, 1}};
  for (const Extended& x : samples) {
    for (int n = -5200; n <= 5200; ++n) {
      x87::ClearStatus();
      const Extended expected = x87::FromLong(HardwareScale(x87::ToLong(x), n));
      const uint8_t expected_flags = x87::StatusFlags();
      ExtendedStatus status;
      const Extended actual = ScaleByPowerOfTen(x, n, status);
      ASSERT_EQ(Bits(actual), Bits(expected)) << Bits(x) << " * 10^" << n;
      ASSERT_EQ(status.flags, expected_flags) << Bits(x) << " * 10^" << n;
    }
  }
}

#endif  // QUENLO_HAVE_X87

}  // namespace
}  // namespace quenlo
