// Fuzz target: the input is a text form (see round_trip.h for what is checked).
#include <cstddef>
#include <cstdint>

#include "round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quenlo::fuzz::CheckTextForm(data, size);
  return 0;
}
