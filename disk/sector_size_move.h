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

#include "disk/boot_sector.h"
#include "disk/disk.h"

enum class MoveVerdict {
  Ready,              // no table, and the file system already records the new size
  NeedsTableRewrite,  // only the table stands in the way
  NeedsReformat,      // a file system must be formatted again
  NotReady,           // a start, a length or the size off 4 KiB, or a GPT start below its
                      // first usable sector at the new size
};

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
  FileSystemUnread,   // a partition with data whose recorded size was not read
  GuestSectorsDiffer, // a container of 512-byte sectors over a guest laid out in 4096:
                      // already unreadable in its guest
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
  // Partitions with data whose recorded size was not read (a dynamic disk's or a storage
  // pool's too: their own records count sectors, which this reader does not read).
  std::vector<uint32_t> unread;
  uint32_t guestLaidOutIn = 0;   // the guest's own sector size where its container's differs
};

// GPT's BIOS boot partition ("Hah!IdontNeedEFI"), where GRUB keeps its core on a GPT disk
// started by BIOS.
constexpr const char* kBiosBootType = "21686148-6449-6E6F-744E-656564454649";

// What a table's partitions say: each one's recorded size (by number), or that a partition
// with data was not read; booting through BIOS from an active MBR entry, `bootCode` (an MBR's
// bytes 0-439 not all zero) or a GPT's BIOS boot partition.
MoveFacts PartitionFacts(const DriveLayout& layout, bool bootCode, uint64_t diskBytes);

struct SectorSizeMove {
  uint32_t to = 4096;
  MoveVerdict verdict = MoveVerdict::Ready;
  std::vector<MoveItem> items;
};

// Ready for a physical 4Kn disk: of 4096-byte sectors already, or a move that needs nothing.
inline bool ReadyFor4Kn(uint32_t logicalSectorSize, const std::optional<SectorSizeMove>& move) {
  if (logicalSectorSize == 4096) return true;
  return move && move->to == 4096 && move->verdict == MoveVerdict::Ready;
}

// The move of `disk` (its table in disk.layout, none for a disk without one) to the other
// of 512 and 4096; none for a disk of another logical sector size, or one without a table
// whose file system (if any) says nothing of its size: nothing tells whether it can move.
std::optional<SectorSizeMove> MoveSectorSize(const Disk& disk, const MoveFacts& facts);
