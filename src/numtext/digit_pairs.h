// Decimal digits two at a time, for the integer and float writers.
#pragma once

#include <cstdint>

namespace quenlo::digit_pairs {

inline constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes exactly count digits of value (leading zeros included) ending at end.
inline void WriteFixed(char* end, uint32_t value, int count) {
  while (count >= 2) {
    const char* pair = kPairs + 2 * (value % 100);
    *--end = pair[1];
    *--end = pair[0];
    value /= 100;
    count -= 2;
  }
  if (count > 0) *--end = static_cast<char>('0' + value % 10);
}

// The number of decimal digits of value (1 for 0).
inline int CountDigits(uint32_t value) {
  int count = 1;
  while (value >= 10) {
    value /= 10;
    ++count;
  }
  return count;
}

}  // namespace quenlo::digit_pairs
