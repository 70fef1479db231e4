#include "inspect/alignment.h"

Verdict GetAlignmentState(const CVolumeInfo& volume, uint64_t dataStart, const DriveInfo& drive) {
  // The tested sector is where cluster 0 begins on the drive: the data start itself
  // (for FAT, the partition start plus the data-area offset, counted once).
  const uint64_t tested = dataStart;
  // A grid from the drive's ATA identity or from the storage stack; without one there
  // is nothing to judge by.
  if (!drive.HasGeometry()) return Verdict::Undetermined;
  if (drive.sectorsPerPhysical == 1) return Verdict::Aligned;
  if (drive.sectorsPerPhysical == 0) return Verdict::Undetermined;
  // Wide: a huge reported sector size must not wrap into a small physical sector.
  const uint64_t physicalBytes =
      static_cast<uint64_t>(volume.GetBytesPerSector()) * drive.sectorsPerPhysical;
  if (volume.GetBytesPerCluster() < physicalBytes) return Verdict::Misaligned;
  const uint64_t remainder = (tested - drive.alignPhase) % drive.sectorsPerPhysical;
  return remainder == 0 ? Verdict::Aligned : Verdict::Misaligned;
}
