// One disk image checked offline: its container, its partition table, and each partition
// judged as a partition of a disk is, against the grid the guest's host would write in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/disk.h"
#include "disk/free_space.h"
#include "disk/sector_size_move.h"
#include "image/disk_image.h"
#include "image/disk_table.h"

// The grid a guest's partitions are judged against: the host's physical sector, which the
// person may name; else 4096 bytes, today's disks' physical sector.
enum class GridSource { Option, Default };
constexpr uint32_t kDefaultGrid = 4096;

// Why an image has its verdict: the first that holds, in this order.
enum class ImageReason {
  None,                   // aligned
  Refused,                // it was refused: its refusal says why
  TableUnread,            // its first sector, or both GPT headers, could not be read
  NothingInFirstSector,   // a raw image without a partition table or a file system at 0
  SectorSizeUnknown,      // a raw image whose witnesses name two sector sizes
  BlocksOff4K,            // the container's blocks lie off 4 KiB in the file
  ParentBlocksOff4K,      // a parent's container's blocks do
  PartitionMisaligned,    // a partition inside is misaligned
  HoldsOtherVolumes,      // a partition holds a dynamic disk's or a storage pool's volumes
  PartitionUndetermined,  // a partition inside is undetermined: `partitionReason` says why
};

struct ImageVerdict {
  Verdict verdict = Verdict::Undetermined;
  ImageReason reason = ImageReason::None;
  Undetermined partitionReason = Undetermined::None;
};

// A partition of the image, with what its first sector says. A file system that fills the
// disk from sector 0 is one too, numbered 0, without a type.
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
  uint64_t fileBytes = 0;
  uint32_t logicalSectorSize = 512;
  SectorSizeFrom sectorSizeFrom = SectorSizeFrom::Format;
  bool sectorSizeOptionUnused = false;  // named, but the container names its own
  std::optional<uint32_t> physicalSectorSize;
  uint32_t grid = kDefaultGrid;
  GridSource gridSource = GridSource::Default;
  std::optional<BlockContainer> container;
  std::vector<ParentImage> parents;     // a differencing image's chain, nearest first
  std::vector<MemberFile> members;      // a VMDK's other extents and change-tracking file
  std::optional<PartitionStyle> style;  // none where sector 0 could not be read
  GptHeaderRead gpt = GptHeaderRead::None;
  bool fileSystemWithoutTable = false;
  std::vector<ImagePartition> partitions;
  // The space its table leaves unallocated; none where it has no table or its sector size
  // cannot be told.
  std::optional<std::vector<FreeRegion>> free;
  // A VHD's or VHDX's container of 512-byte sectors over a guest laid out in 4096 (as qemu
  // writes one from a 4Kn raw disk): 4096; else 0.
  uint32_t guestLaidOutIn = 0;
  // Its move to the other logical sector size; none where its sector size is not known, or
  // nothing in it tells whether it can move.
  std::optional<SectorSizeMove> sectorSizeMove;

  // The image's own verdict, which its line, the one-line outputs and the exit status take:
  // undetermined where it was refused or its table or sector size could not be told;
  // misaligned where its blocks lie off 4 KiB or a partition is misaligned; undetermined
  // where a partition holds other volumes (LDM, Storage Spaces), whose own places this
  // reader does not read, or where a partition is undetermined; else aligned.
  ImageVerdict Judged() const;
  // The disk inside, as the judge sees it: its logical sector and the grid it is judged on.
  Disk Guest() const;
};

// What the person named: the grid (a power of two from 512 to 1 MiB) and a raw image's
// logical sector size (512 or 4096), each none where not named.
struct ImageOptions {
  std::optional<uint32_t> grid;
  std::optional<uint32_t> sectorSize;
  bool toPhysical4Kn = false;  // --target 4kn: the move is to a physical 4Kn disk
};

ImageCheck CheckImage(const std::string& path, const ImageOptions& options);
// The same for an image already opened.
ImageCheck CheckOpened(const std::string& path, ImageOpening opening, const ImageOptions& options);
