#include "image/image_check.h"

#include <algorithm>

#include "image/image_format.h"
#include "image/sector_size.h"
#include "disk/boot_sector.h"
#include "disk/judge.h"
#include "platform/backend.h"

namespace {

constexpr uint32_t kRecordedBytes = 2048;  // a boot sector, and ext's superblock at 1024

// The virtual disk with the chosen grid: its logical sector, and the grid in whole logical
// sectors (one, where the grid is no larger than the sector).
Disk ImageDisk(uint32_t logical, uint32_t grid) {
  Disk disk;
  disk.sectorSize = SectorSize(logical);
  disk.grid = Alignment(Sectors(0), std::max<uint32_t>(1, grid / logical));
  return disk;
}

// Where a partition's clusters begin, its verdict, and what would align it: as a partition
// of a disk is judged, its FAT or exFAT data area read from its boot sector; an EFI system
// partition's clusters are never judged.
void Judge(ByteSource& guest, const Disk& disk, const DriveLayout& layout, ImagePartition& ip) {
  Partition& p = ip.partition;
  p.onMiB = OnMiB(layout.SectorOf(p.start), layout.sectorSize);
  if (!HasDataToAlign(p)) return;
  const uint32_t sector = layout.sectorSize.Bytes();
  std::vector<uint8_t> first(std::max<uint32_t>(sector, kRecordedBytes));
  p.verdict = Verdict::Undetermined;
  // Past its boot sector, ext's superblock at 1024; a partition too short for it gives less.
  const bool whole = p.length.value >= first.size() && guest.Read(p.start.value, first.data(), first.size());
  if (!whole && !guest.Read(p.start.value, first.data(), sector)) {
    p.reason = Undetermined::BootSectorUnread;
    return;
  }
  p.recorded = RecordedSectorSize(first.data(), whole ? first.size() : sector);
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
  const bool fat = KeepsClustersPastTables(boot.fileSystem);
  if (boot.dataOffset) {
    p.dataOffset = Sectors(*boot.dataOffset);
    ip.dataStart = layout.SectorOf(p.start) + *p.dataOffset;
  }
  const bool clustersJudged = !IsEfiSystem(p) && ip.clusterBytes.has_value();
  const Judgement judged =
      Judge(disk, {ip.dataStart, Undetermined::DataAreaUnread,
                   clustersJudged ? ip.clusterBytes : std::nullopt});
  p.verdict = judged.verdict;
  p.reason = judged.reason;
  if (p.verdict != Verdict::Misaligned) return;
  p.advice = AdvisePartition(disk, p, clustersJudged ? ip.clusterBytes : std::nullopt,
                             fat && !IsEfiSystem(p));
}

// The guest's table read in sectors of `logical` bytes, each partition judged against `grid`.
struct Reading {
  GptHeaderRead gpt = GptHeaderRead::None;
  bool fileSystemWithoutTable = false;
  bool bootCode = false;  // an MBR's bytes 0-439 hold code
  std::optional<PartitionStyle> style;
  std::vector<ImagePartition> partitions;
  std::optional<std::vector<FreeRegion>> free;
  std::optional<DriveLayout> layout;  // the table, its partitions as judged
};

Reading ReadAndJudge(ByteSource& guest, uint32_t logical, uint32_t grid) {
  Reading reading;
  const SectorSize sectorSize(logical);
  TableReading table = ReadPartitionTable(guest, sectorSize);
  reading.gpt = table.gpt;
  reading.fileSystemWithoutTable = table.fileSystemWithoutTable;
  reading.bootCode = table.bootCode;
  if (!table.layout) return reading;
  reading.style = table.layout->style;
  Disk disk = ImageDisk(logical, grid);
  disk.layout = &*table.layout;
  reading.free = FreeRegions(disk);
  if (table.fileSystemWithoutTable) {
    // No table to move it in: judged where it lies, the whole disk from sector 0.
    Partition whole;
    whole.start = ByteCount(0);
    whole.length = sectorSize.Of(sectorSize.Of(ByteCount(guest.Size())));
    table.layout->partitions.push_back(whole);
  }
  for (const Partition& p : table.layout->partitions) {
    ImagePartition ip;
    ip.partition = p;
    Judge(guest, disk, *table.layout, ip);
    reading.partitions.push_back(std::move(ip));
  }
  table.layout->partitions.clear();
  for (const ImagePartition& ip : reading.partitions) table.layout->partitions.push_back(ip.partition);
  reading.layout = std::move(table.layout);
  return reading;
}

// Each partition's number and verdict, to compare two readings.
std::vector<std::pair<uint32_t, std::optional<Verdict>>> Verdicts(const Reading& reading) {
  std::vector<std::pair<uint32_t, std::optional<Verdict>>> out;
  for (const ImagePartition& ip : reading.partitions)
    out.emplace_back(ip.partition.number, ip.partition.verdict);
  return out;
}

// The move to the other sector size of a guest read as `reading`: its table, what each
// partition records and whether its MBR holds boot code; a disk without a table by what
// lies at its sector 0 (ext's superblock too, past the sector the table's reader read).
std::optional<SectorSizeMove> GuestMove(ByteSource& guest, const ImageCheck& check,
                                        const Reading& reading, bool toPhysical4Kn) {
  if (!reading.layout && check.guestLaidOutIn == 0) return std::nullopt;
  static const DriveLayout kNoTable;
  const DriveLayout& layout = reading.layout ? *reading.layout : kNoTable;
  MoveFacts facts = PartitionFacts(layout, reading.bootCode, guest.Size());
  if (layout.style == PartitionStyle::Raw && layout.partitions.empty() && check.guestLaidOutIn == 0) {
    std::vector<uint8_t> first(std::max<uint32_t>(check.logicalSectorSize, kRecordedBytes));
    if (guest.Read(0, first.data(), first.size()))
      if (const std::optional<RecordedSize> recorded = RecordedSectorSize(first.data(), first.size()))
        facts.fileSystems.emplace_back(0, *recorded);
  }
  facts.physical4Kn = toPhysical4Kn;
  facts.guestLaidOutIn = check.guestLaidOutIn;
  Disk disk = check.Guest();
  disk.layout = &layout;
  return MoveSectorSize(disk, facts);
}

// A VHD or VHDX names 512-byte sectors, but its guest's own table or boot sectors say 4096:
// asked only where the reading at 512 found no GPT header, or an MBR (whose partitions may
// then lie where nothing is).
uint32_t GuestLaidOutIn(DiskImage& image, const Reading& reading) {
  if (image.sectorSizeFrom != SectorSizeFrom::Format || image.logicalSectorSize != 512) return 0;
  if (reading.style == PartitionStyle::Gpt && reading.gpt != GptHeaderRead::Neither) return 0;
  const SectorSizeWitness witness = WitnessSectorSize(*image.guest);
  return !witness.disagree && witness.bytes == 4096u ? 4096 : 0;
}

}  // namespace

Disk ImageCheck::Guest() const { return ImageDisk(logicalSectorSize, grid); }

ImageVerdict ImageCheck::Judged() const {
  const auto undetermined = [](ImageReason reason) {
    return ImageVerdict{Verdict::Undetermined, reason, Undetermined::None};
  };
  if (refusal != ImageRefusal::None) return undetermined(ImageReason::Refused);
  if (SectorSizeUntold(sectorSizeFrom)) return undetermined(ImageReason::SectorSizeUnknown);
  if (!style || gpt == GptHeaderRead::Neither) return undetermined(ImageReason::TableUnread);
  if (*style == PartitionStyle::Raw && !fileSystemWithoutTable)
    return undetermined(ImageReason::NothingInFirstSector);
  if (container && container->blocksAligned == false)
    return {Verdict::Misaligned, ImageReason::BlocksOff4K, Undetermined::None};
  for (const ParentImage& parent : parents)
    if (parent.container && parent.container->blocksAligned == false)
      return {Verdict::Misaligned, ImageReason::ParentBlocksOff4K, Undetermined::None};
  const ImagePartition* firstUndetermined = nullptr;
  bool holdsOtherVolumes = false;
  for (const ImagePartition& ip : partitions) {
    if (ip.partition.verdict == Verdict::Misaligned)
      return {Verdict::Misaligned, ImageReason::PartitionMisaligned, Undetermined::None};
    if (ip.partition.verdict == Verdict::Undetermined && !firstUndetermined)
      firstUndetermined = &ip;
    holdsOtherVolumes = holdsOtherVolumes || HoldsOtherVolumes(ip.partition);
  }
  if (holdsOtherVolumes) return undetermined(ImageReason::HoldsOtherVolumes);
  if (firstUndetermined)
    return {Verdict::Undetermined, ImageReason::PartitionUndetermined,
            firstUndetermined->partition.reason};
  return {Verdict::Aligned, ImageReason::None, Undetermined::None};
}

ImageCheck CheckImage(const std::string& path, const ImageOptions& options) {
  // A second line behind the rule on parents' names: checking files opens no device.
  const sys::FilesOnly filesOnly;
  ImageCheck check = CheckOpened(path, OpenImage(path), options);
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
  check.members = image.members;
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

  Reading reading = ReadAndJudge(*image.guest, check.logicalSectorSize, check.grid);
  // Where nothing in the file says its sector size, a guess never decides a verdict: the
  // table read in 4096-byte sectors must judge every partition as in 512-byte ones.
  if (check.sectorSizeFrom == SectorSizeFrom::Default && reading.style == PartitionStyle::Mbr &&
      !reading.partitions.empty()) {
    const Reading other = ReadAndJudge(*image.guest, 4096, check.grid);
    if (Verdicts(other) != Verdicts(reading)) {
      check.sectorSizeFrom = SectorSizeFrom::Unshown;
      return check;
    }
    check.sectorSizeFrom = SectorSizeFrom::Either;
  }
  check.guestLaidOutIn = GuestLaidOutIn(image, reading);
  check.gpt = reading.gpt;
  check.fileSystemWithoutTable = reading.fileSystemWithoutTable;
  check.style = reading.style;
  check.partitions = std::move(reading.partitions);
  check.free = std::move(reading.free);
  // A size guessed (nothing in the file names one) is no size to move from.
  if (SectorSizeNamed(check.sectorSizeFrom))
    check.sectorSizeMove = GuestMove(*image.guest, check, reading, options.toPhysical4Kn);
  return check;
}
