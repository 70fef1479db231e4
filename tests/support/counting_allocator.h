// Every allocation of the program that links tests/support/counting_allocator.cpp counted:
// the bytes live now, and the most live at once since the last reset. For the bounds on
// what a disk file costs to read (a 32-bit process has 2 GiB to give).
#pragma once

#include <cstddef>

namespace counting {
size_t LiveBytes();
size_t PeakBytes();
// The peak from now on starts at what is live now.
void ResetPeak();
}  // namespace counting
