#include "inspect/advice.h"

#include "inspect/drive_info.h"

bool OnMiB(uint64_t start, uint32_t bytesPerSector) {
  return bytesPerSector != 0 && kMiB % bytesPerSector == 0 && start % (kMiB / bytesPerSector) == 0;
}

std::optional<Advice> Advise(const AdviceFacts& facts, const DriveInfo& drive) {
  const uint32_t spp = drive.sectorsPerPhysical;
  if (!drive.HasGeometry() || spp == 0 || facts.bytesPerSector == 0) return std::nullopt;
  Advice advice;
  const uint64_t physicalBytes = uint64_t{facts.bytesPerSector} * spp;
  if (facts.clusterBytes && *facts.clusterBytes < physicalBytes) advice.clusterBytes = physicalBytes;

  // The data of a partition that starts at s lies on the grid when s + offset does; spp is
  // a power of two, so the sums may wrap. A start past the last sector names none.
  const auto aligns = [&](uint64_t s) {
    return (s + *facts.dataOffset - drive.alignPhase) % spp == 0;
  };
  if (facts.dataOffset && !aligns(facts.start)) {
    uint64_t to = facts.start;
    for (uint32_t i = 0; i < spp && !aligns(to); ++i) ++to;
    if (to < facts.start || !aligns(to)) return std::nullopt;
    advice.moveTo = to;
    advice.moveBy = to - facts.start;
    advice.moveByBytes = *advice.moveBy * facts.bytesPerSector;
    // On 1 MiB boundaries the grid repeats: the first boundary aligns it or none does, but
    // a physical sector past 1 MiB is looked for over as many boundaries as it spans.
    if (kMiB % facts.bytesPerSector == 0) {
      const uint64_t mib = kMiB / facts.bytesPerSector;
      uint64_t candidate = (facts.start + mib - 1) / mib * mib;
      for (uint32_t i = 0; i < spp && candidate >= facts.start; ++i, candidate += mib)
        if (aligns(candidate)) {
          advice.moveToMiB = candidate;
          break;
        }
    }
    if (facts.length && facts.limit) {
      const uint64_t end = to + *facts.length;
      advice.fits = end >= to && end <= *facts.limit;
      if (end >= to && end > *facts.limit) advice.shrinkBy = end - *facts.limit;
    }
  }
  if (!advice.moveTo && !advice.clusterBytes) return std::nullopt;
  return advice;
}
