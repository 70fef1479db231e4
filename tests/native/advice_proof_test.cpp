// The advice acted on. Each start the advice says has room is applied to the disk (the
// partition moved there, shrunk by the count it gives) and checked, with code of its own,
// against the table the disk reports: it overlaps no other partition, container or link,
// stays inside its extended container and the usable area; and scanned again, its volume is
// aligned. A start said to have no room overlaps something.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>

#include "inspect/scan.h"
#include "platform/device.h"
#include "platform/sys.h"
#include "sim/builders.h"
#include "sim/lab.h"
#include "sim/machine.h"

namespace {

// What a disk reports of its table, read raw: every used entry (containers and links too)
// as sectors [start, end), and where partitions may lie.
struct Region {
  uint64_t start, end;
};
struct ReportedTable {
  std::vector<Region> used;
  uint64_t usableFirst = 1, usableEnd = 0;
};

ReportedTable Reported(uint32_t disk, uint32_t sector) {
  ReportedTable table;
  HANDLE h = sys::CreateFileA(PhysicalDrivePath(disk).c_str(), 0, 3, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  std::vector<BYTE> answer(48 + 1024 * 144);
  DISK_GEOMETRY_EX geometry = {};
  DWORD returned = 0;
  EXPECT_TRUE(sys::DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, answer.data(),
                                   static_cast<DWORD>(answer.size()), &returned, nullptr));
  EXPECT_TRUE(sys::DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry,
                                   sizeof geometry, &returned, nullptr));
  sys::CloseHandle(h);
  DRIVE_LAYOUT_INFORMATION_EX header;
  std::memcpy(&header, answer.data(), 48);
  const uint64_t disk_sectors = static_cast<uint64_t>(geometry.DiskSize.QuadPart) / sector;
  if (header.PartitionStyle == PARTITION_STYLE_GPT) {
    table.usableFirst = static_cast<uint64_t>(header.Gpt.StartingUsableOffset.QuadPart) / sector;
    table.usableEnd =
        table.usableFirst + static_cast<uint64_t>(header.Gpt.UsableLength.QuadPart) / sector;
  } else {
    table.usableEnd = std::min<uint64_t>(disk_sectors, 1ull << 32);  // MBR counts 32 bits
  }
  for (DWORD i = 0; i < header.PartitionCount; ++i) {
    PARTITION_INFORMATION_EX e;
    std::memcpy(&e, answer.data() + 48 + i * 144, sizeof e);
    if (e.PartitionLength.QuadPart <= 0) continue;  // an unused MBR slot
    const auto start = static_cast<uint64_t>(e.StartingOffset.QuadPart) / sector;
    table.used.push_back({start, start + static_cast<uint64_t>(e.PartitionLength.QuadPart) / sector});
  }
  return table;
}

// What is wrong with the partition that was [from.start, from.end) lying at `to`; empty
// when nothing is. The entries that held it (its extended container, the link to it) must
// still hold it; no other may meet it.
std::string Trouble(const ReportedTable& table, Region from, Region to) {
  if (to.start < table.usableFirst || to.end > table.usableEnd) return "outside the usable area";
  for (const Region& r : table.used) {
    if (r.start == from.start && r.end == from.end) continue;  // itself
    const bool held = r.start <= from.start && from.end <= r.end;
    if (held && !(r.start <= to.start && to.end <= r.end)) return "out of what held it";
    if (!held && to.start < r.end && r.start < to.end)
      return "over [" + std::to_string(r.start) + ", " + std::to_string(r.end) + ")";
  }
  return "";
}

// Moves what lies on disk `disk` from `from` to `to`: its table entry, the volume on it and
// the sectors it holds, as a partition tool does.
void Move(sim::Machine& m, uint32_t disk, Region from, Region to) {
  sim::Drive& d = m.drives[disk];
  for (sim::PartitionEntry& e : d.layout.partitions)
    if (e.start == from.start) e.start = to.start, e.length = to.end - to.start;
  const auto offset = static_cast<int64_t>(from.start * d.sectorSize);
  const auto moveVolume = [&](sim::Volume& v) {
    if (v.hostDrive == disk && v.startingOffset == offset && v.extents.empty())
      v.startingOffset = static_cast<int64_t>(to.start * d.sectorSize);
  };
  for (auto& [letter, v] : m.letters) moveVolume(v);
  for (auto& [name, v] : m.unlettered) moveVolume(v);
  std::map<uint64_t, sim::Bytes> moved;
  for (auto& [lba, bytes] : d.sectors) {
    const bool inside = lba >= from.start && lba < from.end;
    moved[inside ? lba - from.start + to.start : lba] = bytes;
  }
  d.sectors = moved;
}

struct Acted {
  int fitting = 0, shrunk = 0, noRoom = 0;
};

// Acts on one piece of advice for what lies at `from` on disk `disk` of the machine `build`
// makes: each start with room moved to and judged again by `verdict`; each without, checked
// to meet something.
void ActOn(const std::function<void(sim::Machine&)>& build, uint32_t disk, Region from,
           const Advice& advice,
           const std::function<Verdict(sim::Machine&, Region)>& verdict, Acted& acted) {
  sim::Machine m;
  sim::Installation in(m);
  build(m);
  const ReportedTable table = Reported(disk, m.drives[disk].sectorSize);
  const std::pair<std::optional<Sectors>, Room> starts[] = {
      {advice.moveTo, advice.moveToRoom}, {advice.moveToMiB, advice.moveToMiBRoom}};
  for (const auto& [sector, room] : starts) {
    if (!sector) continue;
    const uint64_t* start = &sector->value;
    SCOPED_TRACE("to " + std::to_string(*start));
    ASSERT_NE(room.fit, Fit::Unknown) << "every disk here reports what follows";
    if (room.fit == Fit::NoRoom) {
      EXPECT_NE(Trouble(table, from, {*start, *start + 1}), "") << "said to have no room";
      ++acted.noRoom;
      continue;
    }
    const Region to{*start, *start + (from.end - from.start) - room.shrinkBy.value};
    EXPECT_EQ(Trouble(table, from, to), "");
    (room.fit == Fit::Fits ? acted.fitting : acted.shrunk)++;
    sim::Machine again;
    sim::Installation there(again);
    build(again);
    Move(again, disk, from, to);
    EXPECT_EQ(verdict(again, to), Verdict::Aligned);
  }
}

// Where a partition lies, in its disk's sectors.
Region SectorsOf(const DriveLayout& layout, const Partition& p) {
  const uint64_t start = layout.SectorOf(p.start).value;
  return {start, start + layout.SectorOf(p.length).value};
}

// The verdict of the row named `name` on the installed machine.
Verdict RowVerdict(const std::string& name, AccessMode mode = AccessMode::Raw) {
  CScan scan(mode);
  Verdict verdict = Verdict::Undetermined;
  while (!scan.Finished())
    if (auto row = scan.Step(); row && row->name == name) verdict = row->verdict;
  return verdict;
}

// One subject volume D: on disk 0 among the partitions of a place, for each pairing of
// sector sizes: the starts are counted in the disk's own sectors.
struct Geometry {
  const char* name;
  DWORD logical, physical, offset;
};
struct Place {
  const char* name;
  sim::PartitionTable style;
  uint64_t sectors;                          // the disk's
  std::vector<sim::PartitionEntry> others;   // around the subject
  sim::PartitionEntry subject;
  bool dynamic;                              // the subject's volume lies inside an LDM partition
};

void Build(sim::Machine& m, const Geometry& g, const Place& p, Region at) {
  sim::AddStorageDrive(m, 0, "PROOF", g.name, g.logical, g.physical, g.offset);
  m.drives[0].sectorCount = p.sectors;
  for (const sim::PartitionEntry& e : p.others) sim::AddPartition(m, 0, p.style, e);
  sim::VolumeLayout v;
  v.letter = 'D';
  v.startSector = at.start;
  v.sectors = at.end - at.start;
  v.table = p.style;
  v.logical = p.subject.logical;
  v.mbrType = p.subject.mbrType;
  v.bootSector = sim::BuildNtfsBootSector(static_cast<uint16_t>(g.logical), 8,
                                          static_cast<uint32_t>(at.start));
  if (p.dynamic) v.pieces = {{0, at.start, (at.end - at.start) / 2}};
  sim::PlaceVolume(m, v);
}

TEST(AdviceProofTest, EveryStartWithRoomAlignsAndOverlapsNothing) {
  const Geometry geometries[] = {{"512/512", 512, 512, 0},
                                 {"512/4096", 512, 4096, 0},
                                 {"512/4096, sector 0 one sector in", 512, 4096, 512},
                                 {"4096/4096", 4096, 4096, 0},
                                 {"512/16384", 512, 16384, 0}};
  const Place places[] = {
      {"an MBR primary before the next", sim::PartitionTable::Mbr, 1u << 22,
       {{4096, 2048, 0x83, "", false}}, {2049, 2047, 0x07, "", false}, false},
      {"an MBR primary with room behind it", sim::PartitionTable::Mbr, 1u << 22,
       {{8192, 2048, 0x83, "", false}}, {2049, 1000, 0x07, "", false}, false},
      {"a logical partition at its container's end", sim::PartitionTable::Mbr, 1u << 22,
       {{2048, 2048, 0x07, "", false}, {8192, 2048, 0x83, "", true}},
       {12289, 4096, 0x07, "", true}, false},
      {"GPT's last partition, up to its usable end", sim::PartitionTable::Gpt, 20000, {},
       {2049, 17918, 0, "", false}, false},
      {"before an entry past the disk's end", sim::PartitionTable::Gpt, 20000,
       {{8192, 100000, 0, "", false}}, {2049, 6143, 0, "", false}, false},
      {"a dynamic volume at its LDM partition's first byte", sim::PartitionTable::Mbr, 1u << 22,
       {{2049, 100000, 0x42, "", false}}, {2049, 100000, 0x42, "", false}, true},
  };
  Acted acted;
  for (const Geometry& g : geometries) {
    for (const Place& p : places) {
      SCOPED_TRACE(std::string(g.name) + ", " + p.name);
      const Region from{p.subject.start, p.subject.start + p.subject.length};
      const auto build = [&](sim::Machine& m) { Build(m, g, p, from); };
      std::optional<ScanRow> row;
      {
        sim::Machine m;
        sim::Installation in(m);
        build(m);
        g_drives.Clear();
        CScan scan;
        while (!scan.Finished())
          if (auto r = scan.Step(); r && r->letter == 'D') row = std::move(r);
      }
      ASSERT_TRUE(row.has_value());
      // One logical sector per physical is aligned wherever it starts.
      if (g.logical == g.physical) {
        EXPECT_EQ(row->verdict, Verdict::Aligned);
        continue;
      }
      EXPECT_EQ(row->verdict, Verdict::Misaligned);
      if (p.dynamic) {
        EXPECT_FALSE(row->advice.has_value()) << "its LDM partition is no volume's to move";
        continue;
      }
      ASSERT_TRUE(row->advice.has_value());
      ActOn(build, 0, from, *row->advice,
            [](sim::Machine&, Region) {
              g_drives.Clear();
              return RowVerdict("D:");
            },
            acted);
    }
  }
  // The matrix holds every kind of start.
  EXPECT_GT(acted.fitting, 0);
  EXPECT_GT(acted.shrunk, 0);
  EXPECT_GT(acted.noRoom, 0);
}

// The lab's own advice to move, for its volumes and its partitions without a row.
TEST(AdviceProofTest, TheLabsAdviceAlignsWhatItIsGiven) {
  struct Advised {
    std::string name;  // a row's, or "disk N part M"
    uint32_t disk;
    Region from;
    Advice advice;
  };
  std::vector<Advised> advised;
  {
    sim::Machine m;
    sim::Installation in(m);
    sim::BuildLab(m);
    g_drives.Clear();
    CScan scan;
    std::vector<ScanRow> rows;
    while (!scan.Finished())
      if (auto row = scan.Step()) rows.push_back(std::move(*row));
    for (const ScanRow& row : rows) {
      if (!row.advice || !row.advice->moveTo) continue;
      const DriveLayout& layout = *g_drives[*row.drive].layout;
      const Partition* p = nullptr;
      for (const Partition& q : layout.partitions)
        if (q.row == row.name) p = &q;
      ASSERT_NE(p, nullptr) << row.name;
      advised.push_back({row.name, row.drive->value, SectorsOf(layout, *p), *row.advice});
    }
    for (DiskNumber disk : g_drives.Listed())
      for (const Partition& p : g_drives[disk].layout->partitions)
        if (p.row.empty() && p.advice && p.advice->moveTo)
          advised.push_back({"disk " + std::to_string(disk.value) + " part " + std::to_string(p.number),
                             disk.value, SectorsOf(*g_drives[disk].layout, p), *p.advice});
  }
  ASSERT_GE(advised.size(), 7u);
  Acted acted;
  for (const Advised& a : advised) {
    SCOPED_TRACE(a.name);
    ActOn([](sim::Machine& m) { sim::BuildLab(m); }, a.disk, a.from, a.advice,
          [&](sim::Machine&, Region to) {
            g_drives.Clear();
            if (a.name.rfind("disk ", 0) != 0) return RowVerdict(a.name);
            CScan scan;
            while (!scan.Finished()) scan.Step();
            const DriveLayout& layout = *g_drives[DiskNumber(a.disk)].layout;
            for (const Partition& p : layout.partitions)
              if (layout.SectorOf(p.start).value == to.start)
                return p.verdict.value_or(Verdict::Undetermined);
            return Verdict::Undetermined;
          },
          acted);
  }
  EXPECT_GT(acted.fitting + acted.shrunk, 0);
  EXPECT_GT(acted.noRoom, 0);
}

}  // namespace
