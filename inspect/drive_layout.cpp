#include "inspect/drive_layout.h"

#include <algorithm>
#include <cstring>

#include "disk/little_endian.h"
#include "disk/partition_types.h"
#include "platform/device.h"
#include "platform/sys.h"

namespace {

constexpr size_t kHeaderBytes = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry);  // 48
constexpr size_t kEntryBytes = sizeof(PARTITION_INFORMATION_EX);                        // 144
// GPT disks hold 128 entries by default, and a table can be made larger; an MBR disk lists
// four entries for each logical partition. Past 1,024 no disk Windows made is described.
constexpr size_t kMostEntries = 1024;
constexpr size_t kFirstEntries = 16;

uint32_t Le32(const BYTE* p) { return le::U32(p); }
// Offsets and lengths are signed on the wire: a negative one is no place.
int64_t Le64(const BYTE* p) { return static_cast<int64_t>(le::U64(p)); }

bool IsMbrContainer(uint8_t type) { return MbrType(type).container; }

// One entry at `e`; none when it is no partition to judge.
std::optional<Partition> ReadEntry(const BYTE* e, uint32_t style,
                                   std::optional<uint64_t> diskBytes) {
  const auto at = [e](size_t field) { return e + field; };
  if (Le32(at(offsetof(PARTITION_INFORMATION_EX, PartitionStyle))) != style) return std::nullopt;
  const int64_t start = Le64(at(offsetof(PARTITION_INFORMATION_EX, StartingOffset)));
  const int64_t length = Le64(at(offsetof(PARTITION_INFORMATION_EX, PartitionLength)));
  if (start < 0 || length <= 0) return std::nullopt;
  const auto end = static_cast<uint64_t>(start) + static_cast<uint64_t>(length);  // < 2^64
  if (diskBytes && end > *diskBytes) return std::nullopt;

  Partition p;
  const BYTE* type = at(offsetof(PARTITION_INFORMATION_EX, Mbr));  // the union's start
  if (style == PARTITION_STYLE_MBR) {
    if (type[0] == 0 || IsMbrContainer(type[0])) return std::nullopt;
    p.mbrType = type[0];
    p.active = at(offsetof(PARTITION_INFORMATION_EX, Mbr.BootIndicator))[0] != 0;
  } else {
    static const BYTE kUnused[16] = {};
    if (std::memcmp(type, kUnused, sizeof kUnused) == 0) return std::nullopt;
    p.gptType = GuidText(type);
    p.active = (le::U64(at(offsetof(PARTITION_INFORMATION_EX, Gpt.Attributes))) & kGptLegacyBiosBootable) != 0;
  }
  p.number = Le32(at(offsetof(PARTITION_INFORMATION_EX, PartitionNumber)));
  p.start = ByteCount(static_cast<uint64_t>(start));
  p.length = ByteCount(static_cast<uint64_t>(length));
  return p;
}

}  // namespace

namespace {

// MBR's fields count sectors in 32 bits: no partition of an MBR disk ends past them.
constexpr Sectors kMbrSectors(1ull << 32);

// The entry's type is set: MBR's byte, GPT's GUID.
bool Used(const BYTE* entry, uint32_t style) {
  const BYTE* type = entry + offsetof(PARTITION_INFORMATION_EX, Mbr);  // the union's start
  if (style == PARTITION_STYLE_MBR) return type[0] != 0;
  static const BYTE kUnused[16] = {};
  return std::memcmp(type, kUnused, sizeof kUnused) != 0;
}

// Where an entry begins and ends, in bytes; none for one that starts before the disk or
// has no length.
struct Span {
  uint64_t start, end;
};
std::optional<Span> SpanOf(const BYTE* entry) {
  const int64_t start = Le64(entry + offsetof(PARTITION_INFORMATION_EX, StartingOffset));
  const int64_t length = Le64(entry + offsetof(PARTITION_INFORMATION_EX, PartitionLength));
  if (start < 0 || length <= 0) return std::nullopt;
  return Span{static_cast<uint64_t>(start), static_cast<uint64_t>(start) + static_cast<uint64_t>(length)};
}

// The header's part of the layout: its style, where partitions may begin and end, and how
// many entries it holds; false for a style Windows does not give.
bool TakeHeader(const BYTE* answer, uint32_t style, SectorSize sectorSize,
                std::optional<uint64_t> diskBytes, DriveLayout& layout) {
  switch (style) {
    case PARTITION_STYLE_MBR:
      layout.style = PartitionStyle::Mbr;
      if (diskBytes)
        layout.usableEnd = ByteCount(std::min(*diskBytes, sectorSize.Of(kMbrSectors).value));
      layout.usableStart = sectorSize.Of(Sectors(1));
      layout.entrySlots = 4;
      break;
    case PARTITION_STYLE_GPT: {
      layout.style = PartitionStyle::Gpt;
      // The table's own usable area, taken where it lies within the disk. The disk's size
      // is no substitute: its last sectors hold the backup table.
      const int64_t first =
          Le64(answer + offsetof(DRIVE_LAYOUT_INFORMATION_EX, Gpt.StartingUsableOffset));
      const int64_t length = Le64(answer + offsetof(DRIVE_LAYOUT_INFORMATION_EX, Gpt.UsableLength));
      const auto end = static_cast<uint64_t>(first) + static_cast<uint64_t>(length);
      if (first >= 0 && length > 0 && (!diskBytes || end <= *diskBytes)) {
        layout.usableStart = ByteCount(static_cast<uint64_t>(first));
        layout.usableEnd = ByteCount(end);
      }
      layout.entrySlots =
          Le32(answer + offsetof(DRIVE_LAYOUT_INFORMATION_EX, Gpt.MaxPartitionCount));
      break;
    }
    case PARTITION_STYLE_RAW:
      if (diskBytes) layout.usableEnd = ByteCount(*diskBytes);
      return true;
    default:
      return false;
  }
  if (diskBytes) layout.diskEnd = ByteCount(*diskBytes);
  return true;
}

}  // namespace

std::optional<DriveLayout> ParseDriveLayout(const BYTE* answer, size_t returned,
                                            SectorSize sectorSize,
                                            std::optional<uint64_t> diskBytes) {
  if (returned < kHeaderBytes || sectorSize.Bytes() == 0) return std::nullopt;
  const uint32_t style = Le32(answer);
  DriveLayout layout;
  layout.sectorSize = sectorSize;
  if (!TakeHeader(answer, style, sectorSize, diskBytes, layout)) return std::nullopt;
  if (style == PARTITION_STYLE_RAW) return layout;
  // The count is the device's claim: only the entries that came back are read.
  const size_t count = std::min<size_t>(Le32(answer + offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionCount)), kMostEntries);
  const size_t listed = std::min(count, (returned - kHeaderBytes) / kEntryBytes);
  const auto entry = [answer](size_t i) { return answer + kHeaderBytes + i * kEntryBytes; };
  // Windows lists an MBR disk's own four entries first, the extended container among them,
  // then four for each logical partition: the partition, the link to the next, two unused.
  std::optional<ByteCount> containerEnd;
  for (size_t i = 0; i < listed && i < 4 && style == PARTITION_STYLE_MBR; ++i) {
    const auto span = SpanOf(entry(i));
    layout.entriesUsed += span && Used(entry(i), style) ? 1 : 0;
    if (span && IsMbrContainer(entry(i)[offsetof(PARTITION_INFORMATION_EX, Mbr)]) &&
        !layout.extended) {
      containerEnd = ByteCount(span->end);
      layout.extended = DriveLayout::Span{ByteCount(span->start), ByteCount(span->end)};
      layout.records.push_back(ByteCount(span->start));  // the first record begins it
    }
  }
  for (size_t i = 0; i < listed; ++i) {
    const auto span = SpanOf(entry(i));
    if (span && Used(entry(i), style)) layout.starts.push_back(ByteCount(span->start));
    layout.entriesUsed += style == PARTITION_STYLE_GPT && span && Used(entry(i), style) ? 1 : 0;
    // Past the four, each link to the next logical partition starts at its record.
    if (span && i >= 4 && style == PARTITION_STYLE_MBR &&
        IsMbrContainer(entry(i)[offsetof(PARTITION_INFORMATION_EX, Mbr)]))
      layout.records.push_back(ByteCount(span->start));
    if (auto p = ReadEntry(entry(i), style, diskBytes)) {
      if (style == PARTITION_STYLE_MBR && i >= 4) p->containerEnd = containerEnd;
      layout.partitions.push_back(std::move(*p));
    }
  }
  std::sort(layout.starts.begin(), layout.starts.end());
  return layout;
}

DiskSize AskDiskSize(Device& drive) {
  DISK_GEOMETRY_EX geometry;
  DWORD returned = 0;
  DiskSize disk;
  if (!drive.Out(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, &geometry, &returned) ||
      returned < offsetof(DISK_GEOMETRY_EX, Data))
    return disk;
  if (geometry.DiskSize.QuadPart >= 0) disk.bytes = static_cast<uint64_t>(geometry.DiskSize.QuadPart);
  const uint32_t sector = geometry.Geometry.BytesPerSector;
  if (sector >= 512 && sector <= 65536 && (sector & (sector - 1)) == 0) disk.bytesPerSector = sector;
  return disk;
}

std::optional<DriveLayout> ReadDriveLayout(Device& drive, SectorSize sectorSize,
                                           std::optional<uint64_t> diskBytes) {
  // Windows says a buffer is too small and not how large it must be: it grows until the
  // table fits, to a bound.
  for (size_t entries = kFirstEntries; entries <= kMostEntries; entries *= 2) {
    std::vector<BYTE> answer(kHeaderBytes + entries * kEntryBytes, 0);
    DWORD returned = 0;
    if (drive.Control(IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, answer.data(),
                      static_cast<DWORD>(answer.size()), &returned))
      return ParseDriveLayout(answer.data(), std::min<size_t>(returned, answer.size()),
                              sectorSize, diskBytes);
    if (sys::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  }
  return std::nullopt;
}
