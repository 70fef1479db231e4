#include "disk/grid.h"

#include <gtest/gtest.h>

namespace {

// Every grid of small grains and offsets against the sectors it is said to hold, counted one
// by one: what it holds, how far past it a sector lies, its first sector at or after one, the
// grid of sectors on two grids, and the grid moved back.
TEST(GridTest, EachGridHoldsExactlyTheSectorsItNames) {
  constexpr uint64_t kSectors = 240;
  for (uint64_t grain = 1; grain <= 12; ++grain) {
    for (uint64_t offset = 0; offset < grain; ++offset) {
      const Alignment grid(Sectors(offset), grain);
      const auto on = [&](uint64_t s) { return s % grain == offset; };
      for (uint64_t s = 0; s < kSectors; ++s) {
        ASSERT_EQ(grid.Holds(Sectors(s)), on(s)) << grain << " " << offset << " " << s;
        uint64_t next = s;
        while (!on(next)) ++next;
        ASSERT_EQ(grid.FirstAtOrAfter(Sectors(s)), Sectors(next));
        if (s >= grain) {
          ASSERT_TRUE(on(s - grid.Past(Sectors(s))));
        }
        ASSERT_EQ(grid.Before(Sectors(5)).Holds(Sectors(s)), on(s + 5));
      }
      for (uint64_t other = 1; other <= 12; ++other) {
        const Alignment second(Sectors(other / 2), other);
        const std::optional<Alignment> both = grid.Intersect(second);
        bool any = false;
        for (uint64_t s = 0; s < kSectors; ++s) {
          const bool onBoth = on(s) && second.Holds(Sectors(s));
          any = any || onBoth;
          ASSERT_EQ(both && both->Holds(Sectors(s)), onBoth) << grain << " " << other << " " << s;
        }
        // Two grids meet within the product of their grains, or never.
        EXPECT_EQ(both.has_value(), any);
      }
    }
  }
  // The last sector number has no sector of the grid after it.
  EXPECT_EQ(Alignment(Sectors(0), 8).FirstAtOrAfter(Sectors(~uint64_t{0} - 3)), std::nullopt);
}

}  // namespace
