#include "disk/judge.h"

#include <gtest/gtest.h>

#include "units_print.h"

namespace {

// The one judge over each of its inputs: a data start or why there is none, the grid or
// why there is none, and the clusters against the unit (the physical sector, at most 4 KiB,
// never less than the logical sector).
TEST(JudgeTest, EachInputHasItsSay) {
  const std::optional<uint64_t> none;
  const Verdict A = Verdict::Aligned, M = Verdict::Misaligned, U = Verdict::Undetermined;
  const struct {
    const char* what;
    uint32_t logical;
    uint64_t grain;  // 0: no grid
    std::optional<uint64_t> dataStart, clusterBytes;
    Verdict verdict;
    Undetermined reason;
    std::optional<uint64_t> bytesPast;
  } cases[] = {
      {"on the grid", 512, 8, 2048, 4096, A, Undetermined::None, 0},
      {"off it by three sectors", 512, 8, 2051, 4096, M, Undetermined::None, 1536},
      {"on it, clusters smaller than the physical sector", 512, 8, 2048, 2048, M,
       Undetermined::None, 0},
      {"clusters not judged", 512, 8, 2048, none, A, Undetermined::None, 0},
      {"a 16 KiB physical sector: clusters of 4 KiB suffice", 512, 32, 2048, 4096, A,
       Undetermined::None, 0},
      {"4Kn: every start on the grid", 4096, 1, 7, 4096, A, Undetermined::None, 0},
      {"no data start, clusters too small: misaligned wherever it begins", 512, 8, none, 1024, M,
       Undetermined::None, none},
      {"no data start", 512, 8, none, 4096, U, Undetermined::DataAreaNeedsRights, none},
      {"no grid", 512, 0, 2048, 512, U, Undetermined::FirstSectorPastPhysical, none},
      {"neither: the data start's reason first", 512, 0, none, 512, U,
       Undetermined::DataAreaNeedsRights, none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Disk disk;
    disk.sectorSize = SectorSize(c.logical);
    if (c.grain != 0) disk.grid = Alignment(Sectors(0), c.grain);
    disk.noGrid = Undetermined::FirstSectorPastPhysical;
    DataPlace place;
    if (c.dataStart) place.dataStart = Sectors(*c.dataStart);
    place.whyUnknown = Undetermined::DataAreaNeedsRights;
    place.clusterBytes = c.clusterBytes;
    const Judgement judged = Judge(disk, place);
    EXPECT_EQ(judged.verdict, c.verdict);
    EXPECT_EQ(judged.reason, c.reason);
    EXPECT_EQ(judged.bytesPastPhysicalStart,
              c.bytesPast ? std::optional<ByteCount>(ByteCount(*c.bytesPast)) : std::nullopt);
  }
}

}  // namespace
