#include "numtext/extended.h"

namespace quenlo {

namespace {

constexpr int kMinNormalExponent = 1 - Extended::kExponentBias;  // -16382
constexpr uint64_t kAllOnes = ~uint64_t{0};
constexpr uint64_t kLowHalf = 0xFFFFFFFFu;

// ---- 64-bit helpers, portable to targets without a 128-bit integer type ----

int CountLeadingZeros(uint64_t x) { return x == 0 ? 64 : __builtin_clzll(x); }

struct Wide {
  uint64_t hi;
  uint64_t lo;
};

Wide MultiplyWide(uint64_t a, uint64_t b) {
#if defined(__SIZEOF_INT128__) && !defined(QUENLO_NO_INT128)
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return {static_cast<uint64_t>(product >> 64), static_cast<uint64_t>(product)};
#else
  const uint64_t a1 = a >> 32, a0 = a & kLowHalf;
  const uint64_t b1 = b >> 32, b0 = b & kLowHalf;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t middle = (p00 >> 32) + (p01 & kLowHalf) + (p10 & kLowHalf);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & kLowHalf)};
#endif
}

// (u1:u0) / v for v with its top bit set and u1 < v: long division in 32-bit
// digits, each estimated quotient digit corrected at most twice.
uint64_t DivideWide(uint64_t u1, uint64_t u0, uint64_t v, uint64_t& remainder) {
  constexpr uint64_t kBase = uint64_t{1} << 32;
  const uint64_t v1 = v >> 32, v0 = v & kLowHalf;
  const uint64_t u0_1 = u0 >> 32, u0_0 = u0 & kLowHalf;

  uint64_t q1 = u1 / v1;
  uint64_t rhat = u1 - q1 * v1;
  while (q1 >= kBase || q1 * v0 > ((rhat << 32) | u0_1)) {
    --q1;
    rhat += v1;
    if (rhat >= kBase) break;
  }
  const uint64_t partial = (u1 << 32) + u0_1 - q1 * v;  // < v, wraps correctly

  uint64_t q0 = partial / v1;
  rhat = partial - q0 * v1;
  while (q0 >= kBase || q0 * v0 > ((rhat << 32) | u0_0)) {
    --q0;
    rhat += v1;
    if (rhat >= kBase) break;
  }
  remainder = (partial << 32) + u0_0 - q0 * v;
  return (q1 << 32) + q0;
}

// Shifts (hi:lo) right by count bits; bits shifted out are ORed into sticky.
Wide ShiftRightSticky(Wide x, int count, bool& sticky) {
  if (count == 0) return x;
  if (count < 64) {
    sticky |= (x.lo << (64 - count)) != 0;
    return {x.hi >> count, (x.lo >> count) | (x.hi << (64 - count))};
  }
  if (count == 64) {
    sticky |= x.lo != 0;
    return {0, x.hi};
  }
  if (count < 128) {
    sticky |= x.lo != 0 || (x.hi << (128 - count)) != 0;
    return {0, x.hi >> (count - 64)};
  }
  sticky |= x.hi != 0 || x.lo != 0;
  return {0, 0};
}

// ---- Operand classification ----

enum class Kind { kZero, kFinite, kInfinity, kQuietNaN, kSignalingNaN, kUnsupported };

// A finite nonzero operand as significand * 2^(exponent - 63), the significand
// normalized (top bit set); denormals get exponents below -16382.
struct Unpacked {
  Kind kind;
  bool negative;
  int exponent;
  uint64_t significand;
};

Unpacked Unpack(const Extended& x) {
  const bool negative = x.IsNegative();
  const int biased = x.BiasedExponent();
  const uint64_t m = x.significand;
  if (biased == 0) {
    if (m == 0) return {Kind::kZero, negative, 0, 0};
    // Denormals and pseudo-denormals both scale as biased exponent 1.
    const int shift = CountLeadingZeros(m);
    return {Kind::kFinite, negative, kMinNormalExponent - shift, m << shift};
  }
  if (!x.HasIntegerBit()) return {Kind::kUnsupported, negative, 0, m};
  if (biased == Extended::kMaxBiasedExponent) {
    if (m == Extended::kIntegerBit) return {Kind::kInfinity, negative, 0, m};
    return {(m & Extended::kQuietBit) != 0 ? Kind::kQuietNaN : Kind::kSignalingNaN, negative, 0, m};
  }
  return {Kind::kFinite, negative, biased - Extended::kExponentBias, m};
}

bool IsNaNOrUnsupported(Kind kind) {
  return kind == Kind::kQuietNaN || kind == Kind::kSignalingNaN || kind == Kind::kUnsupported;
}

Extended Invalid(ExtendedStatus& status) {
  status.flags |= ExtendedStatus::kInvalid;
  return kIndefinite;
}

Extended Quieted(const Extended& nan) {
  return Extended{nan.significand | Extended::kQuietBit, nan.sign_exponent};
}

// The response to an operation with at least one NaN or invalid operand: an
// invalid operand gives the indefinite; else a quiet NaN wins over a signalling
// one, then the larger significand, then the positive sign. Signalling NaNs are
// quieted and signal invalid.
Extended PropagateNaN(const Extended& a, Kind ka, const Extended& b, Kind kb,
                      ExtendedStatus& status) {
  if (ka == Kind::kUnsupported || kb == Kind::kUnsupported) return Invalid(status);
  if (ka == Kind::kSignalingNaN || kb == Kind::kSignalingNaN) {
    status.flags |= ExtendedStatus::kInvalid;
  }
  const bool a_nan = ka == Kind::kQuietNaN || ka == Kind::kSignalingNaN;
  const bool b_nan = kb == Kind::kQuietNaN || kb == Kind::kSignalingNaN;
  if (!b_nan) return Quieted(a);
  if (!a_nan) return Quieted(b);
  if (ka != kb) return ka == Kind::kQuietNaN ? a : b;
  const uint64_t ma = a.significand | Extended::kQuietBit;
  const uint64_t mb = b.significand | Extended::kQuietBit;
  if (ma != mb) return Quieted(ma > mb ? a : b);
  return Quieted(a.IsNegative() ? b : a);
}

Extended SignedZero(bool negative) { return MakeExtended(negative, 0, 0); }
Extended SignedInfinity(bool negative) {
  return MakeExtended(negative, Extended::kMaxBiasedExponent, Extended::kIntegerBit);
}

// Rounds (hi + (lo + s) / 2^64) * 2^(exponent - 63), hi normalized and 0 <= s < 1
// standing for the sticky bits, to nearest even: at 64 bits for normal results,
// at the fixed denormal spacing below the normal range, to infinity above it.
Extended RoundAndPack(bool negative, int exponent, Wide x, bool sticky, ExtendedStatus& status) {
  int biased = exponent + Extended::kExponentBias;
  if (biased < 1) {
    x = ShiftRightSticky(x, biased > -200 ? 1 - biased : 201, sticky);
    biased = 0;
  }
  const bool round_bit = (x.lo >> 63) != 0;
  const bool rest = (x.lo << 1) != 0 || sticky;
  uint64_t m = x.hi;
  if (round_bit && (rest || (m & 1) != 0)) {
    ++m;
    if (m == 0) {
      m = Extended::kIntegerBit;
      ++biased;
    }
  }
  if (biased == 0 && (m & Extended::kIntegerBit) != 0)
    biased = 1;  // rounded up to the normal range
  if (biased >= Extended::kMaxBiasedExponent) {
    status.flags |= ExtendedStatus::kOverflow;
    return SignedInfinity(negative);
  }
  return MakeExtended(negative, biased, m);
}

Extended PackExact(const Unpacked& u, ExtendedStatus& status) {
  return RoundAndPack(u.negative, u.exponent, {u.significand, 0}, false, status);
}

// |a| against |b| for finite nonzero operands.
int CompareMagnitude(const Unpacked& a, const Unpacked& b) {
  if (a.exponent != b.exponent) return a.exponent < b.exponent ? -1 : 1;
  if (a.significand != b.significand) return a.significand < b.significand ? -1 : 1;
  return 0;
}

Extended AddFinite(Unpacked a, Unpacked b, ExtendedStatus& status) {
  if (CompareMagnitude(a, b) < 0) {
    const Unpacked t = a;
    a = b;
    b = t;
  }
  bool sticky = false;
  const int distance = a.exponent - b.exponent;
  const Wide small = ShiftRightSticky({b.significand, 0}, distance > 130 ? 130 : distance, sticky);
  if (a.negative == b.negative) {
    Wide sum{a.significand + small.hi, small.lo};
    if (sum.hi < a.significand) {  // carry out of the top bit
      sticky |= (sum.lo & 1) != 0;
      sum = {(sum.hi >> 1) | Extended::kIntegerBit, (sum.lo >> 1) | (sum.hi << 63)};
      return RoundAndPack(a.negative, a.exponent + 1, sum, sticky, status);
    }
    return RoundAndPack(a.negative, a.exponent, sum, sticky, status);
  }
  // a - (small + s) with 0 < s < 1 is (a - small - 1) + (1 - s): borrow one
  // unit and keep the sticky bit.
  const uint64_t borrow_in = sticky ? 1 : 0;
  Wide difference{a.significand - small.hi, 0 - small.lo - borrow_in};
  if (small.lo != 0 || borrow_in != 0) --difference.hi;  // borrow out of the low word
  if (difference.hi == 0 && difference.lo == 0) return SignedZero(false);
  // Cancellation of more than one bit only happens when nothing was shifted out.
  const int shift =
      difference.hi != 0 ? CountLeadingZeros(difference.hi) : 64 + CountLeadingZeros(difference.lo);
  if (shift >= 64) {
    difference = {difference.lo << (shift - 64), 0};
  } else if (shift > 0) {
    difference = {(difference.hi << shift) | (difference.lo >> (64 - shift)),
                  difference.lo << shift};
  }
  return RoundAndPack(a.negative, a.exponent - shift, difference, sticky, status);
}

Extended AddSigned(const Extended& a, const Extended& b, bool negate_b, ExtendedStatus& status) {
  const Unpacked ua = Unpack(a);
  Unpacked ub = Unpack(b);
  if (IsNaNOrUnsupported(ua.kind) || IsNaNOrUnsupported(ub.kind)) {
    return PropagateNaN(a, ua.kind, b, ub.kind, status);
  }
  ub.negative ^= negate_b;
  if (ua.kind == Kind::kInfinity || ub.kind == Kind::kInfinity) {
    if (ua.kind == Kind::kInfinity && ub.kind == Kind::kInfinity && ua.negative != ub.negative) {
      return Invalid(status);
    }
    return SignedInfinity(ua.kind == Kind::kInfinity ? ua.negative : ub.negative);
  }
  if (ua.kind == Kind::kZero && ub.kind == Kind::kZero) {
    return SignedZero(ua.negative && ub.negative);
  }
  if (ub.kind == Kind::kZero) return PackExact(ua, status);
  if (ua.kind == Kind::kZero) return PackExact(ub, status);
  return AddFinite(ua, ub, status);
}

Ordering CompareValues(const Extended& a, const Extended& b, bool signal_quiet_nan,
                       ExtendedStatus& status) {
  const Unpacked ua = Unpack(a);
  const Unpacked ub = Unpack(b);
  if (IsNaNOrUnsupported(ua.kind) || IsNaNOrUnsupported(ub.kind)) {
    const bool quiet_only = (ua.kind == Kind::kQuietNaN || !IsNaNOrUnsupported(ua.kind)) &&
                            (ub.kind == Kind::kQuietNaN || !IsNaNOrUnsupported(ub.kind));
    if (signal_quiet_nan || !quiet_only) status.flags |= ExtendedStatus::kInvalid;
    return Ordering::kUnordered;
  }
  // Rank: -inf < negative finite < zero < positive finite < +inf.
  auto rank = [](const Unpacked& u) {
    if (u.kind == Kind::kZero) return 0;
    const int magnitude = u.kind == Kind::kInfinity ? 2 : 1;
    return u.negative ? -magnitude : magnitude;
  };
  const int ra = rank(ua), rb = rank(ub);
  if (ra != rb) return ra < rb ? Ordering::kLess : Ordering::kGreater;
  if (ra == 0 || ra == 2 || ra == -2) return Ordering::kEqual;
  int order = CompareMagnitude(ua, ub);
  if (ra < 0) order = -order;
  return order < 0 ? Ordering::kLess : order > 0 ? Ordering::kGreater : Ordering::kEqual;
}

}  // namespace

Extended Extended::FromBytes(const uint8_t* bytes) {
  Extended x;
  for (int i = 7; i >= 0; --i) x.significand = (x.significand << 8) | bytes[i];
  x.sign_exponent = static_cast<uint16_t>(bytes[8] | (bytes[9] << 8));
  return x;
}

void Extended::ToBytes(uint8_t* bytes) const {
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(significand >> (8 * i));
  bytes[8] = static_cast<uint8_t>(sign_exponent);
  bytes[9] = static_cast<uint8_t>(sign_exponent >> 8);
}

Extended ExtendedFromInt32(int32_t value) {
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(value))
                                       : static_cast<uint64_t>(value);
  const Extended result = ExtendedFromUint64(magnitude);
  return value < 0 ? Negate(result) : result;
}

Extended ExtendedFromUint64(uint64_t value) {
  if (value == 0) return Extended{};
  const int shift = CountLeadingZeros(value);
  return MakeExtended(false, Extended::kExponentBias + 63 - shift, value << shift);
}

Extended Add(const Extended& a, const Extended& b, ExtendedStatus& status) {
  return AddSigned(a, b, false, status);
}

Extended Subtract(const Extended& a, const Extended& b, ExtendedStatus& status) {
  return AddSigned(a, b, true, status);
}

Extended Multiply(const Extended& a, const Extended& b, ExtendedStatus& status) {
  const Unpacked ua = Unpack(a);
  const Unpacked ub = Unpack(b);
  if (IsNaNOrUnsupported(ua.kind) || IsNaNOrUnsupported(ub.kind)) {
    return PropagateNaN(a, ua.kind, b, ub.kind, status);
  }
  const bool negative = ua.negative != ub.negative;
  if (ua.kind == Kind::kInfinity || ub.kind == Kind::kInfinity) {
    if (ua.kind == Kind::kZero || ub.kind == Kind::kZero) return Invalid(status);
    return SignedInfinity(negative);
  }
  if (ua.kind == Kind::kZero || ub.kind == Kind::kZero) return SignedZero(negative);
  Wide product = MultiplyWide(ua.significand, ub.significand);
  int exponent = ua.exponent + ub.exponent + 1;
  if ((product.hi & Extended::kIntegerBit) == 0) {
    product = {(product.hi << 1) | (product.lo >> 63), product.lo << 1};
    --exponent;
  }
  return RoundAndPack(negative, exponent, product, false, status);
}

Extended Divide(const Extended& a, const Extended& b, ExtendedStatus& status) {
  const Unpacked ua = Unpack(a);
  const Unpacked ub = Unpack(b);
  if (IsNaNOrUnsupported(ua.kind) || IsNaNOrUnsupported(ub.kind)) {
    return PropagateNaN(a, ua.kind, b, ub.kind, status);
  }
  const bool negative = ua.negative != ub.negative;
  if (ua.kind == Kind::kInfinity) {
    return ub.kind == Kind::kInfinity ? Invalid(status) : SignedInfinity(negative);
  }
  if (ub.kind == Kind::kInfinity) return SignedZero(negative);
  if (ub.kind == Kind::kZero) {
    if (ua.kind == Kind::kZero) return Invalid(status);
    status.flags |= ExtendedStatus::kZeroDivide;
    return SignedInfinity(negative);
  }
  if (ua.kind == Kind::kZero) return SignedZero(negative);

  // A quotient of 64 bits in [2^63, 2^64), then the remainder decides rounding.
  const uint64_t divisor = ub.significand;
  uint64_t remainder = 0;
  uint64_t quotient;
  int exponent = ua.exponent - ub.exponent;
  if (ua.significand >= divisor) {
    quotient = DivideWide(ua.significand >> 1, ua.significand << 63, divisor, remainder);
  } else {
    quotient = DivideWide(ua.significand, 0, divisor, remainder);
    --exponent;
  }
  // The fraction remainder/divisor as a round bit (>= 1/2) and a sticky bit.
  uint64_t fraction = 0;
  if (remainder != 0) {
    const uint64_t complement = divisor - remainder;
    if (remainder > complement) {
      fraction = Extended::kIntegerBit | 1;
    } else if (remainder == complement) {
      fraction = Extended::kIntegerBit;
    } else {
      fraction = 1;
    }
  }
  return RoundAndPack(negative, exponent, {quotient, fraction}, false, status);
}

Extended RoundToInteger(const Extended& a, ExtendedStatus& status) {
  const Unpacked u = Unpack(a);
  switch (u.kind) {
    case Kind::kUnsupported:
      return Invalid(status);
    case Kind::kSignalingNaN:
      status.flags |= ExtendedStatus::kInvalid;
      return Quieted(a);
    case Kind::kQuietNaN:
    case Kind::kInfinity:
    case Kind::kZero:
      return a;
    case Kind::kFinite:
      break;
  }
  if (u.exponent >= 63) return a;  // no fraction bits
  uint64_t integer;
  if (u.exponent >= 0) {
    const int fraction_bits = 63 - u.exponent;
    const uint64_t fraction = u.significand & (kAllOnes >> (64 - fraction_bits));
    const uint64_t half = uint64_t{1} << (fraction_bits - 1);
    integer = u.significand >> fraction_bits;
    if (fraction > half || (fraction == half && (integer & 1) != 0)) ++integer;
  } else if (u.exponent == -1) {
    integer = u.significand == Extended::kIntegerBit ? 0 : 1;  // exactly one half goes to 0
  } else {
    integer = 0;
  }
  if (integer == 0) return SignedZero(u.negative);
  const int shift = CountLeadingZeros(integer);
  return MakeExtended(u.negative, Extended::kExponentBias + 63 - shift, integer << shift);
}

Ordering Compare(const Extended& a, const Extended& b, ExtendedStatus& status) {
  return CompareValues(a, b, true, status);
}

Ordering CompareQuiet(const Extended& a, const Extended& b, ExtendedStatus& status) {
  return CompareValues(a, b, false, status);
}

}  // namespace quenlo
