// Whether a disk laid out in one logical sector size can move to the other (512 to 4096,
// 4096 to 512), and what stands in the way: a table counts sectors, so a block copy to a
// disk of the other size is not read until the table is written again in its units; a file
// system that records the old size must be formatted again; a start, a length or a size off
// 4 KiB cannot move at all. GPT at 4096, as UEFI firmware reads it (its 128
// entries take 4 sectors: the first usable LBA is 6; the backup takes the last 5 sectors).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/disk.h"

enum class MoveVerdict {
  Ready,              // no table, and the file system already records the new size
  NeedsTableRewrite,  // only the table stands in the way
  NeedsReformat,      // a file system must be formatted again
  NotReady,           // a start, a length or the size off 4 KiB, or a GPT start below its
                      // first usable sector at the new size
};

// What a file system records of the disk's sector: NTFS's, FAT's and exFAT's bytes per
// sector, XFS's sector size (big-endian u16 at byte 102), ext2/3/4's block size (which below
// 4096 cannot be mounted on a 4Kn device).
struct RecordedSize {
  std::string fileSystem;  // "NTFS", "FAT", "exFAT", "XFS", "ext"
  uint32_t bytes = 0;
  bool blockSize = false;  // ext's block, not a sector
};

// The size the file system at a partition's first bytes records; none where none is known.
// `bytes` holds at least 2048 of them (ext's superblock lies at 1024).
std::optional<RecordedSize> RecordedSectorSize(const uint8_t* first, size_t bytes);

enum class MoveItemKind {
  StartOff4K,         // a partition's start is not a multiple of 4096 bytes
  LengthOff4K,        // nor its length
  SizeOff4K,          // nor the disk's size
  BelowFirstUsable,   // GPT: it starts below byte 24,576, the first usable at 4096
  InBackupTable,      // GPT: it ends in the last 20,480 bytes, the backup table's at 4096
  RecordOff4K,        // MBR: a logical partition's record off 4 KiB or inside a partition
  TableRewrite,       // the table must be written again in the new units
  FileSystemRecords,  // a file system records the old size (or ext a block below 4096)
  EspTooSmall,        // physical 4Kn: an EFI system partition below 260 MiB
  BootsThroughBios,   // physical 4Kn: the disk boots through BIOS (an active MBR entry,
                      // boot code in bytes 0-439, a GPT BIOS boot partition)
};

struct MoveItem {
  MoveItemKind kind = MoveItemKind::TableRewrite;
  uint32_t partition = 0;  // 0: the disk
  uint64_t value = 0;      // the byte, the size or the recorded bytes that was read
  std::string fileSystem;  // for FileSystemRecords
};

// What the reader found beyond the table.
struct MoveFacts {
  uint64_t diskBytes = 0;
  std::vector<std::pair<uint32_t, RecordedSize>> fileSystems;  // by partition (0: the disk)
  bool bootsThroughBios = false;
  bool physical4Kn = false;  // the target is a physical 4Kn disk (not a virtual one)
};

struct SectorSizeMove {
  uint32_t to = 4096;
  MoveVerdict verdict = MoveVerdict::Ready;
  std::vector<MoveItem> items;
};

// The move of `disk` (its table in disk.layout, none for a disk without one) to the other
// of 512 and 4096; none for a disk of another logical sector size, or one without a table
// whose file system (if any) says nothing of its size: nothing tells whether it can move.
std::optional<SectorSizeMove> MoveSectorSize(const Disk& disk, const MoveFacts& facts);
