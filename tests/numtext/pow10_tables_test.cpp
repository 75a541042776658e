#include "numtext/pow10_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "numtext/power_of_ten.h"

namespace quenlo {
namespace {

// Just enough of a big integer to build 10^4608 and read its leading bits.
class BigNatural {
 public:
  BigNatural() : words_{1} {}

  void MultiplyByTen() {
    uint64_t carry = 0;
    for (uint32_t& word : words_) {
      const uint64_t product = uint64_t{word} * 10 + carry;
      word = static_cast<uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) words_.push_back(static_cast<uint32_t>(carry));
  }

  int BitLength() const {
    return 32 * static_cast<int>(words_.size() - 1) + (32 - __builtin_clz(words_.back()));
  }

  bool Bit(int index) const {
    return index >= 0 && ((words_[index / 32] >> (index % 32)) & 1) != 0;
  }

  bool AnyBitBelow(int index) const {
    for (int i = 0; i < index; ++i) {
      if (Bit(i)) return true;
    }
    return false;
  }

 private:
  std::vector<uint32_t> words_;  // least significant first
};

// The extended value nearest to n, ties to even.
Extended Nearest(const BigNatural& n) {
  const int length = n.BitLength();
  uint64_t significand = 0;
  for (int i = 0; i < 64; ++i) significand = (significand << 1) | (n.Bit(length - 1 - i) ? 1 : 0);
  int exponent = length - 1 + Extended::kExponentBias;
  const int round_index = length - 65;
  if (n.Bit(round_index) && (n.AnyBitBelow(round_index) || (significand & 1) != 0)) {
    if (++significand == 0) {
      significand = Extended::kIntegerBit;
      ++exponent;
    }
  }
  return MakeExtended(false, exponent, significand);
}

TEST(PowersOfTenTest, EachEntryIsTheNearestExtended) {
  BigNatural power;
  for (int n = 0; n <= 4608; ++n) {
    const Extended expected = Nearest(power);
    if (n < 32) {
      EXPECT_EQ(kPowersOfTenUnits[n], expected) << "10^" << n;
    }
    if (n % 32 == 0 && n / 32 < 16) {
      EXPECT_EQ(kPowersOfTenThirtyTwos[n / 32], expected) << "10^" << n;
    }
    if (n % 512 == 0) {
      EXPECT_EQ(kPowersOfTenFiveTwelves[n / 512], expected) << "10^" << n;
    }
    power.MultiplyByTen();
  }
}

TEST(ScaleByPowerOfTenTest, EndsOfTheRange) {
  const Extended one = ExtendedFromInt32(1);
  const Extended minus_one = ExtendedFromInt32(-1);
  const Extended unnormal{0x4000000000000000, 0x3FFF};
  ExtendedStatus status;
  EXPECT_EQ(ScaleByPowerOfTen(one, 27, status), kPowersOfTenUnits[27]);  // still exact
  EXPECT_EQ(ScaleByPowerOfTen(unnormal, 0, status), unnormal);           // no step, no fault
  EXPECT_EQ(ScaleByPowerOfTen(minus_one, 5120, status), kPositiveInfinity);
  EXPECT_EQ(ScaleByPowerOfTen(kIndefinite, -5120, status), Extended{});
  EXPECT_EQ(ScaleByPowerOfTen(minus_one, INT32_MIN, status), Extended{});
  EXPECT_EQ(status.flags, 0);
  ScaleByPowerOfTen(one, 4933, status);
  EXPECT_TRUE(status.Overflow());
}

}  // namespace
}  // namespace quenlo
