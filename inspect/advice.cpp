#include "inspect/advice.h"

#include "inspect/drive_info.h"

bool OnMiB(uint64_t start, uint32_t bytesPerSector) {
  return bytesPerSector != 0 && kMiB % bytesPerSector == 0 && start % (kMiB / bytesPerSector) == 0;
}

Room RoomAt(uint64_t start, std::optional<uint64_t> length, std::optional<uint64_t> limit) {
  if (!length || !limit) return {};
  if (start >= *limit) return {Fit::NoRoom, 0};
  const uint64_t room = *limit - start;
  if (room >= *length) return {Fit::Fits, 0};
  return {Fit::Shrinks, *length - room};
}

namespace {

// The grid a start must take for its data to lie on the drive's: s + offset ≡ phase
// (mod spp). spp is a power of two, so the sums may wrap.
struct Target {
  uint64_t spp, residue;
  bool Holds(uint64_t s) const { return s % spp == residue; }
  // The first start at or after `from` on it; none past the last sector number.
  std::optional<uint64_t> FirstFrom(uint64_t from) const {
    const uint64_t to = from + (residue - from % spp + spp) % spp;
    if (to < from) return std::nullopt;
    return to;
  }
};

// The first start at or after `from` on a 1 MiB boundary that is also on `target`. Both
// grids are powers of two: where the physical sector divides 1 MiB the first boundary is
// on it or none is; a larger one is looked for over as many boundaries as it spans.
std::optional<uint64_t> FirstOnMiB(uint64_t from, const Target& target, uint32_t bytesPerSector) {
  if (kMiB % bytesPerSector != 0) return std::nullopt;
  const uint64_t mib = kMiB / bytesPerSector;
  uint64_t candidate = (from + mib - 1) / mib * mib;
  for (uint64_t i = 0; i < target.spp && candidate >= from; ++i, candidate += mib)
    if (target.Holds(candidate)) return candidate;
  return std::nullopt;
}

}  // namespace

std::optional<Advice> Advise(const AdviceFacts& facts, const DriveInfo& drive) {
  const uint32_t spp = drive.sectorsPerPhysical;
  if (!drive.HasGeometry() || spp == 0 || facts.bytesPerSector == 0) return std::nullopt;
  Advice advice;
  // Clusters are judged against the unit the file system writes atomically.
  const uint64_t unit = std::max<uint64_t>(
      facts.bytesPerSector, std::min<uint64_t>(uint64_t{facts.bytesPerSector} * spp, 4096));
  advice.clusterUnit = unit;
  if (facts.clusterBytes && *facts.clusterBytes < unit) advice.clusterBytes = unit;
  const auto on = [&](uint64_t offset) {
    return Target{spp, (drive.alignPhase + spp - offset % spp) % spp};
  };
  // A FAT or exFAT data area a fraction of a physical sector from its start lies off the
  // grid wherever a start on the grid puts it: only a new format lays it out anew.
  const bool dataOffGrid = facts.dataOffset && !on(*facts.dataOffset).Holds(facts.start);
  const bool fractional = facts.dataOffset && *facts.dataOffset % spp != 0;
  advice.format = advice.clusterBytes.has_value() ||
                  (facts.formatLaysDataArea && dataOffGrid && fractional);
  // Formatting again lays the data area out from the start: the start is what to align.
  // Otherwise the data area is, where it is known.
  const std::optional<uint64_t> offset = advice.format ? std::optional<uint64_t>(0) : facts.dataOffset;
  if (offset && !on(*offset).Holds(facts.start)) {
    const Target target = on(*offset);
    const std::optional<uint64_t> to = target.FirstFrom(facts.start);
    if (!to) return std::nullopt;
    advice.moveTo = *to;
    advice.moveBy = *to - facts.start;
    advice.moveByBytes = *advice.moveBy * facts.bytesPerSector;
    advice.moveToRoom = RoomAt(*to, facts.length, facts.limit);
    advice.moveToMiB = FirstOnMiB(facts.start, target, facts.bytesPerSector);
    if (advice.moveToMiB)
      advice.moveToMiBRoom = RoomAt(*advice.moveToMiB, facts.length, facts.limit);
  }
  if (!advice.moveTo && !advice.format) return std::nullopt;
  return advice;
}
