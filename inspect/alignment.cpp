#include "inspect/alignment.h"

#include "disk/boot_sector.h"
#include "disk/judge.h"

namespace {

// The volume counts its sectors in other bytes than its drive, or the drive's own answers
// named two sizes: its sector numbers and the drive's grid do not meet.
bool SectorSizesDisagree(const CVolumeInfo& volume, const DriveInfo& drive) {
  if (!drive.Opened()) return false;
  return drive.sectorSizesDisagree || (drive.bytesPerLogicalSector != 0 &&
                                       drive.bytesPerLogicalSector != volume.GetBytesPerSector());
}

// The drive as the judge sees the volume on it: its grid, counted in the volume's sectors
// (where the two sizes differ, the pieces are not judged; the window's entry still is).
Disk DiskOf(const CVolumeInfo& volume, const DriveInfo& drive) {
  Disk disk = drive.AsDisk();
  disk.sectorSize = SectorSize(volume.GetBytesPerSector());
  return disk;
}

}  // namespace

bool ClustersTooSmall(const CVolumeInfo& volume, const DriveInfo& drive) {
  return ClustersTooSmall(DiskOf(volume, drive), volume.GetBytesPerCluster());
}

Verdict GetAlignmentState(const CVolumeInfo& volume, uint64_t dataStart, const DriveInfo& drive) {
  // The tested sector is where cluster 0 begins on the drive: the data start itself
  // (for FAT, the partition start plus the data-area offset, counted once).
  return Judge(DiskOf(volume, drive), {Sectors(dataStart), Undetermined::DataAreaUnread,
                                       volume.GetBytesPerCluster()})
      .verdict;
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
    } else if (SectorSizesDisagree(volume, drive)) {
      piece.reason = Undetermined::SectorSizes;
    } else {
      const Judgement judged =
          Judge(DiskOf(volume, drive), {piece.dataStart,
                       volume.m_dataAreaNeedsRights ? Undetermined::DataAreaNeedsRights
                                                    : Undetermined::DataAreaUnread,
                       volume.GetBytesPerCluster()});
      piece.verdict = judged.verdict;
      piece.reason = judged.reason;
      piece.bytesPastPhysicalStart = judged.bytesPastPhysicalStart;
    }
    pieces.push_back(piece);
  }
  return pieces;
}

WindowsUnweighed Unweighed(const CVolumeInfo& volume, const std::vector<PieceVerdict>& pieces,
                           const DriveTable& drives) {
  WindowsUnweighed unweighed;
  unweighed.dataAreaPastStart =
      KeepsClustersPastTables(FileSystemNamed(volume.m_fileSystem)) && volume.m_dataAreaOffset != 0;
  unweighed.clustersTooSmall = !pieces.empty() && pieces.front().disk &&
                               ClustersTooSmall(volume, drives[*pieces.front().disk]);
  return unweighed;
}
