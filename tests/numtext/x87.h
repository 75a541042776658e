// The hardware x87 as a reference for the software Extended, on x86 hosts only.
// Values travel as raw 10-byte patterns (fldt/fstpt neither convert nor signal),
// so every operand class reaches the unit exactly as given.
#pragma once

namespace quenlo::x87 {

// The operations the tables name, on every host.
enum class Op { kAdd, kSubtract, kMultiply, kDivide };

}  // namespace quenlo::x87

#if defined(__x86_64__) || defined(__i386__)
#define QUENLO_HAVE_X87 1

#include <cstdint>
#include <cstring>

#include "numtext/extended.h"

namespace quenlo::x87 {

// Precision control 64 bits, rounding to nearest, all exceptions masked.
constexpr uint16_t kReferenceControlWord = 0x037F;
constexpr uint16_t kStatusMask =
    ExtendedStatus::kInvalid | ExtendedStatus::kZeroDivide | ExtendedStatus::kOverflow;

inline long double ToLong(const Extended& x) {
  long double value = 0;
  uint8_t bytes[Extended::kByteSize];
  x.ToBytes(bytes);
  std::memcpy(&value, bytes, sizeof bytes);
  return value;
}

inline Extended FromLong(long double value) {
  uint8_t bytes[sizeof(long double)];
  std::memcpy(bytes, &value, sizeof value);
  return Extended::FromBytes(bytes);
}

inline uint16_t ControlWord() {
  uint16_t word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

inline void SetControlWord(uint16_t word) { asm volatile("fldcw %0" : : "m"(word)); }

inline void ClearStatus() { asm volatile("fnclex"); }

// The invalid, zero-divide and overflow flags, as ExtendedStatus::flags.
inline uint8_t StatusFlags() {
  uint16_t word;
  asm volatile("fnstsw %0" : "=m"(word));
  return static_cast<uint8_t>(word & kStatusMask);
}

// Sets the reference control word for a scope.
class ReferenceMode {
 public:
  ReferenceMode() : saved_(ControlWord()) {
    SetControlWord(kReferenceControlWord);
    ClearStatus();
  }
  ~ReferenceMode() {
    ClearStatus();
    SetControlWord(saved_);
  }

 private:
  uint16_t saved_;
};

// One operation on the unit; flags receives what it signalled.
inline Extended Binary(Op op, const Extended& a, const Extended& b, uint8_t& flags) {
  long double x = ToLong(a), y = ToLong(b), r;
  ClearStatus();
  switch (op) {
    case Op::kAdd:
      asm volatile("fldt %2\n\tfldt %1\n\tfaddp\n\tfstpt %0"
                   : "=m"(r)
                   : "m"(x), "m"(y)
                   : "st", "st(1)");
      break;
    case Op::kSubtract:
      asm volatile("fldt %1\n\tfldt %2\n\tfsubrp\n\tfstpt %0"
                   : "=m"(r)
                   : "m"(x), "m"(y)
                   : "st", "st(1)");
      break;
    case Op::kMultiply:
      asm volatile("fldt %2\n\tfldt %1\n\tfmulp\n\tfstpt %0"
                   : "=m"(r)
                   : "m"(x), "m"(y)
                   : "st", "st(1)");
      break;
    case Op::kDivide:
      asm volatile("fldt %1\n\tfldt %2\n\tfdivrp\n\tfstpt %0"
                   : "=m"(r)
                   : "m"(x), "m"(y)
                   : "st", "st(1)");
      break;
  }
  flags = StatusFlags();
  return FromLong(r);
}

inline Extended RoundToInteger(const Extended& a, uint8_t& flags) {
  long double x = ToLong(a), r;
  ClearStatus();
  asm volatile("fldt %1\n\tfrndint\n\tfstpt %0" : "=m"(r) : "m"(x) : "st");
  flags = StatusFlags();
  return FromLong(r);
}

inline Extended FromInt32(int32_t value) {
  long double r;
  asm volatile("fildl %1\n\tfstpt %0" : "=m"(r) : "m"(value) : "st");
  return FromLong(r);
}

// fcomi (signalling) or fucomi (quiet) of a against b.
inline Ordering Compare(const Extended& a, const Extended& b, bool signalling, uint8_t& flags) {
  long double x = ToLong(a), y = ToLong(b);
  uint8_t zf, pf, cf;
  ClearStatus();
  if (signalling) {
    asm volatile(
        "fldt %4\n\tfldt %3\n\tfcomip %%st(1), %%st\n\tfstp %%st(0)\n\t"
        "setz %0\n\tsetp %1\n\tsetc %2"
        : "=q"(zf), "=q"(pf), "=q"(cf)
        : "m"(x), "m"(y)
        : "cc", "st", "st(1)");
  } else {
    asm volatile(
        "fldt %4\n\tfldt %3\n\tfucomip %%st(1), %%st\n\tfstp %%st(0)\n\t"
        "setz %0\n\tsetp %1\n\tsetc %2"
        : "=q"(zf), "=q"(pf), "=q"(cf)
        : "m"(x), "m"(y)
        : "cc", "st", "st(1)");
  }
  flags = StatusFlags();
  if (pf) return Ordering::kUnordered;
  if (zf) return Ordering::kEqual;
  return cf ? Ordering::kLess : Ordering::kGreater;
}

}  // namespace quenlo::x87

#endif
