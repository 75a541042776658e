// The float text of the converter, computed a second way: with the x87 unit's
// own arithmetic (long double), not with the program's software Extended. Used
// by make_float_forms.py to write the expected files of the float forms; only
// meaningful on an x86 host, where long double is the 80-bit format.
//
// Reads lines from standard input and answers each with one line:
//   F <20 hex digits>  the value (sign and exponent first) -> its text, or INVALID
//   P <text>           the text read as a float -> 20 hex digits, or FAIL
//
// Build: g++ -std=c++20 -O0 -frounding-math tools/x87_float_oracle.cpp
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

static_assert(LDBL_MANT_DIG == 64, "needs the x87 80-bit long double");

namespace {

struct Tables {
  long double units[32];
  long double thirty_twos[16];
  long double five_hundred_twelves[10];
};

// Each entry the extended value nearest to its power of ten (strtold rounds correctly).
const Tables& PowersOfTen() {
  static const Tables tables = [] {
    Tables t{};
    auto power = [](int n) { return std::strtold(("1e" + std::to_string(n)).c_str(), nullptr); };
    for (int i = 0; i < 32; ++i) t.units[i] = power(i);
    for (int i = 1; i < 16; ++i) t.thirty_twos[i] = power(32 * i);
    for (int i = 1; i < 10; ++i) t.five_hundred_twelves[i] = power(512 * i);
    return t;
  }();
  return tables;
}

long double ScaleByPowerOfTen(long double x, int n) {
  if (n == 0) return x;
  int m = n < 0 ? -n : n;
  if (m >= 5120) return n > 0 ? HUGE_VALL : 0.0L;
  const Tables& t = PowersOfTen();
  long double factors[3] = {t.units[m % 32], (m / 32) % 16 != 0 ? t.thirty_twos[(m / 32) % 16] : 0,
                            m / 512 != 0 ? t.five_hundred_twelves[m / 512] : 0};
  for (long double factor : factors) {
    if (factor == 0) continue;
    volatile long double step = n > 0 ? x * factor : x / factor;
    x = step;
  }
  return x;
}

struct Bits {
  uint64_t significand;
  uint16_t sign_exponent;
};

Bits ToBits(long double value) {
  unsigned char bytes[sizeof(long double)];
  std::memcpy(bytes, &value, sizeof value);
  Bits bits{};
  std::memcpy(&bits.significand, bytes, 8);
  std::memcpy(&bits.sign_exponent, bytes + 8, 2);
  return bits;
}

long double FromBits(Bits bits) {
  unsigned char bytes[sizeof(long double)] = {};
  std::memcpy(bytes, &bits.significand, 8);
  std::memcpy(bytes + 8, &bits.sign_exponent, 2);
  long double value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// The general format with 15 significant digits and "." as the separator.
std::string FormatExtended(Bits bits) {
  const int precision = 15;
  const int biased = bits.sign_exponent & 0x7FFF;
  const bool negative = (bits.sign_exponent & 0x8000) != 0;
  if (biased == 0) return "0";
  if (biased == 0x7FFF) return (bits.significand >> 48) == 0x8000 ? "INF" : "NAN";
  if ((bits.significand >> 63) == 0) return "INVALID";

  const int e = biased - 16383;
  int exponent = ((e * 19728) >> 16) + 1;
  long double x = std::rint(ScaleByPowerOfTen(std::fabs(FromBits(bits)), 18 - exponent));
  if (x >= 1e18L) {
    volatile long double tenth = x / 10;
    x = tenth;
    ++exponent;
  }
  x = std::rint(x);
  char raw[19];
  std::snprintf(raw, sizeof raw, "%018llu", static_cast<unsigned long long>(x));

  std::string digits(raw, precision);
  if (raw[precision] >= '5') {
    int i = precision - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i < 0) {
      digits = "1";
      ++exponent;
    } else {
      ++digits[i];
    }
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();

  std::string text = negative ? "-" : "";
  if (exponent > precision || exponent < -3) {
    text += digits[0];
    if (digits.size() > 1) text += "." + digits.substr(1);
    text += "E" + std::to_string(exponent - 1);
  } else if (exponent > 0) {
    std::string whole = digits.substr(0, std::min<size_t>(exponent, digits.size()));
    whole.resize(exponent, '0');
    text += whole;
    if (digits.size() > static_cast<size_t>(exponent)) text += "." + digits.substr(exponent);
  } else {
    text += "0";
    if (!digits.empty()) text += "." + std::string(-exponent, '0') + digits;
  }
  return text;
}

// Digits accumulated one by one, then one scaling; fails on an invalid
// operation or an overflow.
bool ScanExtended(const std::string& text, Bits& bits) {
  std::feclearexcept(FE_ALL_EXCEPT);
  volatile long double acc = 0;
  size_t i = 0;
  auto at = [&](size_t k) { return k < text.size() ? text[k] : '\0'; };
  auto digit = [&](size_t k) { return at(k) >= '0' && at(k) <= '9'; };
  while (at(i) == ' ') ++i;
  char sign = at(i);
  if (sign == '+' || sign == '-') ++i;
  const size_t mark = i;
  for (; digit(i); ++i) {
    acc = acc * 10;
    acc = acc + (at(i) - '0');
  }
  int exponent = 0;
  if (at(i) == '.') {
    ++i;
    int count = 0;
    for (; digit(i); ++i, ++count) {
      acc = acc * 10;
      acc = acc + (at(i) - '0');
    }
    exponent = -count;
  }
  if (i == mark) return false;
  if (at(i) == 'E' || at(i) == 'e') {
    ++i;
    char exponent_sign = at(i);
    if (exponent_sign == '+' || exponent_sign == '-') ++i;
    int e = 0;
    while (digit(i)) {
      e = e * 10 + (at(i++) - '0');
      if (e >= 500) break;
    }
    exponent += exponent_sign == '-' ? -e : e;
  }
  while (at(i) == ' ') ++i;
  if (i != text.size()) return false;
  long double value = ScaleByPowerOfTen(acc, exponent);
  if (sign == '-') value = -value;
  bool failed = std::fetestexcept(FE_INVALID | FE_OVERFLOW) != 0;
  std::feclearexcept(FE_ALL_EXCEPT);
  bits = ToBits(value);
  return !failed;
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line.size() >= 2 && line[0] == 'F') {
      std::string hex = line.substr(2);
      Bits bits{std::strtoull(hex.substr(4).c_str(), nullptr, 16),
                static_cast<uint16_t>(std::strtoul(hex.substr(0, 4).c_str(), nullptr, 16))};
      std::cout << FormatExtended(bits) << '\n';
    } else if (line.size() >= 2 && line[0] == 'P') {
      Bits bits{};
      if (ScanExtended(line.substr(2), bits)) {
        char hex[21];
        std::snprintf(hex, sizeof hex, "%04X%016llX", bits.sign_exponent,
                      static_cast<unsigned long long>(bits.significand));
        std::cout << hex << '\n';
      } else {
        std::cout << "FAIL\n";
      }
    } else {
      std::cout << "?\n";
    }
  }
  return 0;
}
