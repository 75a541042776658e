#include "numtext/extended.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "numtext/x87.h"

namespace quenlo {
namespace {

std::string Bits(const Extended& x) {
  char text[32];
  std::snprintf(text, sizeof text, "%04X:%016" PRIX64, x.sign_exponent, x.significand);
  return text;
}

constexpr Extended X(uint16_t sign_exponent, uint64_t significand) {
  return Extended{significand, sign_exponent};
}

constexpr uint8_t kNone = 0;
constexpr uint8_t kIE = ExtendedStatus::kInvalid;
constexpr uint8_t kZE = ExtendedStatus::kZeroDivide;
constexpr uint8_t kOE = ExtendedStatus::kOverflow;

constexpr Extended kOne = X(0x3FFF, 0x8000000000000000);
constexpr Extended kTwo = X(0x4000, 0x8000000000000000);
constexpr Extended kThree = X(0x4000, 0xC000000000000000);
constexpr Extended kHalf = X(0x3FFE, 0x8000000000000000);
constexpr Extended kZero = X(0x0000, 0);
constexpr Extended kMinusZero = X(0x8000, 0);
constexpr Extended kInf = X(0x7FFF, 0x8000000000000000);
constexpr Extended kMinusInf = X(0xFFFF, 0x8000000000000000);
constexpr Extended kLargest = X(0x7FFE, 0xFFFFFFFFFFFFFFFF);
constexpr Extended kSmallestNormal = X(0x0001, 0x8000000000000000);
constexpr Extended kSmallestDenormal = X(0x0000, 1);
constexpr Extended kPseudoDenormal = X(0x0000, 0x8000000000000001);
constexpr Extended kUnnormal = X(0x3FFF, 0x4000000000000000);
constexpr Extended kPseudoInfinity = X(0x7FFF, 0);
constexpr Extended kQuietNaN = X(0x7FFF, 0xC000000000000005);
constexpr Extended kSignalingNaN = X(0x7FFF, 0x8000000000000005);
constexpr Extended kIndefiniteBits = X(0xFFFF, 0xC000000000000000);

TEST(ExtendedTest, BytesAreLittleEndianSignificandThenSignExponent) {
  const uint8_t bytes[10] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFF, 0xBF};
  const Extended x = Extended::FromBytes(bytes);
  EXPECT_EQ(x.significand, 0xEFCDAB8967452301u);
  EXPECT_EQ(x.sign_exponent, 0xBFFF);
  EXPECT_TRUE(x.IsNegative());
  EXPECT_EQ(x.BiasedExponent(), 0x3FFF);
  uint8_t back[10] = {};
  x.ToBytes(back);
  EXPECT_EQ(std::vector<uint8_t>(back, back + 10), std::vector<uint8_t>(bytes, bytes + 10));
}

TEST(ExtendedTest, Int32ConversionIsExact) {
  EXPECT_EQ(ExtendedFromInt32(0), kZero);
  EXPECT_EQ(ExtendedFromInt32(1), kOne);
  EXPECT_EQ(ExtendedFromInt32(-3), Negate(kThree));
  EXPECT_EQ(ExtendedFromInt32(INT32_MIN), X(0xC01E, 0x8000000000000000));
  EXPECT_EQ(ExtendedFromInt32(INT32_MAX), X(0x401D, 0xFFFFFFFE00000000));
}

// Results the x87 gives; each row records one rounding or operand-class rule.
struct ArithmeticCase {
  const char* rule;
  x87::Op op;
  Extended a, b, result;
  uint8_t flags;
};

Extended Apply(x87::Op op, const Extended& a, const Extended& b, ExtendedStatus& status) {
  switch (op) {
    case x87::Op::kAdd:
      return Add(a, b, status);
    case x87::Op::kSubtract:
      return Subtract(a, b, status);
    case x87::Op::kMultiply:
      return Multiply(a, b, status);
    case x87::Op::kDivide:
      return Divide(a, b, status);
  }
  return {};
}

TEST(ExtendedTest, ArithmeticFollowsTheX87) {
  using enum x87::Op;
  const ArithmeticCase cases[] = {
      // Rounding to nearest, ties to even.
      {"tie stays even", kAdd, kOne, X(0x3FBF, 0x8000000000000000), kOne, kNone},
      {"tie goes up to even", kAdd, X(0x3FFF, 0x8000000000000001), X(0x3FBF, 0x8000000000000000),
       X(0x3FFF, 0x8000000000000002), kNone},
      {"above the tie", kAdd, kOne, X(0x3FBF, 0x8000000000000001), X(0x3FFF, 0x8000000000000001),
       kNone},
      {"far smaller operand only sticks", kSubtract, kOne, kSmallestNormal, kOne, kNone},
      {"borrow below the last bit", kSubtract, kOne, X(0x3FBE, 0xC000000000000000),
       X(0x3FFE, 0xFFFFFFFFFFFFFFFF), kNone},
      {"one third", kDivide, kOne, kThree, X(0x3FFD, 0xAAAAAAAAAAAAAAAB), kNone},
      {"carry into the exponent", kMultiply, X(0x3FFF, 0xFFFFFFFFFFFFFFFF),
       X(0x3FFF, 0xFFFFFFFFFFFFFFFF), X(0x4000, 0xFFFFFFFFFFFFFFFE), kNone},
      {"exact cancellation is +0", kSubtract, kThree, kThree, kZero, kNone},
      {"-0 + -0 stays -0", kAdd, kMinusZero, kMinusZero, kMinusZero, kNone},
      // Overflow and gradual underflow.
      {"overflow to infinity", kMultiply, kLargest, kTwo, kInf, kOE},
      {"negative overflow", kAdd, Negate(kLargest), Negate(kLargest), kMinusInf, kOE},
      {"denormal result", kDivide, kSmallestNormal, kTwo, X(0x0000, 0x4000000000000000), kNone},
      {"half the smallest denormal ties to zero", kDivide, Negate(kSmallestDenormal), kTwo,
       kMinusZero, kNone},
      {"denormal rounds up into the normal range", kMultiply, X(0x0000, 0x7FFFFFFFFFFFFFFF),
       X(0x3FFF, 0x8000000000000001), kSmallestNormal, kNone},
      {"pseudo-denormal reads as exponent 1", kAdd, kPseudoDenormal, kZero,
       X(0x0001, 0x8000000000000001), kNone},
      // Operand classes.
      {"unnormal is invalid", kMultiply, kUnnormal, kOne, kIndefiniteBits, kIE},
      {"unnormal beats a quiet NaN", kAdd, kQuietNaN, kUnnormal, kIndefiniteBits, kIE},
      {"pseudo-infinity is invalid", kAdd, kPseudoInfinity, kOne, kIndefiniteBits, kIE},
      {"signalling NaN is quieted", kAdd, kSignalingNaN, kOne, kQuietNaN, kIE},
      {"quiet NaN wins over signalling", kMultiply, kSignalingNaN, X(0xFFFF, 0xC000000000000001),
       X(0xFFFF, 0xC000000000000001), kIE},
      {"larger NaN significand wins", kDivide, X(0xFFFF, 0xC000000000000001), kQuietNaN, kQuietNaN,
       kNone},
      {"equal NaN significands: positive wins", kSubtract, X(0xFFFF, 0xC000000000000005), kQuietNaN,
       kQuietNaN, kNone},
      {"inf - inf", kAdd, kInf, kMinusInf, kIndefiniteBits, kIE},
      {"0 * inf", kMultiply, kMinusZero, kInf, kIndefiniteBits, kIE},
      {"0 / 0", kDivide, kZero, kMinusZero, kIndefiniteBits, kIE},
      {"x / 0", kDivide, kThree, kMinusZero, kMinusInf, kZE},
      {"x / inf", kDivide, Negate(kThree), kInf, kMinusZero, kNone},
  };
  for (const ArithmeticCase& c : cases) {
    ExtendedStatus status;
    const Extended result = Apply(c.op, c.a, c.b, status);
    EXPECT_EQ(Bits(result), Bits(c.result)) << c.rule;
    EXPECT_EQ(status.flags, c.flags) << c.rule;
  }
}

TEST(ExtendedTest, RoundToIntegerTiesToEvenAndKeepsTheSign) {
  struct Case {
    Extended a, result;
    uint8_t flags;
  } const cases[] = {
      {X(0x4000, 0xA000000000000000), kTwo, kNone},                           // 2.5
      {X(0x4000, 0xE000000000000000), X(0x4001, 0x8000000000000000), kNone},  // 3.5
      {Negate(kHalf), kMinusZero, kNone},
      {X(0x3FFE, 0x8000000000000001), kOne, kNone},  // just above 1/2
      {X(0xBFFD, 0xFFFFFFFFFFFFFFFF), kMinusZero, kNone},
      {X(0x403D, 0xFFFFFFFFFFFFFFFF), X(0x403E, 0x8000000000000000), kNone},  // 2^63 - 1/2
      {kLargest, kLargest, kNone},
      {kPseudoDenormal, kZero, kNone},
      {kMinusInf, kMinusInf, kNone},
      {kSignalingNaN, kQuietNaN, kIE},
      {kUnnormal, kIndefiniteBits, kIE},
  };
  for (const Case& c : cases) {
    ExtendedStatus status;
    EXPECT_EQ(Bits(RoundToInteger(c.a, status)), Bits(c.result)) << Bits(c.a);
    EXPECT_EQ(status.flags, c.flags) << Bits(c.a);
  }
}

TEST(ExtendedTest, CompareOrdersByValue) {
  ExtendedStatus status;
  EXPECT_EQ(Compare(kMinusZero, kZero, status), Ordering::kEqual);
  EXPECT_EQ(Compare(kPseudoDenormal, X(0x0001, 0x8000000000000001), status), Ordering::kEqual);
  EXPECT_EQ(Compare(Negate(kThree), Negate(kTwo), status), Ordering::kLess);
  EXPECT_EQ(Compare(kSmallestDenormal, kMinusZero, status), Ordering::kGreater);
  EXPECT_EQ(Compare(kMinusInf, Negate(kLargest), status), Ordering::kLess);
  EXPECT_EQ(status.flags, kNone);

  EXPECT_EQ(CompareQuiet(kQuietNaN, kOne, status), Ordering::kUnordered);
  EXPECT_EQ(status.flags, kNone);
  EXPECT_EQ(Compare(kQuietNaN, kOne, status), Ordering::kUnordered);
  EXPECT_EQ(status.flags, kIE);
  ExtendedStatus quiet;
  EXPECT_EQ(CompareQuiet(kOne, kUnnormal, quiet), Ordering::kUnordered);
  EXPECT_EQ(quiet.flags, kIE);
}

// ---- Against the hardware ----

// Operands biased to where the rules live: both ends of the exponent range,
// exponents whose sums or differences land on the overflow and underflow
// thresholds, short significands that make exact results and ties, and every
// special class.
class OperandSource {
 public:
  explicit OperandSource(uint64_t seed) : random_(seed) {}

  Extended Next() {
    const unsigned pick = Below(100);
    if (pick < 8) return Special();
    if (pick < 12) return X(static_cast<uint16_t>(random_()), random_());
    return Finite(Exponent());
  }

  // An operand whose exponent lies close to that of a, for additions that
  // cancel, align by a few bits or only stick.
  Extended Near(const Extended& a) {
    int exponent = a.BiasedExponent() + static_cast<int>(Below(2 * kNear + 1)) - kNear;
    if (Below(4) == 0) exponent = a.BiasedExponent();
    if (exponent < 0) exponent = 0;
    if (exponent > 0x7FFE) exponent = 0x7FFE;
    Extended b = Finite(exponent);
    if (Below(8) == 0) b.significand = a.significand ^ (uint64_t{1} << Below(8));
    return b;
  }

  int32_t Int32() {
    const int32_t edges[] = {0, 1, -1, INT32_MAX, INT32_MIN, INT32_MIN + 1, 1 << 30, -(1 << 24)};
    if (Below(10) == 0) return edges[Below(8)];
    return static_cast<int32_t>(random_() >> Below(32));
  }

 private:
  static constexpr int kNear = 140;

  unsigned Below(unsigned n) { return static_cast<unsigned>(random_() % n); }

  int Exponent() {
    // Zones: the denormal edge, around 1, near the top, and the halves and
    // three-halves of the range whose products and quotients hit either edge.
    static constexpr int kCentres[] = {0, 16383, 32766, 8191, 24574, 16383 + 64};
    int exponent = kCentres[Below(6)] + static_cast<int>(Below(401)) - 200;
    if (Below(16) == 0) exponent = static_cast<int>(Below(0x7FFF));
    if (exponent < 0) exponent = static_cast<int>(Below(3));
    if (exponent > 0x7FFE) exponent = 0x7FFE - static_cast<int>(Below(3));
    return exponent;
  }

  uint64_t Significand() {
    switch (Below(6)) {
      case 0: {  // a short odd significand: exact products, sums and ties
        const unsigned bits = 1 + Below(64);
        const uint64_t odd = (random_() | 1) & (~uint64_t{0} >> (64 - bits));
        return (odd | (uint64_t{1} << (bits - 1))) << (64 - bits);
      }
      case 1: {
        const uint64_t edges[] = {0x8000000000000000, 0xFFFFFFFFFFFFFFFF, 0x8000000000000001,
                                  0xC000000000000000, 0xAAAAAAAAAAAAAAAB, 0xFFFFFFFFFFFFFFFE};
        return edges[Below(6)];
      }
      default:
        return random_() | Extended::kIntegerBit;
    }
  }

  Extended Finite(int exponent) {
    uint64_t significand = Significand();
    if (exponent == 0) {
      // Denormal, sometimes a pseudo-denormal.
      if (Below(4) != 0) significand >>= 1 + Below(63);
    } else if (Below(50) == 0) {
      significand &= ~Extended::kIntegerBit;  // unnormal
    }
    const bool negative = Below(2) != 0;
    return MakeExtended(negative, exponent, significand);
  }

  Extended Special() {
    const Extended specials[] = {kZero,
                                 kMinusZero,
                                 kInf,
                                 kMinusInf,
                                 kQuietNaN,
                                 kSignalingNaN,
                                 kIndefiniteBits,
                                 kUnnormal,
                                 kPseudoInfinity,
                                 X(0x7FFF, 0x4000000000000001),
                                 X(0x0001, 0x7FFFFFFFFFFFFFFF),
                                 kPseudoDenormal,
                                 X(0x8000, 0xFFFFFFFFFFFFFFFF),
                                 kLargest,
                                 kSmallestNormal,
                                 kSmallestDenormal,
                                 kOne,
                                 kHalf,
                                 kThree,
                                 X(0x7FFF, 0xC000000000000000 | random_()),
                                 X(0xFFFF, 0x8000000000000000 | (random_() >> 2 | 1))};
    return specials[Below(sizeof specials / sizeof specials[0])];
  }

  std::mt19937_64 random_;
};

#ifdef NDEBUG
constexpr int kHardwareRounds = 1000000;
#else
constexpr int kHardwareRounds = 250000;
#endif
constexpr int kMaxReported = 10;

class HardwareTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef QUENLO_HAVE_X87
    GTEST_SKIP() << "no x87 on this host";
#endif
  }
};

#ifdef QUENLO_HAVE_X87

void CheckBinary(x87::Op op, const char* name, uint64_t seed) {
  x87::ReferenceMode mode;
  OperandSource source(seed);
  int mismatches = 0;
  for (int i = 0; i < kHardwareRounds && mismatches < kMaxReported; ++i) {
    const Extended a = source.Next();
    const Extended b = (i & 1) != 0 ? source.Next() : source.Near(a);
    uint8_t expected_flags = 0;
    const Extended expected = x87::Binary(op, a, b, expected_flags);
    ExtendedStatus status;
    const Extended actual = Apply(op, a, b, status);
    if (actual != expected || status.flags != expected_flags) {
      ++mismatches;
      ADD_FAILURE() << Bits(a) << ' ' << name << ' ' << Bits(b) << ": x87 " << Bits(expected)
                    << " flags " << int{expected_flags} << ", got " << Bits(actual) << " flags "
                    << int{status.flags};
    }
  }
}

TEST_F(HardwareTest, Add) { CheckBinary(x87::Op::kAdd, "+", 1); }
TEST_F(HardwareTest, Subtract) { CheckBinary(x87::Op::kSubtract, "-", 2); }
TEST_F(HardwareTest, Multiply) { CheckBinary(x87::Op::kMultiply, "*", 3); }
TEST_F(HardwareTest, Divide) { CheckBinary(x87::Op::kDivide, "/", 4); }

TEST_F(HardwareTest, RoundToInteger) {
  x87::ReferenceMode mode;
  OperandSource source(5);
  int mismatches = 0;
  for (int i = 0; i < kHardwareRounds && mismatches < kMaxReported; ++i) {
    Extended a = source.Next();
    // Most of the interest lies between 2^-2 and 2^64.
    if ((i & 1) != 0 && a.BiasedExponent() != 0 && a.BiasedExponent() != 0x7FFF) {
      a = MakeExtended(a.IsNegative(), 16381 + i % 68, a.significand);
    }
    uint8_t expected_flags = 0;
    const Extended expected = x87::RoundToInteger(a, expected_flags);
    ExtendedStatus status;
    const Extended actual = RoundToInteger(a, status);
    if (actual != expected || status.flags != expected_flags) {
      ++mismatches;
      ADD_FAILURE() << "round " << Bits(a) << ": x87 " << Bits(expected) << " flags "
                    << int{expected_flags} << ", got " << Bits(actual) << " flags "
                    << int{status.flags};
    }
  }
}

TEST_F(HardwareTest, Compare) {
  x87::ReferenceMode mode;
  OperandSource source(6);
  int mismatches = 0;
  for (int i = 0; i < kHardwareRounds && mismatches < kMaxReported; ++i) {
    const Extended a = source.Next();
    const Extended b = (i & 2) != 0 ? source.Next() : (i & 4) != 0 ? a : source.Near(a);
    const bool signalling = (i & 1) != 0;
    uint8_t expected_flags = 0;
    const Ordering expected = x87::Compare(a, b, signalling, expected_flags);
    ExtendedStatus status;
    const Ordering actual = signalling ? Compare(a, b, status) : CompareQuiet(a, b, status);
    if (actual != expected || status.flags != expected_flags) {
      ++mismatches;
      ADD_FAILURE() << (signalling ? "fcomi " : "fucomi ") << Bits(a) << ' ' << Bits(b) << ": x87 "
                    << static_cast<int>(expected) << " flags " << int{expected_flags} << ", got "
                    << static_cast<int>(actual) << " flags " << int{status.flags};
    }
  }
}

TEST_F(HardwareTest, FromInt32) {
  x87::ReferenceMode mode;
  OperandSource source(7);
  for (int i = 0; i < kHardwareRounds; ++i) {
    const int32_t value = source.Int32();
    const Extended expected = x87::FromInt32(value);
    ASSERT_EQ(Bits(ExtendedFromInt32(value)), Bits(expected)) << value;
  }
}

#endif  // QUENLO_HAVE_X87

}  // namespace
}  // namespace quenlo
