#include "runtime/exceptions.h"

namespace quenlo {
namespace {

// The reference point of failure addresses: a fixed routine of the program, so
// that an address shown stays the same from run to run of one build.
[[gnu::noinline]] void AddressOrigin() { asm volatile(""); }

}  // namespace

uint32_t FailureAddress(const void* code_address) noexcept {
  if (code_address == nullptr) return 0;
  auto origin = reinterpret_cast<uintptr_t>(&AddressOrigin);
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(code_address) - origin);
}

}  // namespace quenlo
