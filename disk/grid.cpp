#include "disk/grid.h"

#include <algorithm>

Alignment::Alignment(Sectors offset, uint64_t grain)
    : m_offset(offset.value % std::max<uint64_t>(grain, 1)), m_grain(std::max<uint64_t>(grain, 1)) {}

uint64_t Alignment::Past(Sectors s) const {
  // (s - offset) mod grain without wrapping below zero.
  return (s.value % m_grain + m_grain - m_offset.value) % m_grain;
}

std::optional<Sectors> Alignment::FirstAtOrAfter(Sectors s) const {
  const uint64_t past = Past(s);
  if (past == 0) return s;
  const Sectors to = s + Sectors(m_grain - past);
  if (to < s) return std::nullopt;
  return to;
}

std::optional<Alignment> Alignment::Intersect(const Alignment& other) const {
  // Walk the finer grid's residues along the coarser one: at most the finer grain's steps
  // (one for powers of two, which is what disks have).
  const Alignment& coarse = m_grain >= other.m_grain ? *this : other;
  const Alignment& fine = m_grain >= other.m_grain ? other : *this;
  uint64_t candidate = coarse.m_offset.value;
  for (uint64_t step = 0; step < fine.m_grain; ++step, candidate += coarse.m_grain) {
    if (fine.Holds(Sectors(candidate))) {
      // The least common multiple: the coarser grain times the steps until the finer
      // grid's residue comes back.
      uint64_t lcm = coarse.m_grain;
      while (lcm % fine.m_grain != 0) lcm += coarse.m_grain;
      return Alignment(Sectors(candidate), lcm);
    }
  }
  return std::nullopt;
}

Alignment Alignment::Before(Sectors by) const {
  return Alignment(Sectors(m_offset.value + m_grain - by.value % m_grain), m_grain);
}
