#include "inspect/drive_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "disk/free_space.h"
#include "platform/device.h"
#include "sim_fixture.h"

namespace {

// The answer's own fields are untrusted: what they cannot mean is no partition, or no table.
TEST(DriveLayoutTest, EntriesThatCannotBeAreNone) {
  std::vector<BYTE> answer(48 + 3 * 144, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&answer[at], &v, 4); };
  auto put64 = [&](size_t at, int64_t v) { std::memcpy(&answer[at], &v, 8); };
  put32(0, PARTITION_STYLE_MBR);
  put32(4, 3);
  for (size_t i = 0; i < 3; ++i) {
    const size_t e = 48 + i * 144;
    put64(e + 8, 1048576 * static_cast<int64_t>(i + 1));
    put64(e + 16, 1048576);
    put32(e + 24, static_cast<uint32_t>(i + 1));
    answer[e + 32] = 0x07;
  }
  put64(48 + 8, -512);         // before the disk's first byte
  put32(48 + 144, 1);          // a GPT entry in an MBR table
  const auto layout = ParseDriveLayout(answer.data(), answer.size() - 1, SectorSize(512), 1ull << 30);
  ASSERT_TRUE(layout.has_value());
  EXPECT_TRUE(layout->partitions.empty()) << "the third entry did not come back whole";
  EXPECT_EQ(ParseDriveLayout(answer.data(), answer.size(), SectorSize(512), 1ull << 30)->partitions.size(), 1u);
  put32(0, 7);  // no style Windows knows
  EXPECT_FALSE(ParseDriveLayout(answer.data(), answer.size(), SectorSize(512), std::nullopt).has_value());
  EXPECT_FALSE(ParseDriveLayout(answer.data(), 47, SectorSize(512), std::nullopt).has_value());
}


// Where BIOS looks for what to start, as Windows' layout says it: MBR's BootIndicator, GPT's
// legacy BIOS bootable attribute (bit 2); GPT's other attributes (platform required, bit 0;
// no drive letter, bit 63) are not it.
TEST(DriveLayoutTest, ActiveIsBootIndicatorOrTheLegacyBiosAttribute) {
  const struct {
    uint32_t style;
    uint64_t attributes;
    uint8_t bootIndicator;
    bool active;
  } cases[] = {{PARTITION_STYLE_MBR, 0, 1, true},
               {PARTITION_STYLE_MBR, 0, 0, false},
               {PARTITION_STYLE_GPT, 1ull << 2, 0, true},
               {PARTITION_STYLE_GPT, 1ull | 1ull << 63, 0, false}};
  for (const auto& c : cases) {
    PARTITION_INFORMATION_EX entry{};
    std::vector<BYTE> answer(48 + sizeof entry, 0);
    entry.PartitionStyle = static_cast<PARTITION_STYLE>(c.style);
    entry.StartingOffset.QuadPart = 1048576;
    entry.PartitionLength.QuadPart = 1048576;
    entry.PartitionNumber = 1;
    if (c.style == PARTITION_STYLE_MBR) {
      entry.Mbr.PartitionType = 0x07;
      entry.Mbr.BootIndicator = c.bootIndicator;
    } else {
      std::memset(&entry.Gpt.PartitionType, 0xAB, sizeof entry.Gpt.PartitionType);
      entry.Gpt.Attributes = c.attributes;
    }
    std::memcpy(&answer[0], &c.style, 4);
    const uint32_t count = 1;
    std::memcpy(&answer[4], &count, 4);
    std::memcpy(&answer[48], &entry, sizeof entry);
    const auto layout = ParseDriveLayout(answer.data(), answer.size(), SectorSize(512), 1ull << 30);
    ASSERT_TRUE(layout && layout->partitions.size() == 1);
    EXPECT_EQ(layout->partitions[0].active, c.active) << c.style << " " << c.attributes;
  }
}

using DriveLayoutSimTest = SimTest;

// Windows' own layout is where a machine's free space comes from: a LUN grown since its GPT
// was written keeps its usable area where the table says, and an MBR's logical room is
// read behind each record Windows lists.
TEST_F(DriveLayoutSimTest, FreeSpaceFollowsWindowsLayout) {
  sim::AddAtaDrive(machine, 0, "GROWN LUN", "", "", 0x6003, 0x4000);
  sim::Drive& grown = machine.drives[0];
  grown.sectorCount = 16 << 20;  // 8 GiB now
  grown.layout.gptWrittenFor = 8 << 20;  // its table written at 4 GiB
  sim::AddPartition(machine, 0, sim::PartitionTable::Gpt, {2048, 1000001, 0, sim::gpt::kLinuxFileSystem});
  sim::AddAtaDrive(machine, 1, "LOGICALS", "", "", 0x6003, 0x4000);
  for (uint64_t start : {2111, 20000})
    sim::AddPartition(machine, 1, sim::PartitionTable::Mbr, {start, 4000, 0x07, "", true});
  const auto read = [&](uint32_t number) {
    Device drive("\\\\.\\PhysicalDrive" + std::to_string(number), GENERIC_READ, 0);
    return ReadDriveLayout(drive, SectorSize(512), machine.drives[number].sectorCount * 512);
  };
  const std::optional<DriveLayout> gpt = read(0), mbr = read(1);
  ASSERT_TRUE(gpt && mbr);
  const auto regions = [](const DriveLayout& layout) {
    Disk disk;
    disk.sectorSize = layout.sectorSize;
    disk.grid = Alignment(Sectors(0), 8);
    disk.layout = &layout;
    std::vector<std::pair<uint64_t, uint64_t>> out;
    for (const FreeRegion& r : FreeRegions(disk).value_or(std::vector<FreeRegion>{}))
      out.emplace_back(r.range.start.value, r.range.End().value);
    return out;
  };
  // The usable area ends 33 sectors before the size the table was written for.
  EXPECT_EQ(regions(*gpt), (std::vector<std::pair<uint64_t, uint64_t>>{
                               {34, 2048}, {1002049, (8 << 20) - 33}}));
  EXPECT_EQ(gpt->entrySlots, 128u);
  // Records a track before each logical partition, as the machine lays them.
  EXPECT_EQ(mbr->records.size(), 2u);
  EXPECT_EQ(regions(*mbr), (std::vector<std::pair<uint64_t, uint64_t>>{
                               {1, 2048}, {2049, 2111}, {6111, 19937}, {19938, 20000},
                               {24000, uint64_t{1} << 32}}));
}

}  // namespace
