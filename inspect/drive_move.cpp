#include "inspect/drive_move.h"

std::optional<SectorSizeMove> DriveSectorSizeMove(const DriveInfo& drive, bool toPhysical4Kn) {
  // A table counted in another size than the drive says places nothing.
  if (!drive.Opened() || !drive.layout || drive.bytesPerLogicalSector == 0 || drive.sectorSizesDisagree)
    return std::nullopt;
  const DriveLayout& layout = *drive.layout;
  const std::optional<ByteCount> size =
      layout.style == PartitionStyle::Raw ? layout.usableEnd : layout.diskEnd;
  if (!size) return std::nullopt;
  MoveFacts facts = PartitionFacts(layout, false, size->value);
  facts.physical4Kn = toPhysical4Kn;
  return MoveSectorSize(drive.AsDisk(), facts);
}
