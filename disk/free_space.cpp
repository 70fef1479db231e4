#include "disk/free_space.h"

#include <algorithm>

#include "disk/partition_table.h"

namespace {

// Windows' tools start partitions on 1 MiB on disks over 4 GB, on 64 KiB below (Disk
// Management and diskpart since Vista).
constexpr uint64_t kSmallDiskBytes = 4ull << 30;
constexpr uint64_t kSmallDiskStep = 64 << 10;

// The first multiple of `step` sectors at or after `s`; none past the last sector number.
std::optional<Sectors> NextMultiple(Sectors s, uint64_t step) {
  if (step == 0) return std::nullopt;
  return Alignment(Sectors(0), step).FirstAtOrAfter(s);
}

struct Span {
  Sectors start, end;
};

// The gaps between `used` (sorted here) inside [from, to).
std::vector<Span> Gaps(std::vector<Span> used, Sectors from, Sectors to) {
  std::sort(used.begin(), used.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
  std::vector<Span> gaps;
  Sectors at = from;
  for (const Span& u : used) {
    if (u.end <= at) continue;
    if (u.start >= to) break;
    if (u.start > at) gaps.push_back({at, u.start});
    at = std::max(at, u.end);
  }
  if (at < to) gaps.push_back({at, to});
  return gaps;
}

class Regions {
 public:
  explicit Regions(const Disk& disk) : m_disk(disk), m_layout(*disk.layout) {
    m_size = m_layout.sectorSize;
    const uint64_t bytes = m_layout.diskEnd ? m_layout.diskEnd->value
                           : m_layout.usableEnd ? m_layout.usableEnd->value : 0;
    m_windowsStep = (bytes > kSmallDiskBytes ? kMiB : kSmallDiskStep) / m_size.Bytes();
    for (const Partition& p : m_layout.partitions)
      m_otherVolumes = m_otherVolumes || HoldsOtherVolumes(p);
  }

  std::vector<FreeRegion> Find() {
    const Sectors from = m_size.Of(*m_layout.usableStart);
    const Sectors to = m_size.Of(*m_layout.usableEnd);
    std::vector<Span> outside, inside;
    for (const Partition& p : m_layout.partitions)
      (p.containerEnd ? inside : outside).push_back(SpanOf(p.start, p.length));
    if (const auto& e = m_layout.extended) {
      outside.push_back({m_size.Of(e->start), m_size.Of(e->end)});
      for (ByteCount record : m_layout.records) inside.push_back({m_size.Of(record), m_size.Of(record) + Sectors(1)});
    }
    const bool full = m_layout.entrySlots != 0 && m_layout.entriesUsed >= m_layout.entrySlots;
    std::vector<FreeRegion> regions;
    for (const Span& gap : Gaps(outside, from, to))
      regions.push_back(Region(gap, false, full ? FreeBlock::TableFull : FreeBlock::None));
    if (const auto& e = m_layout.extended)
      for (const Span& gap : Gaps(inside, m_size.Of(e->start), std::min(m_size.Of(e->end), to)))
        regions.push_back(Region(gap, true, FreeBlock::None));
    if (m_layout.style == PartitionStyle::Mbr && m_layout.diskEnd && to < m_size.Of(*m_layout.diskEnd))
      regions.push_back(Region({to, m_size.Of(*m_layout.diskEnd)}, false, FreeBlock::PastMbrReach));
    std::sort(regions.begin(), regions.end(), [](const FreeRegion& a, const FreeRegion& b) {
      return a.range.start < b.range.start;
    });
    const auto first = std::min_element(m_layout.partitions.begin(), m_layout.partitions.end(),
                                        [](const Partition& a, const Partition& b) { return a.start < b.start; });
    for (FreeRegion& r : regions)
      r.head = r.range.start == from &&
               (first == m_layout.partitions.end() || r.range.start < m_size.Of(first->start));
    return regions;
  }

 private:
  Span SpanOf(ByteCount start, ByteCount length) const {
    return {m_size.Of(start), m_size.Of(start + length)};
  }

  FreeRegion Region(Span gap, bool logical, FreeBlock blocked) const {
    FreeRegion r;
    r.range = {gap.start, gap.end - gap.start};
    r.logical = logical;
    r.blocked = m_otherVolumes ? FreeBlock::OtherVolumes : blocked;
    const Sectors earliest = gap.start + Sectors(logical ? 1 : 0);  // after its own record
    const uint64_t mib = kMiB / m_size.Bytes();
    r.onMiB = mib != 0 && gap.start.value % mib == 0;
    if (m_disk.grid) {
      r.onGrid = m_disk.grid->Holds(gap.start);
      r.gridStart = m_disk.grid->FirstAtOrAfter(earliest);
    }
    r.mibStart = NextMultiple(earliest, mib);
    Room(r.gridStart, gap.end, &r.gridRoom);
    Room(r.mibStart, gap.end, &r.mibRoom);
    // Windows puts a logical partition's record on its step and the partition 1 MiB after.
    std::optional<Sectors> windows = NextMultiple(gap.start, m_windowsStep);
    if (windows && logical) windows = *windows + Sectors(mib);
    if (windows && *windows < gap.end) r.windowsStart = windows;
    if (earliest >= gap.end && r.blocked == FreeBlock::None) r.blocked = FreeBlock::TooSmall;
    return r;
  }

  // The room from `start` to `end`; the start dropped where nothing fits.
  static void Room(std::optional<Sectors>& start, Sectors end, Sectors* room) {
    if (start && *start < end)
      *room = end - *start;
    else
      start.reset();
  }

  const Disk& m_disk;
  const DriveLayout& m_layout;
  SectorSize m_size{512};
  uint64_t m_windowsStep = 1;
  bool m_otherVolumes = false;
};

}  // namespace

std::optional<std::vector<FreeRegion>> FreeRegions(const Disk& disk) {
  const DriveLayout* layout = disk.layout;
  if (!layout || layout->style == PartitionStyle::Raw || !layout->usableStart ||
      !layout->usableEnd || layout->sectorSize.Bytes() == 0 || *layout->usableEnd <= *layout->usableStart)
    return std::nullopt;
  return Regions(disk).Find();
}

bool WorthShowing(const FreeRegion& region, SectorSize size) {
  const Sectors room = region.gridStart ? region.gridRoom : region.mibRoom;
  return size.Bytes() != 0 && size.Of(room).value >= kMiB;
}
