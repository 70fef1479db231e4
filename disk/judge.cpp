#include "disk/judge.h"

bool ClustersTooSmall(const Disk& disk, uint64_t clusterBytes) {
  return disk.grid && clusterBytes < disk.ClusterUnitBytes();
}

Judgement Judge(const Disk& disk, const DataPlace& place) {
  Judgement judged;
  const bool tooSmall = place.clusterBytes && ClustersTooSmall(disk, *place.clusterBytes);
  if (!place.dataStart) {
    if (tooSmall)
      judged.verdict = Verdict::Misaligned;
    else
      judged.reason = place.whyUnknown;
    return judged;
  }
  if (!disk.grid) {
    judged.reason = disk.noGrid;
    return judged;
  }
  const uint64_t past = disk.grid->Past(*place.dataStart);
  judged.bytesPastPhysicalStart = disk.sectorSize.Of(Sectors(past));
  judged.verdict = past == 0 && !tooSmall ? Verdict::Aligned : Verdict::Misaligned;
  return judged;
}

Verdict VolumeVerdict(const std::vector<PieceVerdict>& pieces) {
  bool undetermined = pieces.empty();
  for (const PieceVerdict& piece : pieces) {
    if (piece.verdict == Verdict::Misaligned) return Verdict::Misaligned;
    undetermined = undetermined || piece.verdict == Verdict::Undetermined;
  }
  return undetermined ? Verdict::Undetermined : Verdict::Aligned;
}

Undetermined VolumeReason(const std::vector<PieceVerdict>& pieces) {
  if (VolumeVerdict(pieces) != Verdict::Undetermined) return Undetermined::None;
  for (const PieceVerdict& piece : pieces)
    if (piece.verdict == Verdict::Undetermined) return piece.reason;
  return Undetermined::NoDrive;  // no piece at all: nothing holds it
}
