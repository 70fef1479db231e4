#include "disk/sector_size_move.h"

#include <algorithm>

#include "disk/boot_sector.h"
#include "disk/little_endian.h"
#include "disk/partition_table.h"

namespace {

constexpr uint64_t k4K = 4096;
constexpr uint64_t kGptFirstUsableAt4K = 6 * k4K;  // 24,576: 2 sectors and 4 of entries
constexpr uint64_t kGptBackupAt4K = 5 * k4K;       // 20,480: 4 of entries and the header
constexpr uint64_t kLeastEsp4Kn = 260ull << 20;    // FAT32 of 4 KiB sectors: 65,525 clusters

class Mover {
 public:
  Mover(const Disk& disk, const MoveFacts& facts) : m_disk(disk), m_facts(facts) {
    m_move.to = disk.sectorSize.Bytes() == 512 ? 4096 : 512;
  }

  SectorSizeMove Run() {
    const DriveLayout* layout = m_disk.layout;
    // Nothing else can be read of a guest its container counts in the wrong unit.
    if (m_facts.guestLaidOutIn != 0 && m_facts.guestLaidOutIn != m_disk.sectorSize.Bytes()) {
      Add(MoveItemKind::GuestSectorsDiffer, 0, m_facts.guestLaidOutIn, MoveVerdict::NotReady);
      return m_move;
    }
    const bool table = layout && layout->style != PartitionStyle::Raw;
    if (m_move.to == 4096 && table) Places(*layout);
    if (m_move.to == 4096 && m_facts.diskBytes % k4K != 0)
      Add(MoveItemKind::SizeOff4K, 0, m_facts.diskBytes, MoveVerdict::NotReady);
    if (table) Add(MoveItemKind::TableRewrite, 0, 0, MoveVerdict::NeedsTableRewrite);
    for (const auto& [partition, recorded] : m_facts.fileSystems) {
      const bool old = m_move.to == 4096 ? recorded.bytes < 4096 : !recorded.blockSize && recorded.bytes == 4096;
      if (!old) continue;
      // At 512 a file system of 4096-byte sectors is named, with no claim about mounting.
      Add(MoveItemKind::FileSystemRecords, partition, recorded.bytes,
          m_move.to == 4096 ? MoveVerdict::NeedsReformat : MoveVerdict::Ready, recorded.fileSystem);
    }
    for (uint32_t partition : m_facts.unread)
      Add(MoveItemKind::FileSystemUnread, partition, 0, MoveVerdict::Ready);
    if (m_move.to == 4096 && m_facts.physical4Kn) Physical(layout);
    // No table and no file system that records a size: nothing tells whether it can move.
    if (!table && m_facts.fileSystems.empty() && m_move.verdict == MoveVerdict::Ready) m_told = false;
    return m_move;
  }

  bool Told() const { return m_told; }

 private:
  void Add(MoveItemKind kind, uint32_t partition, uint64_t value, MoveVerdict raises,
           std::string fileSystem = "") {
    m_move.items.push_back({kind, partition, value, std::move(fileSystem)});
    m_move.verdict = std::max(m_move.verdict, raises);
  }

  // Every start and length on 4 KiB (the first that is not), a GPT's first usable and
  // backup at 4096, an MBR's records on 4 KiB and outside every partition.
  void Places(const DriveLayout& layout) {
    for (const Partition& p : layout.partitions) {
      if (p.start.value % k4K != 0)
        return Add(MoveItemKind::StartOff4K, p.number, p.start.value, MoveVerdict::NotReady);
      if (p.length.value % k4K != 0)
        return Add(MoveItemKind::LengthOff4K, p.number, p.start.value + p.length.value,
                   MoveVerdict::NotReady);
    }
    for (const Partition& p : layout.style == PartitionStyle::Gpt ? layout.partitions
                                                                 : std::vector<Partition>{}) {
      if (p.start.value < kGptFirstUsableAt4K)
        Add(MoveItemKind::BelowFirstUsable, p.number, p.start.value, MoveVerdict::NotReady);
      if (m_facts.diskBytes >= kGptBackupAt4K &&
          p.start.value + p.length.value > m_facts.diskBytes - kGptBackupAt4K)
        Add(MoveItemKind::InBackupTable, p.number, p.start.value + p.length.value,
            MoveVerdict::NotReady);
    }
    for (ByteCount record : layout.records) {
      const bool inside = std::any_of(layout.partitions.begin(), layout.partitions.end(),
                                      [&](const Partition& p) {
                                        return p.start <= record && record < p.start + p.length;
                                      });
      if (record.value % k4K != 0 || inside)
        return Add(MoveItemKind::RecordOff4K, 0, record.value, MoveVerdict::NotReady);
    }
  }

  // What a physical 4Kn disk asks besides: UEFI firmware, and an ESP of 260 MiB at least.
  void Physical(const DriveLayout* layout) {
    if (layout)
      for (const Partition& p : layout->partitions)
        if (IsEfiSystem(p) && p.length.value < kLeastEsp4Kn)
          Add(MoveItemKind::EspTooSmall, p.number, p.length.value, MoveVerdict::NeedsReformat);
    if (m_facts.bootsThroughBios) Add(MoveItemKind::BootsThroughBios, 0, 0, MoveVerdict::Ready);
  }

  const Disk& m_disk;
  const MoveFacts& m_facts;
  SectorSizeMove m_move;
  bool m_told = true;
};

}  // namespace

std::optional<SectorSizeMove> MoveSectorSize(const Disk& disk, const MoveFacts& facts) {
  if (disk.sectorSize.Bytes() != 512 && disk.sectorSize.Bytes() != 4096) return std::nullopt;
  Mover mover(disk, facts);
  SectorSizeMove move = mover.Run();
  // A disk without a table whose file system says nothing: nothing tells whether it can move.
  if (!mover.Told()) return std::nullopt;
  return move;
}

MoveFacts PartitionFacts(const DriveLayout& layout, bool bootCode, uint64_t diskBytes) {
  MoveFacts facts;
  facts.diskBytes = diskBytes;
  facts.bootsThroughBios = layout.style == PartitionStyle::Mbr && bootCode;
  for (const Partition& p : layout.partitions) {
    facts.bootsThroughBios = facts.bootsThroughBios || p.active || p.gptType == kBiosBootType;
    if (p.recorded)
      facts.fileSystems.emplace_back(p.number, *p.recorded);
    else if ((HasDataToAlign(p) || HoldsOtherVolumes(p)) && p.gptType != kBiosBootType)
      facts.unread.push_back(p.number);
  }
  return facts;
}
