// The 80-bit extended float of the x87 and its arithmetic, carried out in
// integer arithmetic so that every host gives the same bits.
//
// An Extended is sign (1 bit), biased exponent (15 bits) and a 64-bit
// significand whose top bit is the explicit integer bit. A normal value is
// significand * 2^(biased exponent - 16383 - 63). The operations behave as the
// x87 does with 64-bit precision control, rounding to nearest (ties to even) and
// every exception masked: they deliver the masked response and OR what was
// signalled into an ExtendedStatus.
//
// Operand classes, as the x87 sees them:
//   biased exponent 0, significand 0          zero (either sign)
//   biased exponent 0, integer bit clear      denormal
//   biased exponent 0, integer bit set        pseudo-denormal: read as exponent 1
//   1..32766, integer bit set                 normal
//   1..32766, integer bit clear               unnormal: invalid operand
//   32767, significand 8000000000000000       infinity
//   32767, bits 63 and 62 set                 quiet NaN
//   32767, bit 63 set, bit 62 clear, not inf  signalling NaN
//   32767, integer bit clear                  pseudo-infinity / pseudo-NaN: invalid operand
// Denormal results come from gradual underflow; results never are pseudo-denormals.
#pragma once

#include <cstdint>

namespace quenlo {

struct Extended {
  static constexpr uint64_t kIntegerBit = uint64_t{1} << 63;
  static constexpr uint64_t kQuietBit = uint64_t{1} << 62;
  static constexpr uint16_t kSignBit = 0x8000;
  static constexpr uint16_t kExponentMask = 0x7FFF;
  static constexpr int kExponentBias = 16383;
  static constexpr int kMaxBiasedExponent = 32767;
  static constexpr int kByteSize = 10;

  uint64_t significand = 0;
  uint16_t sign_exponent = 0;

  // The 10-byte little-endian layout: significand first, then sign and exponent.
  static Extended FromBytes(const uint8_t* bytes);
  void ToBytes(uint8_t* bytes) const;

  constexpr bool IsNegative() const { return (sign_exponent & kSignBit) != 0; }
  constexpr int BiasedExponent() const { return sign_exponent & kExponentMask; }
  constexpr bool HasIntegerBit() const { return (significand & kIntegerBit) != 0; }
  // A biased exponent of 1..32766 with the integer bit clear.
  constexpr bool IsUnnormal() const {
    return BiasedExponent() != 0 && BiasedExponent() != kMaxBiasedExponent && !HasIntegerBit();
  }

  // Bitwise identity (so -0 != +0 and a NaN equals itself); see Compare for values.
  friend constexpr bool operator==(const Extended&, const Extended&) = default;
};

// Builds a value from its fields.
constexpr Extended MakeExtended(bool negative, int biased_exponent, uint64_t significand) {
  return Extended{significand, static_cast<uint16_t>((negative ? Extended::kSignBit : 0) |
                                                     (biased_exponent & Extended::kExponentMask))};
}

// The exception indications of the operations, at the bit positions of the
// x87 status word. Operations only add flags; the caller clears them.
struct ExtendedStatus {
  static constexpr uint8_t kInvalid = 0x01;
  static constexpr uint8_t kZeroDivide = 0x04;
  static constexpr uint8_t kOverflow = 0x08;

  uint8_t flags = 0;

  bool Invalid() const { return (flags & kInvalid) != 0; }
  bool ZeroDivide() const { return (flags & kZeroDivide) != 0; }
  bool Overflow() const { return (flags & kOverflow) != 0; }
};

// The x87 "real indefinite", the response to a masked invalid operation.
constexpr Extended kIndefinite =
    MakeExtended(true, Extended::kMaxBiasedExponent, Extended::kIntegerBit | Extended::kQuietBit);
constexpr Extended kPositiveInfinity =
    MakeExtended(false, Extended::kMaxBiasedExponent, Extended::kIntegerBit);

Extended ExtendedFromInt32(int32_t value);
// Exact as well: 64 significand bits hold every unsigned 64-bit integer.
Extended ExtendedFromUint64(uint64_t value);

Extended Add(const Extended& a, const Extended& b, ExtendedStatus& status);
Extended Subtract(const Extended& a, const Extended& b, ExtendedStatus& status);
Extended Multiply(const Extended& a, const Extended& b, ExtendedStatus& status);
Extended Divide(const Extended& a, const Extended& b, ExtendedStatus& status);
// Rounds to an integral value, ties to even; the sign stays (-0.25 gives -0).
Extended RoundToInteger(const Extended& a, ExtendedStatus& status);

// Sign changes touch no other bit and signal nothing, whatever the operand.
constexpr Extended Negate(const Extended& a) {
  return Extended{a.significand, static_cast<uint16_t>(a.sign_exponent ^ Extended::kSignBit)};
}
constexpr Extended Abs(const Extended& a) {
  return Extended{a.significand, static_cast<uint16_t>(a.sign_exponent & Extended::kExponentMask)};
}

enum class Ordering { kLess, kEqual, kGreater, kUnordered };

// a against b by value (-0 equals +0). Compare signals invalid for any NaN or
// invalid operand; CompareQuiet only for signalling NaNs and invalid operands.
Ordering Compare(const Extended& a, const Extended& b, ExtendedStatus& status);
Ordering CompareQuiet(const Extended& a, const Extended& b, ExtendedStatus& status);

}  // namespace quenlo
