#include "numtext/power_of_ten.h"

#include "numtext/pow10_tables.h"

namespace quenlo {

namespace {

// Beyond 10^5119 the tables end; no finite extended value survives such a factor.
constexpr int kScaleLimit = 5120;

}  // namespace

Extended ScaleByPowerOfTen(const Extended& x, int n, ExtendedStatus& status) {
  if (n == 0) return x;
  if (n >= kScaleLimit) return kPositiveInfinity;
  if (n <= -kScaleLimit) return Extended{};
  const int m = n < 0 ? -n : n;
  auto step = [n, &status](const Extended& value, const Extended& factor) {
    return n > 0 ? Multiply(value, factor, status) : Divide(value, factor, status);
  };
  Extended result = step(x, kPowersOfTenUnits[m % 32]);
  if ((m / 32) % 16 != 0) result = step(result, kPowersOfTenThirtyTwos[(m / 32) % 16]);
  if (m / 512 != 0) result = step(result, kPowersOfTenFiveTwelves[m / 512]);
  return result;
}

}  // namespace quenlo
