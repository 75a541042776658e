// Running the built executable with its time and peak memory measured, for
// the hostile-input tests.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "e2e/program.h"

namespace quenlo::hostile {

// Sanitizers reserve terabytes of address space and double the memory a run
// touches, and an emulator's memory is its own: limits on either only hold in
// plain native builds.
#if defined(QUENLO_SANITIZED) || defined(QUENLO_EMULATED)
constexpr bool kMemoryIsMeasurable = false;
#else
constexpr bool kMemoryIsMeasurable = true;
#endif

// Time limits stretch under an emulator.
#ifdef QUENLO_EMULATED
constexpr double kSlowdown = 20;
#else
constexpr double kSlowdown = 1;
#endif

constexpr size_t kMemoryBound = 64u << 20;

struct MeasuredOutcome {
  // The exit code, or 128 + the signal that ended the program.
  int exit_code = -1;
  bool killed_by_signal = false;
  // Still running after the time limit, and killed.
  bool hung = false;
  std::string err;
  double seconds = 0;
  // The most resident memory the program ever held, in bytes.
  size_t peak_memory = 0;
};

// Runs the program in the folder with these arguments; with address_space_limit
// it gets at most that many bytes of address space. A run that takes longer
// than time_limit seconds is killed.
MeasuredOutcome RunMeasured(const e2e::ScratchFolder& folder,
                            const std::vector<std::string>& arguments,
                            size_t address_space_limit = 0, double time_limit = 10 * kSlowdown);

}  // namespace quenlo::hostile
