#include "numtext/parse.h"

#include "numtext/format.h"
#include "numtext/power_of_ten.h"
#include "runtime/exceptions.h"

namespace quenlo {

namespace {

constexpr char kBlank = ' ';
// Largest value that may take one more digit without leaving 32 bits.
constexpr uint32_t kMaxHexBeforeDigit = 0x0FFFFFFF;
constexpr uint32_t kMaxDecimalBeforeDigit = 214748364;
constexpr uint32_t kMaxPositive = 2147483647;
constexpr uint32_t kMaxNegative = 2147483648u;
// The exponent stops after the digit that takes it to this or beyond.
constexpr int kExponentStop = 500;
// Past this many fraction digits the scale is far below the tables' reach (the
// result is 0 either way), and counting further could overflow.
constexpr int kFractionCountLimit = -1000000;

constexpr Extended kTen = MakeExtended(false, Extended::kExponentBias + 3, 0xA000000000000000);

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A cursor over the text; reading past the end gives NUL, which matches no rule.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  bool AtEnd() const { return pos_ >= text_.size(); }
  size_t Position() const { return pos_; }
  void Skip() { ++pos_; }
  void SkipBlanks() {
    while (!AtEnd() && text_[pos_] == kBlank) ++pos_;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool ScanHexInteger(Cursor& in, int32_t& value) {
  if (in.AtEnd()) return false;
  uint32_t result = 0;
  while (!in.AtEnd()) {
    const int digit = HexDigitValue(in.Peek());
    if (digit < 0 || result > kMaxHexBeforeDigit) return false;
    result = result * 16 + static_cast<uint32_t>(digit);
    in.Skip();
  }
  value = static_cast<int32_t>(result);
  return true;
}

bool ScanDecimalInteger(Cursor& in, int32_t& value) {
  const bool negative = in.Peek() == '-';
  if (negative || in.Peek() == '+') in.Skip();
  if (in.AtEnd()) return false;
  uint32_t magnitude = 0;
  while (!in.AtEnd()) {
    if (!IsDigit(in.Peek()) || magnitude > kMaxDecimalBeforeDigit) return false;
    magnitude = magnitude * 10 + static_cast<uint32_t>(in.Peek() - '0');
    in.Skip();
  }
  // -2147483648 is accepted so that every integer written as text reads back.
  if (magnitude > (negative ? kMaxNegative : kMaxPositive)) return false;
  value = static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
  return true;
}

// The digits as acc := acc * 10 + digit, two rounded operations each. While
// acc is an integer that fits 64 bits both operations are exact, so it is kept
// as an integer until the next digit could leave that range.
class DigitAccumulator {
 public:
  void Append(char digit, ExtendedStatus& status) {
    const uint64_t value = static_cast<uint64_t>(digit - '0');
    if (!rounding_) {
      if (exact_ <= kMaxExact) {
        exact_ = exact_ * 10 + value;
        return;
      }
      rounded_ = ExtendedFromUint64(exact_);
      rounding_ = true;
    }
    rounded_ = Add(Multiply(rounded_, kTen, status), ExtendedFromUint64(value), status);
  }

  Extended Value() const { return rounding_ ? rounded_ : ExtendedFromUint64(exact_); }

 private:
  static constexpr uint64_t kMaxExact = (~uint64_t{0} - 9) / 10;

  uint64_t exact_ = 0;
  bool rounding_ = false;
  Extended rounded_;
};

}  // namespace

bool ScanInteger(std::string_view text, int32_t& value) {
  Cursor in(text);
  in.SkipBlanks();
  if (in.AtEnd()) return false;
  if (in.Peek() == '$') {
    in.Skip();
    return ScanHexInteger(in, value);
  }
  return ScanDecimalInteger(in, value);
}

int32_t ParseInteger(std::string_view text) {
  int32_t value = 0;
  if (!ScanInteger(text, value)) Raise<EConvertError>(MessageId::kInvalidInteger, {text});
  return value;
}

bool ScanExtended(std::string_view text, Extended& value) {
  Cursor in(text);
  ExtendedStatus status;
  DigitAccumulator digits;
  in.SkipBlanks();
  const bool negative = in.Peek() == '-';
  if (negative || in.Peek() == '+') in.Skip();
  const size_t mark = in.Position();

  while (IsDigit(in.Peek())) {
    digits.Append(in.Peek(), status);
    in.Skip();
  }
  int exponent = 0;
  if (!in.AtEnd() && in.Peek() == DecimalMark) {
    in.Skip();
    while (IsDigit(in.Peek())) {
      digits.Append(in.Peek(), status);
      in.Skip();
      if (exponent > kFractionCountLimit) --exponent;
    }
  }
  if (in.Position() == mark) return false;

  if (in.Peek() == 'E' || in.Peek() == 'e') {
    in.Skip();
    const bool negative_exponent = in.Peek() == '-';
    if (negative_exponent || in.Peek() == '+') in.Skip();
    int e = 0;
    while (IsDigit(in.Peek())) {
      e = e * 10 + (in.Peek() - '0');
      in.Skip();
      if (e >= kExponentStop) break;
    }
    exponent += negative_exponent ? -e : e;
  }
  in.SkipBlanks();
  if (!in.AtEnd()) return false;

  Extended acc = ScaleByPowerOfTen(digits.Value(), exponent, status);
  if (negative) acc = Negate(acc);
  if (status.Invalid() || status.Overflow()) return false;
  value = acc;
  return true;
}

Extended ParseExtended(std::string_view text) {
  Extended value;
  if (!ScanExtended(text, value)) Raise<EConvertError>(MessageId::kInvalidFloat, {text});
  return value;
}

}  // namespace quenlo
