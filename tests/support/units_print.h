// How the tests print positions and disks when an expectation fails.
#pragma once

#include <ostream>

#include "disk/units.h"

inline void PrintTo(Sectors n, std::ostream* out) { *out << n.value << " sectors"; }
inline void PrintTo(ByteCount n, std::ostream* out) { *out << n.value << " bytes"; }
inline void PrintTo(DiskNumber n, std::ostream* out) { *out << "disk " << n.value; }

#include <vector>

// The plain numbers of some disks, for comparing lists.
inline std::vector<uint32_t> Numbers(const std::vector<DiskNumber>& disks) {
  std::vector<uint32_t> numbers;
  for (DiskNumber d : disks) numbers.push_back(d.value);
  return numbers;
}
