#include "inspect/partition_tie.h"

#include <algorithm>
#include <map>
#include <utility>

#include "disk/boot_sector.h"
#include "disk/judge.h"
#include "platform/device.h"

namespace {

constexpr DWORD kUnbuffered = FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL;

// The first sector of the volume named `volumeName`, read through it, told by its content,
// and the sector size its file system records; none where it cannot be read.
std::optional<std::pair<BootSector, std::optional<RecordedSize>>> ReadVolumeBootSector(
    std::string volumeName, uint32_t bytesPerSector) {
  if (!volumeName.empty() && volumeName.back() == '\\') volumeName.pop_back();
  Device volume(volumeName, GENERIC_READ, kUnbuffered);
  SectorBuffer buffer(bytesPerSector);
  if (!volume.IsOpen() || !buffer.IsValid() || !volume.ReadAt(0, buffer.Data(), bytesPerSector))
    return std::nullopt;
  return std::make_pair(ReadBootSector(buffer.Data(), bytesPerSector),
                        RecordedSectorSize(buffer.Data(), bytesPerSector));
}

// Every placed volume's pieces by (disk, first byte), the first volume listed where two
// name one place: made once, so that tying thousands of partitions stays flat.
using PieceIndex = std::map<std::pair<uint32_t, uint64_t>, const PlacedVolume*>;

PieceIndex IndexPieces(const std::vector<PlacedVolume>& placed) {
  PieceIndex index;
  for (const PlacedVolume& volume : placed)
    for (const VolumeExtent& piece : volume.pieces)
      if (piece.disk) index.emplace(std::make_pair(piece.disk->value, piece.offset.value), &volume);
  return index;
}

// What lies on the partition: the volume whose piece starts on this disk at its first byte.
void Tie(DiskNumber disk, const PieceIndex& pieces, bool allPlaced, Partition& partition) {
  if (HoldsOtherVolumes(partition)) {
    partition.holds = PartitionHolds::Container;
    return;
  }
  const auto found = pieces.find(std::make_pair(disk.value, partition.start.value));
  const PlacedVolume* volume = found != pieces.end() ? found->second : nullptr;
  if (volume == nullptr) {
    // A volume that could not be placed may lie on a partition Windows makes volumes of.
    partition.holds = allPlaced || !WindowsMakesVolume(partition) ? PartitionHolds::NoVolume
                                                                  : PartitionHolds::Unknown;
    return;
  }
  partition.holds = volume->holds;
  partition.volume = volume->volumeName;
  partition.recorded = volume->recorded;
  (volume->holds == PartitionHolds::Row ? partition.row : partition.shownAs) = volume->row;
  partition.failure = volume->failure;
  partition.failureError = volume->error;
  if (partition.holds == PartitionHolds::Row) partition.verdict = volume->verdict;  // its volume's
}

// A volume without a row that Windows lets the scan read through its name.
bool Readable(const Partition& partition) {
  return partition.holds == PartitionHolds::NoPath || partition.holds == PartitionHolds::NotFixed;
}

// Whether judging the partition reads its boot sector: a unit of device work.
bool ReadsBootSector(AccessMode mode, const Partition& partition) {
  return mode == AccessMode::Raw && Readable(partition);
}

// Where a partition without a row keeps its data.
void FindDataArea(const DriveInfo& drive, AccessMode mode, Partition& partition) {
  // Windows' volume on it is read through its name: FAT and exFAT keep their clusters
  // past their allocation tables, which only the boot sector says. One that Windows has
  // no volume for (Linux's) is judged by its start.
  const bool readable = Readable(partition);
  const bool windowsVolume = readable || partition.holds == PartitionHolds::NotExamined ||
                             partition.holds == PartitionHolds::Unknown;
  if (ReadsBootSector(mode, partition)) {
    const auto read = ReadVolumeBootSector(partition.volume, drive.layout->sectorSize.Bytes());
    if (read) {
      const BootSector* boot = &read->first;
      partition.recorded = read->second;
      const bool fat = KeepsClustersPastTables(boot->fileSystem);
      partition.dataOffset =
          fat ? (boot->dataOffset ? std::optional<Sectors>(Sectors(*boot->dataOffset))
                                  : std::nullopt)
              : Sectors(0);
      if (!partition.dataOffset) partition.reason = Undetermined::DataAreaUnread;
      return;
    }
  }
  if (!HoldsFat(partition) || !windowsVolume) return;  // judged by its start
  partition.dataOffset.reset();
  partition.reason = mode == AccessMode::QueryOnly && readable ? Undetermined::DataAreaNeedsRights
                                                               : Undetermined::BootSectorUnread;
}

// Its verdict, and what would align it where it is misaligned.
void Judge(const DriveInfo& drive, AccessMode mode, Partition& partition) {
  FindDataArea(drive, mode, partition);
  if (drive.sectorSizesDisagree) {
    partition.dataOffset.reset();
    partition.reason = Undetermined::SectorSizes;
  }
  const Disk disk = drive.AsDisk();
  std::optional<Sectors> dataStart;
  if (partition.dataOffset) dataStart = drive.layout->SectorOf(partition.start) + *partition.dataOffset;
  const Judgement judged = Judge(disk, {dataStart, partition.reason, std::nullopt});
  partition.verdict = judged.verdict;
  partition.reason = judged.reason;
  if (partition.verdict != Verdict::Misaligned) return;
  // Its clusters are not judged: no cluster size is known without its volume's row, and
  // an EFI system partition's are small on purpose. So it is never told to format.
  partition.advice = AdvisePartition(disk, partition);
}

}  // namespace

std::vector<TiedPartition> TieWithoutReading(DriveTable& drives,
                                             const std::vector<PlacedVolume>& placed,
                                             bool allPlaced, AccessMode mode) {
  const PieceIndex pieces = IndexPieces(placed);
  std::vector<TiedPartition> toRead;
  for (DiskNumber number : drives.Listed()) {
    DriveInfo& drive = drives[number];
    if (!drive.layout) continue;
    for (size_t i = 0; i < drive.layout->partitions.size(); ++i) {
      Partition& partition = drive.layout->partitions[i];
      partition.onMiB = OnMiB(drive.layout->SectorOf(partition.start), drive.layout->sectorSize);
      Tie(number, pieces, allPlaced, partition);
      if (partition.holds == PartitionHolds::Row || !HasDataToAlign(partition)) continue;
      if (ReadsBootSector(mode, partition))
        toRead.push_back({number, i});
      else
        Judge(drive, mode, partition);
    }
  }
  return toRead;
}

void JudgeTied(DriveTable& drives, const TiedPartition& tied, AccessMode mode) {
  DriveInfo& drive = drives[tied.disk];
  if (drive.layout && tied.index < drive.layout->partitions.size())
    Judge(drive, mode, drive.layout->partitions[tied.index]);
}

void TiePartitions(DriveTable& drives, const std::vector<PlacedVolume>& placed, bool allPlaced,
                   AccessMode mode) {
  for (const TiedPartition& tied : TieWithoutReading(drives, placed, allPlaced, mode))
    JudgeTied(drives, tied, mode);
}
