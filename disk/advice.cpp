#include "disk/advice.h"

#include "disk/disk.h"
#include "disk/grid.h"

namespace {

// The sectors on 1 MiB boundaries, for sectors of `size`; none where a sector does not
// divide 1 MiB.
std::optional<Alignment> MiBGrid(SectorSize size) {
  if (size.Bytes() == 0 || kMiB % size.Bytes() != 0) return std::nullopt;
  return Alignment(Sectors(0), kMiB / size.Bytes());
}

}  // namespace

bool OnMiB(Sectors start, SectorSize size) {
  const std::optional<Alignment> mib = MiBGrid(size);
  return mib && mib->Holds(start);
}

uint64_t AlignedTo(ByteCount start) {
  uint64_t aligned = kMiB;
  while (aligned > 1 && start.value % aligned != 0) aligned /= 2;
  return aligned;
}

Room RoomAt(Sectors start, std::optional<Sectors> length, std::optional<Sectors> limit) {
  if (!length || !limit) return {};
  if (start >= *limit) return {Fit::NoRoom, Sectors(0)};
  if (SectorRange{start, *length}.FitsBefore(*limit)) return {Fit::Fits, Sectors(0)};
  return {Fit::Shrinks, *length - (*limit - start)};  // less than its length: limit > start
}

std::optional<Advice> Advise(const AdviceFacts& facts, const Disk& disk) {
  const std::optional<Alignment>& grid = disk.grid;
  const uint32_t bytesPerSector = facts.sectorSize.Bytes();
  if (!grid || bytesPerSector == 0) return std::nullopt;
  const Sectors start = facts.sectorSize.Of(facts.start);
  const auto sectors = [&](const std::optional<ByteCount>& b) {
    return b ? std::optional<Sectors>(facts.sectorSize.Of(*b)) : std::nullopt;
  };
  Advice advice;
  // Clusters are judged against the unit the file system writes atomically.
  const uint64_t unit = disk.ClusterUnitBytes();
  advice.clusterUnit = unit;
  if (facts.clusterBytes && *facts.clusterBytes < unit) advice.clusterBytes = unit;
  // A partition whose data lies `offset` sectors in has it on the drive's grid where its
  // start lies on that grid moved back by the offset.
  const auto startsFor = [&](Sectors offset) { return grid->Before(offset); };
  // A FAT or exFAT data area a fraction of a physical sector from its start lies off the
  // grid wherever a start on the grid puts it: only a new format lays it out anew.
  const bool dataOffGrid = facts.dataOffset && !startsFor(*facts.dataOffset).Holds(start);
  const bool fractional =
      facts.dataOffset && !Alignment(Sectors(0), grid->Grain()).Holds(*facts.dataOffset);
  advice.format =
      advice.clusterBytes.has_value() || (facts.formatLaysDataArea && dataOffGrid && fractional);
  // Formatting again lays the data area out from the start: the start is what to align.
  // Otherwise the data area is, where it is known.
  const std::optional<Sectors> offset = advice.format ? Sectors(0) : facts.dataOffset;
  if (offset && !startsFor(*offset).Holds(start)) {
    const Alignment target = startsFor(*offset);
    const std::optional<Sectors> to = target.FirstAtOrAfter(start);
    if (!to) return std::nullopt;
    advice.moveTo = *to;
    advice.moveBy = *to - start;
    advice.moveByBytes = facts.sectorSize.Of(*advice.moveBy);
    advice.moveToRoom = RoomAt(*to, sectors(facts.length), sectors(facts.limit));
    // On 1 MiB boundaries too: the grid both make, where there is one.
    const std::optional<Alignment> mib = MiBGrid(facts.sectorSize);
    const std::optional<Alignment> both = mib ? target.Intersect(*mib) : std::nullopt;
    if (both) advice.moveToMiB = both->FirstAtOrAfter(start);
    if (advice.moveToMiB)
      advice.moveToMiBRoom = RoomAt(*advice.moveToMiB, sectors(facts.length), sectors(facts.limit));
  }
  if (!advice.moveTo && !advice.format) return std::nullopt;
  return advice;
}
