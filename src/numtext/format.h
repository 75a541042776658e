// Numbers as the text form shows them, and the process-wide decimal separator.
//
//   FormatInteger(-2147483648)  "-2147483648"
//   FormatExtended(1.5)         "1.5"   ("1,5" while DecimalMark is ',')
//   FormatExtended(1/3)         "0.333333333333333"
//   FormatExtended(1e-5)        "1E-5"
//   FormatExtended(10^15)       "1E15"
//   FormatExtended(+/-inf)      "INF",  any NaN: "NAN",  zero and denormals: "0"
#pragma once

#include <cstdint>
#include <string>

#include "numtext/extended.h"

namespace quenlo {

// The character written between integer and fractional digits of a float, and
// the one the float parsing expects there.
extern char DecimalMark;

// Sets DecimalMark from the locale; called once at start-up.
void InitDecimalMark();

// Holds DecimalMark at '.' (or the given mark) for a scope and puts the previous
// value back when it ends, on every path.
class ScopedDecimalMark {
 public:
  explicit ScopedDecimalMark(char mark = '.') : saved_(DecimalMark) { DecimalMark = mark; }
  ~ScopedDecimalMark() { DecimalMark = saved_; }
  ScopedDecimalMark(const ScopedDecimalMark&) = delete;
  ScopedDecimalMark& operator=(const ScopedDecimalMark&) = delete;

 private:
  char saved_;
};

// Decimal digits with a leading '-' for negative values, no blanks, no grouping.
constexpr int kMaxIntegerText = 11;
int FormatIntegerTo(char* out, int32_t value);  // writes at most kMaxIntegerText, returns the count
std::string FormatInteger(int32_t value);

// The general format with 15 significant digits. Fails with EInvalidOp
// "Opération flottante incorrecte" for an unnormal, writing nothing.
constexpr int kMaxExtendedText = 64;
int FormatExtendedTo(char* out,
                     const Extended& value);  // needs kMaxExtendedText, returns the count
std::string FormatExtended(const Extended& value);

}  // namespace quenlo
