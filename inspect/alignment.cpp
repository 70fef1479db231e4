#include "inspect/alignment.h"

int GetAlignmentState(const CVolumeInfo& volume, uint64_t dataStart, const DriveInfo& drive) {
  // The tested sector is where cluster 0 begins on the drive: the data start itself
  // (for FAT, the partition start plus the data-area offset, counted once).
  const uint64_t tested = dataStart;
  // A grid from the drive's ATA identity or from the storage stack; without one there
  // is nothing to judge by.
  if (!drive.HasGeometry()) return STATE_UNKNOWN;
  if (drive.sectorsPerPhysical == 1) return STATE_ALIGNED;
  if (drive.sectorsPerPhysical == 0) return STATE_UNKNOWN;
  // Wide: a huge reported sector size must not wrap into a small physical sector.
  const uint64_t physicalBytes =
      static_cast<uint64_t>(volume.GetBytesPerSector()) * drive.sectorsPerPhysical;
  if (volume.GetBytesPerCluster() < physicalBytes) return STATE_MISALIGNED;
  const uint64_t remainder = (tested - drive.alignPhase) % drive.sectorsPerPhysical;
  return remainder == 0 ? STATE_ALIGNED : STATE_MISALIGNED;
}
