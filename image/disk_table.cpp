#include "image/disk_table.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "image/crc32.h"
#include "disk/boot_sector.h"
#include "disk/little_endian.h"
#include "disk/partition_types.h"

namespace {

constexpr size_t kMbrEntries = 446;  // the four entries of 16 bytes, then 0x55 0xAA
constexpr uint8_t kProtectiveGpt = 0xEE;
// A chain longer than any tool makes; it also ends a chain that loops.
constexpr uint32_t kMostLogicals = 128;
// GPT's entry array: 128 entries of 128 bytes by default; a table far larger is no table.
constexpr uint64_t kMostEntryBytes = 4 * 1024 * 1024;
constexpr uint32_t kLeastGptHeader = 92;

using Bytes = std::vector<uint8_t>;

class TableReader {
 public:
  TableReader(ByteSource& disk, SectorSize size)
      : m_disk(disk), m_size(size), m_sectors(disk.Size() / size.Bytes()) {}

  std::optional<Bytes> Sector(uint64_t lba, uint64_t count = 1) {
    if (lba >= m_sectors || count > m_sectors - lba) return std::nullopt;
    Bytes bytes(static_cast<size_t>(count * m_size.Bytes()));
    if (!m_disk.Read(lba * m_size.Bytes(), bytes.data(), bytes.size())) return std::nullopt;
    return bytes;
  }

  TableReading Read() {
    TableReading reading;
    const std::optional<Bytes> first = Sector(0);
    if (!first) return reading;
    DriveLayout layout;
    layout.sectorSize = m_size;
    layout.style = PartitionStyle::Raw;
    const bool signed_ = (*first)[510] == 0x55 && (*first)[511] == 0xAA;
    if (signed_ &&
        (NamedSectorBytes(first->data()) ||
         ReadBootSector(first->data(), m_size.Bytes()).fileSystem != BootFileSystem::Unknown)) {
      reading.fileSystemWithoutTable = true;
    } else if (IsMbr(first->data()) && Protective(*first)) {
      layout.style = PartitionStyle::Gpt;
      reading.gpt = ReadGpt(layout);
    } else if (IsMbr(first->data())) {
      layout.style = PartitionStyle::Mbr;
      reading.bootCode = std::any_of(first->begin(), first->begin() + 440, [](uint8_t b) { return b != 0; });
      ReadMbr(*first, layout);
    }
    if (layout.style == PartitionStyle::Raw) layout.usableEnd = ByteCount(m_disk.Size());
    if (layout.style != PartitionStyle::Raw) layout.diskEnd = m_size.Of(Sectors(m_sectors));
    std::sort(layout.starts.begin(), layout.starts.end());
    reading.layout = std::move(layout);
    return reading;
  }

 private:
  static const uint8_t* MbrEntry(const Bytes& sector, int i) {
    return sector.data() + kMbrEntries + 16 * i;
  }

  static bool Protective(const Bytes& mbr) {
    for (int i = 0; i < 4; ++i)
      if (MbrEntry(mbr, i)[4] == kProtectiveGpt) return true;
    return false;
  }

  // A partition of `count` sectors from `lba`: its start bounds the entry before it
  // wherever it lies; one that ends past the disk is left out, as Windows leaves it.
  void Add(DriveLayout& layout, Partition p, uint64_t lba, uint64_t count) {
    if (lba >= m_sectors) return;
    layout.starts.push_back(m_size.Of(Sectors(lba)));
    if (count == 0 || count > m_sectors - lba) return;
    p.start = m_size.Of(Sectors(lba));
    p.length = m_size.Of(Sectors(count));
    layout.partitions.push_back(std::move(p));
  }

  void ReadMbr(const Bytes& mbr, DriveLayout& layout) {
    // Its fields count sectors in 32 bits: nothing on it ends past them.
    layout.usableEnd = ByteCount(std::min(m_disk.Size(), m_size.Of(Sectors(1ull << 32)).value));
    layout.usableStart = m_size.Of(Sectors(1));
    layout.entrySlots = 4;
    std::optional<std::pair<uint64_t, uint64_t>> container;  // first sector, sectors
    for (int i = 0; i < 4; ++i) {
      const uint8_t* e = MbrEntry(mbr, i);
      const uint8_t type = e[4];
      const uint64_t lba = le::U32(e + 8), count = le::U32(e + 12);
      if (type == 0 || count == 0) continue;
      ++layout.entriesUsed;
      if (MbrType(type).container) {
        if (lba < m_sectors) layout.starts.push_back(m_size.Of(Sectors(lba)));
        if (!container && lba < m_sectors) {
          container = {lba, count};
          layout.extended = DriveLayout::Span{
              m_size.Of(Sectors(lba)), m_size.Of(Sectors(std::min(lba + count, m_sectors)))};
        }
        continue;
      }
      Partition p;
      p.number = static_cast<uint32_t>(i + 1);
      p.mbrType = type;
      p.active = e[0] == 0x80;
      Add(layout, std::move(p), lba, count);
    }
    if (container) ReadLogicals(*container, layout);
  }

  // The chain of extended boot records: each names one logical partition (from itself) and
  // the next record (from the container's start). Each record is read once.
  void ReadLogicals(std::pair<uint64_t, uint64_t> container, DriveLayout& layout) {
    const ByteCount containerEnd = m_size.Of(Sectors(container.first + container.second));
    std::set<uint64_t> seen;
    uint64_t record = container.first;
    for (uint32_t n = 5; n < 5 + kMostLogicals && seen.insert(record).second; ++n) {
      layout.records.push_back(m_size.Of(Sectors(record)));
      const std::optional<Bytes> ebr = Sector(record);
      if (!ebr || (*ebr)[510] != 0x55 || (*ebr)[511] != 0xAA) return;
      const uint8_t* logical = MbrEntry(*ebr, 0);
      const uint8_t* link = MbrEntry(*ebr, 1);
      if (logical[4] != 0 && le::U32(logical + 12) != 0) {
        Partition p;
        p.number = n;
        p.mbrType = logical[4];
        p.containerEnd = containerEnd;
        Add(layout, std::move(p), record + le::U32(logical + 8), le::U32(logical + 12));
      }
      if (!MbrType(link[4]).container || le::U32(link + 12) == 0) return;
      const uint64_t next = container.first + le::U32(link + 8);
      if (next >= container.first + container.second) return;
      layout.starts.push_back(m_size.Of(Sectors(next)));
      record = next;
    }
  }

  struct GptHeader {
    uint64_t firstUsable = 0, lastUsable = 0;
    Bytes entries;
    uint32_t count = 0, entryBytes = 0;
  };

  std::optional<GptHeader> ReadGptHeader(uint64_t lba) {
    std::optional<Bytes> h = Sector(lba);
    if (!h || std::memcmp(h->data(), "EFI PART", 8) != 0) return std::nullopt;
    const uint32_t headerBytes = le::U32(h->data() + 12);
    if (headerBytes < kLeastGptHeader || headerBytes > h->size()) return std::nullopt;
    const uint32_t stored = le::U32(h->data() + 16);
    std::memset(h->data() + 16, 0, 4);
    if (crc::Ieee(h->data(), headerBytes) != stored || le::U64(h->data() + 24) != lba)
      return std::nullopt;
    GptHeader header;
    const uint64_t firstUsable = header.firstUsable = le::U64(h->data() + 40);
    header.lastUsable = le::U64(h->data() + 48);
    const uint64_t entriesAt = le::U64(h->data() + 72);
    header.count = le::U32(h->data() + 80);
    header.entryBytes = le::U32(h->data() + 84);
    if (firstUsable > header.lastUsable || header.lastUsable >= m_sectors ||
        header.entryBytes < 128 || header.entryBytes % 8 != 0 ||
        uint64_t{header.count} * header.entryBytes > kMostEntryBytes)
      return std::nullopt;
    const uint64_t bytes = uint64_t{header.count} * header.entryBytes;
    const uint64_t sectors = (bytes + m_size.Bytes() - 1) / m_size.Bytes();
    std::optional<Bytes> entries = Sector(entriesAt, sectors);
    if (!entries ||
        crc::Ieee(entries->data(), static_cast<size_t>(bytes)) != le::U32(h->data() + 88))
      return std::nullopt;
    header.entries = std::move(*entries);
    return header;
  }

  GptHeaderRead ReadGpt(DriveLayout& layout) {
    GptHeaderRead read = GptHeaderRead::Primary;
    std::optional<GptHeader> header = ReadGptHeader(1);
    if (!header && m_sectors > 0) {
      header = ReadGptHeader(m_sectors - 1);
      read = GptHeaderRead::Backup;
    }
    if (!header) return GptHeaderRead::Neither;
    layout.usableEnd = m_size.Of(Sectors(header->lastUsable + 1));
    layout.usableStart = m_size.Of(Sectors(header->firstUsable));
    layout.entrySlots = header->count;
    static const uint8_t kUnused[16] = {};
    for (uint32_t i = 0; i < header->count; ++i) {
      const uint8_t* e = header->entries.data() + uint64_t{i} * header->entryBytes;
      if (std::memcmp(e, kUnused, 16) == 0) continue;
      ++layout.entriesUsed;
      const uint64_t first = le::U64(e + 32), last = le::U64(e + 40);
      if (last < first) continue;
      Partition p;
      p.number = i + 1;
      p.gptType = GuidText(e);
      p.active = (le::U64(e + 48) & kGptLegacyBiosBootable) != 0;
      Add(layout, std::move(p), first, last - first + 1);  // the count wraps only past the disk
    }
    return read;
  }

  ByteSource& m_disk;
  SectorSize m_size;
  uint64_t m_sectors;
};

}  // namespace

bool IsMbr(const uint8_t* sector) {
  if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
  for (int i = 0; i < 4; ++i)
    if (sector[kMbrEntries + 16 * i] != 0 && sector[kMbrEntries + 16 * i] != 0x80) return false;
  return true;
}

TableReading ReadPartitionTable(ByteSource& disk, SectorSize sectorSize) {
  if (sectorSize.Bytes() < 512) return {};
  return TableReader(disk, sectorSize).Read();
}
