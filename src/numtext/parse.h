// Numbers read from the text form. The whole text must be the number; only
// blanks (byte 32) may precede it, and for floats follow it. Values that do not
// fit are refused, never clipped.
//
//   ParseInteger("  42") 42    ParseInteger("$FFFFFFFF") -1    ParseInteger("-2147483648")
//   INT32_MIN ParseInteger("42 ")  fails ParseInteger("2147483648") fails ParseExtended("-.5") -0.5
//   ParseExtended("1E") 1   ParseExtended("1E4933") fails (overflow)
#pragma once

#include <cstdint>
#include <string_view>

#include "numtext/extended.h"

namespace quenlo {

// Decimal with an optional sign, or "$" and up to eight significant hex digits
// (read as a 32-bit pattern). value is left alone on failure.
bool ScanInteger(std::string_view text, int32_t& value);
// ScanInteger, or EConvertError "'<text>' n'est pas une valeur entière correcte".
int32_t ParseInteger(std::string_view text);

// [sign] digits [DecimalMark digits] [E|e [sign] digits], accumulated digit by
// digit in extended arithmetic and scaled by ScaleByPowerOfTen; the exponent
// digits stop after the one that brings it to 500 or more. Fails when the value
// overflows; underflow gives a denormal or zero. value is left alone on failure.
bool ScanExtended(std::string_view text, Extended& value);
// ScanExtended, or EConvertError "'<text>' n'est pas une valeur flottante correcte".
Extended ParseExtended(std::string_view text);

}  // namespace quenlo
