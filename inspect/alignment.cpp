#include "inspect/alignment.h"

int GetAlignmentState(const CVolumeInfo& volume, uint64_t dataStart, const DriveInfo& drive) {
  // The tested sector is where cluster 0 begins on the drive: the data start itself
  // (for FAT, the partition start plus the data-area offset, counted once).
  const uint64_t tested = dataStart;
  if (drive.status <= 0) return STATE_UNKNOWN;
  if (drive.sectorsPerPhysical == 1) return STATE_ALIGNED;
  if (drive.sectorsPerPhysical == 0) return STATE_UNKNOWN;  // no grid to test against
  const uint32_t physicalBytes = volume.GetBytesPerSector() * drive.sectorsPerPhysical;
  if (volume.GetBytesPerCluster() < physicalBytes) return STATE_MISALIGNED;
  const uint64_t remainder = (tested - drive.alignPhase) % drive.sectorsPerPhysical;
  return remainder == 0 ? STATE_ALIGNED : STATE_MISALIGNED;
}
