// One disk image checked offline: its container, its partition table, and each partition
// judged as a partition of a disk is, against the grid the guest's host would write in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/disk_image.h"
#include "image/disk_table.h"

// The grid a guest's partitions are judged against: the host's physical sector, which the
// person may name; else 4096 bytes, today's disks' physical sector.
enum class GridSource { Option, Default };
constexpr uint32_t kDefaultGrid = 4096;

// A partition of the image, with what its first sector says.
struct ImagePartition {
  Partition partition;     // number, type, place, verdict, reason, onMiB and advice
  std::string fileSystem;  // "NTFS", "FAT32", "exFAT", ...; empty where none is known
  std::optional<uint64_t> clusterBytes;
  std::optional<Sectors> dataStart;  // where its first cluster lies; none where unknown
};

struct ImageCheck {
  std::string path;
  ImageRefusal refusal = ImageRefusal::None;
  std::string refusalWords;
  DWORD error = ERROR_SUCCESS;  // what Windows said to the open, where it refused it

  ImageFormat format = ImageFormat::Raw;
  uint64_t virtualSize = 0;
  uint32_t logicalSectorSize = 512;
  std::optional<uint32_t> physicalSectorSize;
  uint32_t grid = kDefaultGrid;
  GridSource gridSource = GridSource::Default;
  std::optional<BlockContainer> container;
  std::optional<PartitionStyle> style;  // none where sector 0 could not be read
  GptHeaderRead gpt = GptHeaderRead::None;
  bool fileSystemWithoutTable = false;
  std::vector<ImagePartition> partitions;

  // What the image adds to the exit status: misaligned (a partition, or container blocks
  // off 4 KiB), undetermined (a partition, a refusal, a table that could not be read), or
  // aligned.
  Verdict Summary() const;
};

// `grid`: the bytes the person named (a power of two from 512 to 1 MiB), or none.
ImageCheck CheckImage(const std::string& path, std::optional<uint32_t> grid);
// The same for an image already opened.
ImageCheck CheckOpened(const std::string& path, ImageOpening opening, std::optional<uint32_t> grid);
