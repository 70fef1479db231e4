#include "image/image_check.h"

#include <algorithm>

#include "inspect/alignment.h"
#include "inspect/boot_sector.h"

namespace {

// The virtual disk as a drive with the chosen grid: its logical sector, and the grid in
// whole logical sectors (one, where the grid is no larger than the sector).
DriveInfo ImageDrive(uint32_t logical, uint32_t grid) {
  DriveInfo drive;
  drive.status = 1;
  drive.bytesPerLogicalSector = logical;
  drive.sectorsPerPhysical = static_cast<uint16_t>(std::max<uint32_t>(1, grid / logical));
  drive.alignPhase = 0;
  drive.geometry = GeometrySource::ImageGrid;
  return drive;
}

// Where a partition's clusters begin, its verdict, and what would align it: as a partition
// of a disk is judged, its FAT or exFAT data area read from its boot sector; an EFI system
// partition's clusters are never judged.
void Judge(ByteSource& disk, const DriveInfo& drive, const DriveLayout& layout,
           ImagePartition& ip) {
  Partition& p = ip.partition;
  p.onMiB = OnMiB(layout.SectorOf(p.start), layout.sectorSize);
  if (!HasDataToAlign(p)) return;
  std::vector<uint8_t> first(layout.sectorSize.Bytes());
  p.verdict = Verdict::Undetermined;
  if (!disk.Read(p.start.value, first.data(), first.size())) {
    p.reason = Undetermined::BootSectorUnread;
    return;
  }
  const BootSector boot = ReadBootSector(first.data(), layout.sectorSize.Bytes());
  ip.fileSystem = FileSystemName(boot);
  ip.clusterBytes = boot.clusterBytes;
  const bool fat =
      boot.fileSystem == BootFileSystem::Fat || boot.fileSystem == BootFileSystem::Exfat;
  if (!boot.dataOffset) {
    p.reason = Undetermined::DataAreaUnread;
    return;
  }
  p.dataOffset = Sectors(*boot.dataOffset);
  ip.dataStart = layout.SectorOf(p.start) + *p.dataOffset;
  p.verdict = StartVerdict(*ip.dataStart, drive);
  const bool clustersJudged = !IsEfiSystem(p) && ip.clusterBytes.has_value();
  if (p.verdict == Verdict::Aligned && clustersJudged &&
      *ip.clusterBytes < drive.ClusterUnitBytes())
    p.verdict = Verdict::Misaligned;
  if (p.verdict != Verdict::Misaligned) return;
  AdviceFacts facts;
  facts.start = p.start;
  facts.dataOffset = p.dataOffset;
  facts.length = p.length;
  facts.limit = MoveLimit(layout, p);
  facts.sectorSize = layout.sectorSize;
  if (clustersJudged) facts.clusterBytes = ip.clusterBytes;
  facts.formatLaysDataArea = fat && !IsEfiSystem(p);
  p.advice = Advise(facts, drive);
}

}  // namespace

Verdict ImageCheck::Summary() const {
  if (refusal != ImageRefusal::None || !style || gpt == GptHeaderRead::Neither)
    return Verdict::Undetermined;
  bool undetermined = false;
  for (const ImagePartition& ip : partitions) {
    if (ip.partition.verdict == Verdict::Misaligned) return Verdict::Misaligned;
    undetermined = undetermined || ip.partition.verdict == Verdict::Undetermined;
  }
  if (container && container->blocksAligned == false) return Verdict::Misaligned;
  return undetermined ? Verdict::Undetermined : Verdict::Aligned;
}

ImageCheck CheckImage(const std::string& path, std::optional<uint32_t> grid) {
  return CheckOpened(path, OpenImage(path), grid);
}

ImageCheck CheckOpened(const std::string& path, ImageOpening opening,
                       std::optional<uint32_t> grid) {
  ImageCheck check;
  check.path = path;
  check.grid = grid.value_or(kDefaultGrid);
  check.gridSource = grid ? GridSource::Option : GridSource::Default;
  check.refusal = opening.refusal;
  check.refusalWords = opening.detail;
  check.error = opening.error;
  if (!opening.image) return check;
  DiskImage& image = *opening.image;
  check.format = image.format;
  check.virtualSize = image.virtualSize;
  check.logicalSectorSize = image.logicalSectorSize;
  check.physicalSectorSize = image.physicalSectorSize;
  check.container = image.container;

  const SectorSize sectorSize(image.logicalSectorSize);
  TableReading table = ReadPartitionTable(*image.guest, sectorSize);
  check.gpt = table.gpt;
  check.fileSystemWithoutTable = table.fileSystemWithoutTable;
  if (!table.layout) return check;
  check.style = table.layout->style;
  const DriveInfo drive = ImageDrive(image.logicalSectorSize, check.grid);
  for (const Partition& p : table.layout->partitions) {
    ImagePartition ip;
    ip.partition = p;
    Judge(*image.guest, drive, *table.layout, ip);
    check.partitions.push_back(std::move(ip));
  }
  return check;
}
