#include "disk/advice.h"

#include <gtest/gtest.h>

#include "disk/disk.h"
#include "units_print.h"

namespace {

// A disk of 512-byte sectors whose physical sectors hold `spp`, starting where L ≡ phase.
Disk DiskOf(uint16_t spp, uint16_t phase) {
  Disk disk;
  disk.sectorSize = SectorSize(512);
  disk.grid = Alignment(Sectors(phase), spp);
  return disk;
}

template <class T>
std::optional<T> Of(std::optional<uint64_t> n) {
  return n ? std::optional<T>(T(*n)) : std::nullopt;
}

// Where a misaligned volume or partition should start, what room each start leaves, and
// whether to format it again. A start is written with its room: 64 fits, 64 shrinking 1,
// 2048 with no room, or with the room unknown.
struct Start {
  uint64_t sector;
  Fit fit;
  uint64_t shrinkBy = 0;
};
bool operator==(const Start& a, const Start& b) {
  return a.sector == b.sector && a.fit == b.fit && a.shrinkBy == b.shrinkBy;
}
std::ostream& operator<<(std::ostream& out, const Start& s) {
  return out << s.sector << " fit " << static_cast<int>(s.fit) << " shrink " << s.shrinkBy;
}

TEST(AdviceTest, EachStartWithItsRoomAndWhetherToFormatAgain) {
  const std::optional<uint64_t> none;
  const std::optional<Start> nowhere;
  const Fit fits = Fit::Fits, shrinks = Fit::Shrinks, noRoom = Fit::NoRoom, unknown = Fit::Unknown;
  const struct {
    const char* what;
    uint16_t spp, phase;  // phase: L starts a physical sector when L ≡ phase
    uint64_t start;
    std::optional<uint64_t> dataOffset, length, limit, clusterBytes;
    bool formatLaysDataArea;
    std::optional<Start> moveTo, moveToMiB;
    std::optional<uint64_t> formatWith;
    bool format;
  } cases[] = {
      {"512e at 63, before C: at 2048", 8, 8, 63, 0, 1985, 2048, 4096, false,
       Start{64, shrinks, 1}, Start{2048, noRoom}, none, false},
      {"LBA 0 one sector into a physical sector: no 1 MiB start aligns", 8, 7, 60, 0, 100, 10000,
       4096, false, Start{63, fits}, nowhere, none, false},
      {"FAT whose data area is whole physical sectors from its start: a move", 8, 8, 63, 2032,
       100, 10000, 4096, true, Start{64, fits}, Start{2048, fits}, none, false},
      {"FAT whose data area is not, on the grid: format again", 8, 8, 2048, 2030, 100, 10000,
       4096, true, nowhere, nowhere, none, true},
      {"exFAT, its cluster heap off the grid", 8, 8, 2048, 6141, none, none, 32768, true,
       nowhere, nowhere, none, true},
      {"FAT off the grid both ways: move the start, format again", 8, 8, 63, 2030, 100, 10000,
       4096, true, Start{64, fits}, Start{2048, fits}, none, true},
      {"an EFI system partition: by its data, never formatted", 8, 8, 34, 64, 2014, 2048, none,
       false, Start{40, shrinks, 6}, Start{2048, noRoom}, none, false},
      {"clusters smaller than the physical sector, on the grid: only the format", 8, 8, 2048, 0,
       100, 10000, 2048, false, nowhere, nowhere, 4096, true},
      {"clusters too small, off the grid too: both", 8, 8, 63, 0, 100, 10000, 512, false,
       Start{64, fits}, Start{2048, fits}, 4096, true},
      {"past the next partition's start: no room", 8, 8, 1000001, 0, 1000, 1001001, none, false,
       Start{1000008, shrinks, 7}, Start{1001472, noRoom}, none, false},
      {"nothing known of what follows", 8, 8, 63, 0, 1985, none, none, false,
       Start{64, unknown}, Start{2048, unknown}, none, false},
      {"16 KiB physical sectors: starts on 16 KiB, clusters against 4 KiB", 32, 32, 206856, 0,
       2097152, 4000000, 4096, false, Start{206880, fits}, Start{208896, fits}, none, false},
      {"nothing known of where its data lies", 8, 8, 63, none, none, none, none, false, nowhere,
       nowhere, none, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    AdviceFacts facts;
    facts.start = ByteCount(c.start * 512);
    facts.dataOffset = Of<Sectors>(c.dataOffset);
    facts.length = Of<ByteCount>(c.length ? std::optional<uint64_t>(*c.length * 512) : std::nullopt);
    facts.limit = Of<ByteCount>(c.limit ? std::optional<uint64_t>(*c.limit * 512) : std::nullopt);
    facts.clusterBytes = c.clusterBytes;
    facts.formatLaysDataArea = c.formatLaysDataArea;
    const std::optional<Advice> advice = Advise(facts, DiskOf(c.spp, c.phase));
    if (!c.moveTo && !c.format) {
      EXPECT_FALSE(advice.has_value());
      continue;
    }
    ASSERT_TRUE(advice.has_value());
    const auto start = [](std::optional<Sectors> sector, const Room& room) {
      return sector ? std::optional<Start>(Start{sector->value, room.fit, room.shrinkBy.value})
                    : std::nullopt;
    };
    EXPECT_EQ(start(advice->moveTo, advice->moveToRoom), c.moveTo);
    EXPECT_EQ(start(advice->moveToMiB, advice->moveToMiBRoom), c.moveToMiB);
    EXPECT_EQ(advice->clusterBytes, c.formatWith);
    EXPECT_EQ(advice->format, c.format);
    if (c.moveTo) {
      EXPECT_EQ(advice->moveByBytes, ByteCount((c.moveTo->sector - c.start) * 512));
    }
  }
}

}  // namespace
