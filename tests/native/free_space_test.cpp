#include "disk/free_space.h"

#include <gtest/gtest.h>

#include "disk/partition_table.h"

namespace {

// A disk of `sectors` logical sectors of `sector` bytes, 8 to a physical one at 512.
struct TestDisk {
  DriveLayout layout;
  Disk disk;
  TestDisk(PartitionStyle style, uint32_t sector, uint64_t sectors) {
    layout.style = style;
    layout.sectorSize = SectorSize(sector);
    layout.usableStart = layout.sectorSize.Of(Sectors(style == PartitionStyle::Gpt ? 34 : 1));
    layout.diskEnd = layout.sectorSize.Of(Sectors(sectors));
    const uint64_t reach = style == PartitionStyle::Mbr ? std::min<uint64_t>(sectors, uint64_t{1} << 32) : sectors - 33;
    layout.usableEnd = layout.sectorSize.Of(Sectors(reach));
    layout.entrySlots = style == PartitionStyle::Mbr ? 4 : 128;
    disk.sectorSize = layout.sectorSize;
    disk.grid = Alignment(Sectors(0), sector == 512 ? 8 : 1);
    disk.layout = &layout;
  }
  TestDisk& Add(uint64_t start, uint64_t length, uint8_t type = 0x07, bool logical = false) {
    Partition p;
    p.mbrType = type;
    p.start = layout.sectorSize.Of(Sectors(start));
    p.length = layout.sectorSize.Of(Sectors(length));
    if (logical) p.containerEnd = layout.extended->end;
    layout.partitions.push_back(p);
    layout.entriesUsed += logical ? 0 : 1;
    return *this;
  }
  TestDisk& Extended(uint64_t start, uint64_t end, std::vector<uint64_t> records) {
    layout.extended = DriveLayout::Span{layout.sectorSize.Of(Sectors(start)), layout.sectorSize.Of(Sectors(end))};
    for (uint64_t r : records) layout.records.push_back(layout.sectorSize.Of(Sectors(r)));
    ++layout.entriesUsed;
    return *this;
  }
};

// One region as a line: start, length, grid start and room, MiB start and room, Windows'
// start, and what blocks it ("-" for a start that is none).
std::string Line(const FreeRegion& r) {
  const auto at = [](const std::optional<Sectors>& s) { return s ? std::to_string(s->value) : "-"; };
  const char* blocked[] = {"", " full", " past-mbr", " other-volumes", " too-small"};
  return std::to_string(r.range.start.value) + "+" + std::to_string(r.range.length.value) +
         (r.logical ? " logical" : "") + (r.head ? " head" : "") +
         (r.onGrid == true ? " on-grid" : "") + " grid " + at(r.gridStart) + "/" +
         std::to_string(r.gridRoom.value) + " mib " + at(r.mibStart) + "/" +
         std::to_string(r.mibRoom.value) + " windows " + at(r.windowsStart) +
         blocked[static_cast<int>(r.blocked)];
}

std::vector<std::string> Lines(TestDisk t) {
  t.disk.layout = &t.layout;  // the copy's own
  std::vector<std::string> lines;
  const std::optional<std::vector<FreeRegion>> regions = FreeRegions(t.disk);
  for (const FreeRegion& r : regions.value_or(std::vector<FreeRegion>{})) lines.push_back(Line(r));
  return lines;
}

constexpr uint64_t kGiB = 2097152;  // in 512-byte sectors

TEST(FreeSpaceTest, RegionsOfEachTableShape) {
  const struct {
    const char* what;
    TestDisk disk;
    std::vector<std::string> regions;
  } cases[] = {
      {"an installer's odd end leaves the next start off the grid (a disk under 4 GB: 64 KiB)",
       TestDisk(PartitionStyle::Mbr, 512, kGiB).Add(2048, 204801).Add(409600, 100000),
       {"1+2047 head grid 8/2040 mib -/0 windows 128",
        "206849+202751 grid 206856/202744 mib 208896/200704 windows 206976",
        "509600+1587552 on-grid grid 509600/1587552 mib 509952/1587200 windows 509696"}},
      {"four primaries: no entry left",
       TestDisk(PartitionStyle::Mbr, 512, 8 * kGiB).Add(2048, 2048).Add(4096, 2048).Add(6144, 2048).Add(10240, 2048),
       {"1+2047 head grid 8/2040 mib -/0 windows - full",
        "8192+2048 on-grid grid 8192/2048 mib 8192/2048 windows 8192 full",
        "12288+16764928 on-grid grid 12288/16764928 mib 12288/16764928 windows 12288 full"}},
      {"three primaries and an extended one: logical room behind each record",
       TestDisk(PartitionStyle::Mbr, 512, 8 * kGiB).Add(2048, 2048).Add(4096, 2048).Add(6144, 2048)
           .Extended(8192, 4194304, {8192, 10303}).Add(8255, 2047, 0x07, true).Add(10366, 4096, 0x83, true),
       {"1+2047 head grid 8/2040 mib -/0 windows - full",
        "8193+62 logical grid 8200/55 mib -/0 windows -",
        "10302+1 logical grid -/0 mib -/0 windows - too-small",
        "10304+62 logical on-grid grid 10312/54 mib -/0 windows -",
        "14462+4179842 logical grid 14464/4179840 mib 16384/4177920 windows 18432",
        "4194304+12582912 on-grid grid 4194304/12582912 mib 4194304/12582912 windows 4194304 full"}},
      {"a GPT whose last partition ends short of its last usable sector",
       TestDisk(PartitionStyle::Gpt, 512, 8 * kGiB).Add(2048, 1000001),
       {"34+2014 head grid 40/2008 mib -/0 windows -",
        "1002049+15775134 grid 1002056/15775127 mib 1003520/15773663 windows 1003520"}},
      {"an MBR disk past 2^32 sectors",
       TestDisk(PartitionStyle::Mbr, 512, (1ull << 32) + 4096).Add(2048, (1ull << 32) - 2048),
       {"1+2047 head grid 8/2040 mib -/0 windows -",
        "4294967296+4096 on-grid grid 4294967296/4096 mib 4294967296/4096 windows 4294967296 past-mbr"}},
      {"a 4Kn disk: every start on the grid",
       TestDisk(PartitionStyle::Gpt, 4096, 262144).Add(256, 1001),
       {"34+222 head on-grid grid 34/222 mib -/0 windows 48",
        "1257+260854 on-grid grid 1257/260854 mib 1280/260831 windows 1264"}},
      {"a dynamic disk: its free space is in its database",
       TestDisk(PartitionStyle::Mbr, 512, 8 * kGiB).Add(63, 16000000, 0x42),
       {"1+62 head grid 8/55 mib -/0 windows - other-volumes",
        "16000063+777153 grid 16000064/777152 mib 16001024/776192 windows 16001024 other-volumes"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Lines(c.disk), c.regions) << c.what;
  // No table, or a table whose usable area is not known: no regions, which is not "none".
  TestDisk raw(PartitionStyle::Raw, 512, kGiB), unknown(PartitionStyle::Gpt, 512, kGiB);
  unknown.layout.usableStart.reset();
  for (TestDisk* t : {&raw, &unknown}) EXPECT_FALSE(FreeRegions(t->disk).has_value());
}

}  // namespace
