#include "disk/partition_table.h"

#include <gtest/gtest.h>

#include "units_print.h"

namespace {

// Where a partition may end if it moves: the nearest of the next start, its extended
// container's end and the usable end; none where nothing after it is known.
TEST(PartitionTableTest, AMoveEndsAtTheNearestOfWhatFollows) {
  const std::optional<uint64_t> none;
  const struct {
    const char* what;
    uint64_t start;
    std::optional<uint64_t> containerEnd, usableEnd, limit;
  } cases[] = {
      {"the next start", 2048, none, 10000, 4096},
      {"its container ends first", 2048, 3000, 10000, 3000},
      {"the usable end comes first", 2048, none, 3500, 3500},
      {"the last partition, the disk's end unknown", 4096, none, none, none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DriveLayout layout;
    layout.starts = {ByteCount(1024), ByteCount(2048), ByteCount(4096)};
    if (c.usableEnd) layout.usableEnd = ByteCount(*c.usableEnd);
    Partition p;
    p.start = ByteCount(c.start);
    if (c.containerEnd) p.containerEnd = ByteCount(*c.containerEnd);
    const std::optional<ByteCount> limit = MoveLimit(layout, p);
    EXPECT_EQ(limit ? std::optional<uint64_t>(limit->value) : none, c.limit);
  }
}

// A GUID as Windows stores it (three fields little-endian, the rest in order), and the names
// of types no table holds.
TEST(PartitionTableTest, GuidsAndTypeNames) {
  const uint8_t esp[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                           0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};
  EXPECT_EQ(GuidText(esp), "C12A7328-F81F-11D2-BA4B-00A0C93EC93B");
  Partition gpt;
  gpt.gptType = GuidText(esp);
  EXPECT_EQ(PartitionTypeName(gpt), "EFI system");
  EXPECT_TRUE(IsEfiSystem(gpt) && HoldsFat(gpt));
  gpt.gptType = "00000000-0000-0000-0000-000000000001";
  EXPECT_EQ(PartitionTypeName(gpt), "unknown");
  Partition mbr;
  mbr.mbrType = 0xA5;
  EXPECT_EQ(PartitionTypeName(mbr), "0xA5");
}

}  // namespace
