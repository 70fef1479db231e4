#include "inspect/drive_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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

}  // namespace
