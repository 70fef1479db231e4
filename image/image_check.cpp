#include "image/image_check.h"

#include <algorithm>

#include "image/sector_size.h"
#include "inspect/alignment.h"
#include "inspect/boot_sector.h"
#include "platform/backend.h"

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
  // A file system counting sectors of another size than the disk's was read at the wrong
  // place or in the wrong unit: nothing it says can be placed.
  const std::optional<uint32_t> named = NamedSectorBytes(first.data());
  if (named && *named != layout.sectorSize.Bytes()) {
    p.reason = Undetermined::BootSectorSize;
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

ImageVerdict ImageCheck::Judged() const {
  const auto undetermined = [](ImageReason reason) {
    return ImageVerdict{Verdict::Undetermined, reason, Undetermined::None};
  };
  if (refusal != ImageRefusal::None) return undetermined(ImageReason::Refused);
  if (sectorSizeFrom == SectorSizeFrom::Disagree)
    return undetermined(ImageReason::SectorSizeUnknown);
  if (!style || gpt == GptHeaderRead::Neither) return undetermined(ImageReason::TableUnread);
  if (*style == PartitionStyle::Raw && !fileSystemWithoutTable)
    return undetermined(ImageReason::NothingInFirstSector);
  if (container && container->blocksAligned == false)
    return {Verdict::Misaligned, ImageReason::BlocksOff4K, Undetermined::None};
  for (const ParentImage& parent : parents)
    if (parent.container && parent.container->blocksAligned == false)
      return {Verdict::Misaligned, ImageReason::ParentBlocksOff4K, Undetermined::None};
  const ImagePartition* firstUndetermined = nullptr;
  for (const ImagePartition& ip : partitions) {
    if (ip.partition.verdict == Verdict::Misaligned)
      return {Verdict::Misaligned, ImageReason::PartitionMisaligned, Undetermined::None};
    if (ip.partition.verdict == Verdict::Undetermined && !firstUndetermined)
      firstUndetermined = &ip;
  }
  if (firstUndetermined)
    return {Verdict::Undetermined, ImageReason::PartitionUndetermined,
            firstUndetermined->partition.reason};
  return {Verdict::Aligned, ImageReason::None, Undetermined::None};
}

ImageCheck CheckImage(const std::string& path, const ImageOptions& options) {
  // A second line behind the rule on parents' names: checking files opens no device.
  const sys::FilesOnly filesOnly;
  ImageCheck check = CheckOpened(path, OpenImage(path), options);
  if (options.target) check.target = CheckTarget(check, *options.target);
  return check;
}

ImageCheck CheckOpened(const std::string& path, ImageOpening opening, const ImageOptions& options) {
  ImageCheck check;
  check.path = path;
  check.grid = options.grid.value_or(kDefaultGrid);
  check.gridSource = options.grid ? GridSource::Option : GridSource::Default;
  check.refusal = opening.refusal;
  check.refusalWords = opening.detail;
  check.error = opening.error;
  check.parents = opening.parents;
  if (!opening.image) return check;
  DiskImage& image = *opening.image;
  check.format = image.format;
  check.virtualSize = image.virtualSize;
  check.fileBytes = image.fileBytes;
  check.logicalSectorSize = image.logicalSectorSize;
  check.sectorSizeFrom = image.sectorSizeFrom;
  // Raw images and the containers that name none: the guest's own tables and boot sectors
  // tell its sector size.
  if (image.sectorSizeFrom == SectorSizeFrom::Default) {
    const SectorSizeWitness witness = WitnessSectorSize(*image.guest);
    check.logicalSectorSize = witness.bytes.value_or(512);
    check.sectorSizeFrom = witness.disagree ? SectorSizeFrom::Disagree
                           : witness.bytes  ? SectorSizeFrom::Image
                                            : SectorSizeFrom::Default;
  }
  check.physicalSectorSize = image.physicalSectorSize;
  check.container = image.container;
  // The person's word is held over a raw image's witnesses; a container names its own.
  if (options.sectorSize && image.sectorSizeFrom != SectorSizeFrom::Format) {
    check.logicalSectorSize = *options.sectorSize;
    check.sectorSizeFrom = SectorSizeFrom::Option;
  }
  check.sectorSizeOptionUnused =
      options.sectorSize && check.sectorSizeFrom == SectorSizeFrom::Format;
  if (check.sectorSizeFrom == SectorSizeFrom::Disagree) return check;

  const SectorSize sectorSize(check.logicalSectorSize);
  TableReading table = ReadPartitionTable(*image.guest, sectorSize);
  check.gpt = table.gpt;
  check.fileSystemWithoutTable = table.fileSystemWithoutTable;
  if (!table.layout) return check;
  check.style = table.layout->style;
  const DriveInfo drive = ImageDrive(check.logicalSectorSize, check.grid);
  if (table.fileSystemWithoutTable) {
    // No table to move it in: judged where it lies, the whole disk from sector 0.
    Partition whole;
    whole.start = ByteCount(0);
    whole.length = sectorSize.Of(sectorSize.Of(ByteCount(image.guest->Size())));
    table.layout->partitions.push_back(whole);
  }
  for (const Partition& p : table.layout->partitions) {
    ImagePartition ip;
    ip.partition = p;
    Judge(*image.guest, drive, *table.layout, ip);
    check.partitions.push_back(std::move(ip));
  }
  return check;
}
