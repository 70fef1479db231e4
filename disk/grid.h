// Grids of sectors and runs of sectors, as GNU parted's PedAlignment and PedGeometry and
// util-linux's libfdisk keep them: an alignment is an offset and a grain, the sectors s with
// s ≡ offset (mod grain); a run knows its end and whether it fits before a limit.
#pragma once

#include <optional>

#include "disk/units.h"

class Alignment {
 public:
  // grain 0 is taken as 1: every sector.
  Alignment(Sectors offset, uint64_t grain);
  uint64_t Grain() const { return m_grain; }
  Sectors Offset() const { return m_offset; }

  bool Holds(Sectors s) const { return Past(s) == 0; }
  // How many sectors `s` lies past the last sector of the grid at or before it.
  uint64_t Past(Sectors s) const;
  // The first sector of the grid at or after `s`; none past the last sector number.
  std::optional<Sectors> FirstAtOrAfter(Sectors s) const;
  // The grid of the sectors on both grids; none where no sector is on both.
  std::optional<Alignment> Intersect(const Alignment& other) const;
  // This grid moved `by` sectors back: s is on it where s + by is on this one.
  Alignment Before(Sectors by) const;

 private:
  Sectors m_offset;  // less than the grain
  uint64_t m_grain;
};

// A run of sectors: where it starts and how many it holds.
struct SectorRange {
  Sectors start, length;
  Sectors End() const { return start + length; }  // the first sector past it
  // It ends at or before `limit`, without wrapping past the last sector number.
  bool FitsBefore(Sectors limit) const { return End() >= start && End() <= limit; }
};
