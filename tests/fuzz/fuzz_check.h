// What every fuzz target insists on after each run: a broken rule stops the run.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "sim/machine.h"

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

namespace fuzz {

// Every handle closed, every buffer freed, and every request one the machine models.
inline void CheckNothingLeft(const sim::Machine& m) {
  FUZZ_CHECK(m.OpenHandles() == 0);
  FUZZ_CHECK(m.OpenBuffers() == 0);
  FUZZ_CHECK(m.Unmodelled().empty());  // every request the program sent has its answer
}

// One run's simulated machine, installed behind sys:: for the run. Its allocations stay
// small: what VirtualAlloc grants is bounded here, not by the 32-bit address space, so
// that a run takes milliseconds.
struct SimRun {
  SimRun() { machine.addressSpace = 1u << 20; }
  sim::Machine machine;
  sim::Installation installed{machine};
};

}  // namespace fuzz
