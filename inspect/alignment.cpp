#include "inspect/alignment.h"

#include <algorithm>

namespace {

// The volume counts its sectors in other bytes than its drive, or the drive's own answers
// named two sizes: its sector numbers and the drive's grid do not meet.
bool SectorSizesDisagree(const CVolumeInfo& volume, const DriveInfo& drive) {
  if (drive.status < 0) return false;
  return drive.sectorSizesDisagree || (drive.bytesPerLogicalSector != 0 &&
                                       drive.bytesPerLogicalSector != volume.GetBytesPerSector());
}

std::optional<ByteCount> BytesPastPhysicalStart(Sectors dataStart, SectorSize size,
                                                const DriveInfo& drive) {
  const std::optional<Alignment> grid = drive.Grid();
  if (!grid) return std::nullopt;
  return size.Of(Sectors(grid->Past(dataStart)));
}

}  // namespace

bool ClustersTooSmall(const CVolumeInfo& volume, const DriveInfo& drive) {
  if (!drive.HasGeometry() || drive.sectorsPerPhysical == 0) return false;
  // Wide: a huge reported sector size must not wrap into a small physical sector.
  return volume.GetBytesPerCluster() <
         ClusterUnitBytes(volume.GetBytesPerSector(),
                          uint64_t{volume.GetBytesPerSector()} * drive.sectorsPerPhysical);
}

Verdict GetAlignmentState(const CVolumeInfo& volume, uint64_t dataStart, const DriveInfo& drive) {
  // The tested sector is where cluster 0 begins on the drive: the data start itself
  // (for FAT, the partition start plus the data-area offset, counted once).
  const Verdict start = StartVerdict(Sectors(dataStart), drive);
  if (start == Verdict::Undetermined || drive.sectorsPerPhysical == 1) return start;
  if (ClustersTooSmall(volume, drive)) return Verdict::Misaligned;
  return start;
}

Verdict StartVerdict(Sectors start, const DriveInfo& drive) {
  // A grid from the drive's ATA identity or from the storage stack; without one there
  // is nothing to judge by.
  const std::optional<Alignment> grid = drive.Grid();
  if (!grid) return Verdict::Undetermined;
  return grid->Holds(start) ? Verdict::Aligned : Verdict::Misaligned;
}

Undetermined WhyNoGrid(const DriveInfo& drive) {
  return drive.firstSectorPastPhysical ? Undetermined::FirstSectorPastPhysical
                                       : Undetermined::NoGrid;
}

std::vector<PieceVerdict> JudgePieces(const CVolumeInfo& volume, const DriveTable& drives) {
  std::vector<PieceVerdict> pieces;
  // Each piece is judged at its own start plus the data-area offset. That is exact for
  // the piece that holds the volume's first sector and for every piece of a mirror; for a
  // later piece of a spanned or striped volume it takes the pieces before it to be whole
  // physical sectors long, as Windows allocates them.
  for (const VolumeExtent& extent : volume.m_extents) {
    PieceVerdict piece;
    piece.disk = extent.disk;
    // Counted in the drive's one sector size; where the drive said none, in the volume's.
    static const DriveInfo kNone;
    const DriveInfo& drive = piece.disk ? drives[*piece.disk] : kNone;
    const SectorSize size(drive.bytesPerLogicalSector != 0 ? drive.bytesPerLogicalSector
                                                           : volume.GetBytesPerSector());
    piece.start = size.Of(extent.offset);
    const Sectors dataStart = piece.start + Sectors(volume.m_dataAreaOffset);
    // A sum past the largest sector number names no sector.
    if (volume.m_dataAreaOffset != CVolumeInfo::kNotDetermined && dataStart >= piece.start)
      piece.dataStart = dataStart;
    if (!piece.disk) {
      piece.reason =
          volume.m_searchNeedsRights ? Undetermined::SearchNeedsRights : Undetermined::NoDrive;
      pieces.push_back(piece);
      continue;
    }
    if (SectorSizesDisagree(volume, drive)) {
      piece.reason = Undetermined::SectorSizes;
    } else if (!piece.dataStart) {
      // Clusters smaller than the unit make it misaligned wherever its data begins.
      if (ClustersTooSmall(volume, drive))
        piece.verdict = Verdict::Misaligned;
      else
        piece.reason = volume.m_dataAreaNeedsRights ? Undetermined::DataAreaNeedsRights
                                                    : Undetermined::DataAreaUnread;
    } else {
      piece.verdict = GetAlignmentState(volume, dataStart.value, drive);
      piece.bytesPastPhysicalStart = BytesPastPhysicalStart(dataStart, size, drive);
      if (piece.verdict == Verdict::Undetermined) piece.reason = WhyNoGrid(drive);
    }
    pieces.push_back(piece);
  }
  return pieces;
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
