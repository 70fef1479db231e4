// A disk's partitions, whichever reader found them (Windows' layout request, or a disk
// file's own table), and what each holds and is judged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/advice.h"
#include "disk/boot_sector.h"
#include "disk/units.h"
#include "disk/verdict.h"

struct Disk;

constexpr uint64_t kGptLegacyBiosBootable = uint64_t{1} << 2;  // a GPT entry's attribute bit

enum class PartitionStyle { Mbr, Gpt, Raw };

// What lies on a partition, as the scan finds it among the volumes Windows lists.
enum class PartitionHolds {
  Unknown,      // not tied: the scan has not ended, or a volume could not be placed
  Row,          // the volume of a report row
  NoPath,       // a volume with neither letter nor folder (EFI system, recovery)
  NotExamined,  // a volume the scan could not examine
  NotFixed,     // a lettered volume Windows does not show as fixed (a USB stick's): no row
  NoVolume,     // no Windows volume at all (Linux, a file system Windows cannot read)
  Container,    // LDM or Storage Spaces: the volumes inside are judged by their own pieces
};

struct Partition {
  uint32_t number = 0;
  std::optional<uint8_t> mbrType;  // MBR: the type byte
  std::string gptType;             // GPT: the type GUID, upper case with dashes
  ByteCount start;  // where it begins on its disk, as Windows says it
  ByteCount length;

  PartitionHolds holds = PartitionHolds::Unknown;
  std::string volume;  // the Windows volume name, "\\?\Volume{...}\"; empty without one
  std::string row;     // the name of the volume's row; empty without one
  std::string shownAs;  // NotExamined, NotFixed: the name the report knows that volume by
  ProbeFailure failure = ProbeFailure::None;  // for NotExamined: why, and what Windows said
  uint32_t failureError = 0;
  // MBR logical partitions: where their extended container ends. A move must end inside it.
  std::optional<ByteCount> containerEnd;
  // Sectors from its start to its first cluster, as its file system counts them: 0 where it
  // is judged by its start (no file system read, or one that keeps its clusters from the
  // start); a FAT or exFAT one's data area; none where that could not be read.
  std::optional<Sectors> dataOffset = Sectors(0);
  std::optional<Verdict> verdict;  // none for a partition without data to align
  Undetermined reason = Undetermined::None;  // why, where the verdict is undetermined
  std::optional<Advice> advice;    // for a misaligned one without a row
  bool onMiB = false;
  // Where BIOS looks for what to start: MBR's active mark (0x80); GPT's legacy BIOS bootable
  // attribute (bit 2), which a protective MBR's code follows.
  bool active = false;
  // What its file system records of the sector (its boot sector or superblock); none where
  // that was not read or it records none this reader knows.
  std::optional<RecordedSize> recorded;
};

struct DriveLayout {
  PartitionStyle style = PartitionStyle::Raw;
  std::vector<Partition> partitions;  // the partitions to judge, in the table's order
  SectorSize sectorSize{512};         // the drive's, what its sectors are counted in
  // Where partitions must end: past GPT's last usable sector (from the table's own usable
  // area, none where that cannot be used: the disk's size would lie over the backup
  // table), or MBR's limit, the disk's size or the 2^32 sectors its fields count; none
  // when the disk did not say its size.
  std::optional<ByteCount> usableEnd;
  // Where every used entry begins: the partitions, those not judged (one that ends past the
  // disk's size), MBR's extended container and each link to the next logical partition. A
  // move must end before the next of them. In ascending order (each reader of a table sorts
  // them), so that the next is found by search: a GPT may hold 32,768 entries.
  std::vector<ByteCount> starts;
  // Where partitions may begin: GPT's first usable sector (from the table's header, or
  // Windows' StartingUsableOffset), the sector after an MBR; none for a disk without a table.
  std::optional<ByteCount> usableStart;
  // The disk's own end, where it is known: an MBR disk may reach past the 2^32 sectors its
  // table counts (usableEnd).
  std::optional<ByteCount> diskEnd;
  // MBR's extended container, and where each of its records (EBRs) lies: a logical
  // partition is made behind a record of its own.
  struct Span {
    ByteCount start, end;
  };
  std::optional<Span> extended;
  std::vector<ByteCount> records;
  // The table's entries: how many are used and how many it has (an MBR's four; a GPT's
  // array, 128 by default); 0 slots where the table does not say.
  uint32_t entriesUsed = 0, entrySlots = 0;

  Sectors SectorOf(ByteCount at) const { return sectorSize.Of(at); }
};

// Where `partition` may end if it moves: the next start after its own, the end of its
// extended container, or the usable end; none where nothing after it is known.
std::optional<ByteCount> MoveLimit(const DriveLayout& layout, const Partition& partition);

// The advice for `partition`, misaligned on `disk`: its start, data offset, length and room
// as the disk's table gives them (the room unknown without one); its clusters judged where
// `clusterBytes` is given. One rule for a drive's partitions, a volume's, and a disk file's.
std::optional<Advice> AdvisePartition(const Disk& disk, const Partition& partition,
                                      std::optional<uint64_t> clusterBytes = std::nullopt,
                                      bool formatLaysDataArea = false);

// A GUID's 16 bytes as Windows stores them (its first three fields little-endian, the rest
// in order), written upper case with dashes: "C12A7328-F81F-11D2-BA4B-00A0C93EC93B".
std::string GuidText(const uint8_t* bytes);

struct PartitionType;
// What its type says of it (partition_types.h).
const PartitionType& TypeOf(const Partition& partition);
// "EFI system", "Linux file system", ...; an MBR byte without a name in hex ("0xA5"); a
// GPT type without one "unknown".
std::string PartitionTypeName(const Partition& partition);
// Microsoft reserved partitions and the containers of other volumes hold no data to align.
bool HasDataToAlign(const Partition& partition);
// Its type says it holds FAT: the EFI system partition, and MBR's FAT types. Its clusters
// begin past its allocation tables, which only its boot sector says.
bool HoldsFat(const Partition& partition);
// The EFI system partition: Windows makes its FAT clusters small on purpose.
bool IsEfiSystem(const Partition& partition);
bool HoldsOtherVolumes(const Partition& partition);  // LDM metadata and data, Storage Spaces
// Windows makes a volume of a partition of this type: basic data, EFI system and recovery
// on GPT; the FAT, NTFS/exFAT and recovery bytes on MBR. Of any other it makes none.
bool WindowsMakesVolume(const Partition& partition);

