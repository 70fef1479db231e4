#include "disk/sector_size_move.h"

#include <gtest/gtest.h>

#include "disk/partition_table.h"
#include "sim/builders.h"

namespace {

constexpr uint64_t kMiB = 1 << 20;

struct Layout {
  DriveLayout layout;
  Layout(PartitionStyle style, std::vector<std::pair<uint64_t, uint64_t>> bytes,
         const char* gptType = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7") {
    layout.style = style;
    uint32_t n = 1;
    for (const auto& [start, length] : bytes) {
      Partition p;
      p.number = n++;
      if (style == PartitionStyle::Gpt) p.gptType = gptType; else p.mbrType = 0x07;
      p.start = ByteCount(start);
      p.length = ByteCount(length);
      layout.partitions.push_back(p);
    }
  }
};

// The verdict and each item's kind, partition and value, as one line.
std::string Moved(const Disk& disk, const MoveFacts& facts) {
  const std::optional<SectorSizeMove> move = MoveSectorSize(disk, facts);
  if (!move) return "none";
  const char* verdicts[] = {"ready", "needs-table-rewrite", "needs-reformat", "not-ready"};
  const char* kinds[] = {"start", "length", "size", "below-first-usable", "in-backup", "record",
                         "table", "file-system", "esp", "bios", "unread", "guest"};
  std::string line = std::to_string(move->to) + " " + verdicts[static_cast<int>(move->verdict)];
  for (const MoveItem& i : move->items)
    line += std::string(" ") + kinds[static_cast<int>(i.kind)] + ":" + std::to_string(i.partition) +
            "@" + std::to_string(i.value) + (i.fileSystem.empty() ? "" : "/" + i.fileSystem);
  return line;
}

TEST(SectorSizeMoveTest, WhatStandsInTheWayOfEachMove) {
  const RecordedSize ntfs512{"NTFS", 512, false}, ntfs4k{"NTFS", 4096, false};
  const RecordedSize ext1k{"ext", 1024, true}, xfs4k{"XFS", 4096, false};
  const struct {
    const char* what;
    uint32_t sector;
    std::optional<Layout> table;
    MoveFacts facts;
    const char* moved;
  } cases[] = {
      {"NTFS made on a 512e disk at 1 MiB: the table, and the file system formatted again", 512,
       Layout(PartitionStyle::Gpt, {{kMiB, 100 * kMiB}}), {1024 * kMiB, {{1, ntfs512}}, false, false, {}, 0},
       "4096 needs-reformat table:0@0 file-system:1@512/NTFS"},
      {"NTFS of 4 KiB sectors at 1 MiB: the table alone", 512,
       Layout(PartitionStyle::Gpt, {{kMiB, 100 * kMiB}}), {1024 * kMiB, {{1, ntfs4k}}, false, false, {}, 0},
       "4096 needs-table-rewrite table:0@0"},
      {"an XP start at 63 sectors: not ready, at the byte", 512,
       Layout(PartitionStyle::Mbr, {{63 * 512, 100 * kMiB}}), {1024 * kMiB, {}, false, false, {}, 0},
       "4096 not-ready start:1@32256 table:0@0"},
      {"a length in 512-byte sectors, a disk size off 4 KiB", 512,
       Layout(PartitionStyle::Mbr, {{kMiB, 100 * kMiB + 512}}), {1024 * kMiB + 512, {}, false, false, {}, 0},
       "4096 not-ready length:1@105906688 size:0@1073742336 table:0@0"},
      {"a GPT start below its first usable at 4096, and an end in its backup table", 512,
       Layout(PartitionStyle::Gpt, {{16384, 4096}, {kMiB, 1023 * kMiB - 16384}}), {1024 * kMiB, {}, false, false, {}, 0},
       "4096 not-ready below-first-usable:1@16384 in-backup:2@1073725440 table:0@0"},
      {"ext4 of 1 KiB blocks cannot be mounted on a 4Kn device", 512,
       Layout(PartitionStyle::Gpt, {{kMiB, 100 * kMiB}}), {1024 * kMiB, {{1, ext1k}}, false, false, {}, 0},
       "4096 needs-reformat table:0@0 file-system:1@1024/ext"},
      {"a physical 4Kn disk: a 100 MiB ESP, and a disk that boots through BIOS", 512,
       Layout(PartitionStyle::Gpt, {{kMiB, 100 * kMiB}}, "C12A7328-F81F-11D2-BA4B-00A0C93EC93B"),
       {1024 * kMiB, {}, true, true, {}, 0}, "4096 needs-reformat table:0@0 esp:1@104857600 bios:0@0"},
      {"no table, XFS of 4 KiB sectors from sector 0: ready", 512, std::nullopt,
       {1024 * kMiB, {{0, xfs4k}}, false, false, {}, 0}, "4096 ready"},
      {"no table, nothing known of its file system: nothing told", 512, std::nullopt,
       {1024 * kMiB, {}, false, false, {}, 0}, "none"},
      {"4Kn to 512: the table, and the file system named", 4096,
       Layout(PartitionStyle::Gpt, {{kMiB, 100 * kMiB}}), {1024 * kMiB, {{1, ntfs4k}}, false, false, {}, 0},
       "512 needs-table-rewrite table:0@0 file-system:1@4096/NTFS"},
      {"a 16 KiB logical sector: no move of the two", 16384, std::nullopt, {}, "none"},
  };
  for (const auto& c : cases) {
    Disk disk;
    disk.sectorSize = SectorSize(c.sector);
    if (c.table) disk.layout = &c.table->layout;
    EXPECT_EQ(Moved(disk, c.facts), c.moved) << c.what;
  }
}

// An MBR's records at 4096: each on 4 KiB and outside every partition.
TEST(SectorSizeMoveTest, LogicalPartitionsNeedTheirRecordsOn4K) {
  Layout mbr(PartitionStyle::Mbr, {{kMiB, 10 * kMiB}, {20 * kMiB, 10 * kMiB}});
  mbr.layout.records = {ByteCount(19 * kMiB), ByteCount(20 * kMiB - 63 * 512)};
  Disk disk;
  disk.sectorSize = SectorSize(512);
  disk.layout = &mbr.layout;
  EXPECT_EQ(Moved(disk, {1024 * kMiB, {}, false, false, {}, 0}), "4096 not-ready record:0@20939264 table:0@0");
  mbr.layout.records = {ByteCount(19 * kMiB), ByteCount(25 * kMiB)};  // inside the second
  EXPECT_EQ(Moved(disk, {1024 * kMiB, {}, false, false, {}, 0}), "4096 not-ready record:0@26214400 table:0@0");
}

// What each file system's first bytes record, as mkntfs, mkfs.fat, mkfs.xfs and mke2fs
// write them; anything else records nothing.
TEST(SectorSizeMoveTest, EachFileSystemsRecordedSize) {
  std::vector<uint8_t> xfs(2048, 0), ext(2048, 0), none(2048, 0);
  std::memcpy(xfs.data(), "XFSB", 4);
  xfs[102] = 0x10;  // 4096, big-endian
  ext[1080] = 0x53;
  ext[1081] = 0xEF;
  ext[1048] = 2;  // 1024 << 2
  const sim::Bytes ntfs = sim::BuildNtfsBootSector(512, 8, 2048);
  EXPECT_EQ(RecordedSectorSize(ntfs.data(), ntfs.size())->bytes, 512u);
  EXPECT_EQ(RecordedSectorSize(ntfs.data(), ntfs.size())->fileSystem, "NTFS");
  EXPECT_EQ(RecordedSectorSize(xfs.data(), xfs.size())->bytes, 4096u);
  const std::optional<RecordedSize> e = RecordedSectorSize(ext.data(), ext.size());
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->bytes, 4096u);
  EXPECT_TRUE(e->blockSize);
  EXPECT_FALSE(RecordedSectorSize(ext.data(), 1024).has_value()) << "its superblock not read";
  EXPECT_FALSE(RecordedSectorSize(none.data(), none.size()).has_value());
  xfs[102] = 0x03;  // 768: no size
  EXPECT_FALSE(RecordedSectorSize(xfs.data(), xfs.size()).has_value());
}

// What a table's partitions give the move: each recorded size, each partition with data
// not read (not a reserved one, nor GPT's BIOS boot partition, which holds no file system),
// and booting through BIOS from an active MBR entry, an MBR's boot code or GPT's BIOS boot.
TEST(SectorSizeMoveTest, WhatATablesPartitionsSay) {
  const auto facts = [](PartitionStyle style, std::vector<Partition> parts, bool bootCode) {
    DriveLayout layout;
    layout.style = style;
    layout.partitions = std::move(parts);
    const MoveFacts f = PartitionFacts(layout, bootCode, 1 << 30);
    std::string line = f.bootsThroughBios ? "bios" : "uefi";
    for (const auto& [n, r] : f.fileSystems) line += " " + std::to_string(n) + ":" + r.fileSystem;
    for (uint32_t n : f.unread) line += " " + std::to_string(n) + ":unread";
    return line;
  };
  const auto mbr = [](uint32_t n, uint8_t type, bool active, std::optional<RecordedSize> r) {
    Partition p;
    p.number = n;
    p.mbrType = type;
    p.active = active;
    p.recorded = std::move(r);
    return p;
  };
  const auto gpt = [](uint32_t n, const char* type, std::optional<RecordedSize> r) {
    Partition p;
    p.number = n;
    p.gptType = type;
    p.recorded = std::move(r);
    return p;
  };
  const RecordedSize ntfs{"NTFS", 512, false};
  const char* basic = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
  const char* msr = "E3C9E316-0B5C-4DB8-817D-F92DF00215AE";
  EXPECT_EQ(facts(PartitionStyle::Mbr, {mbr(1, 0x07, true, ntfs), mbr(2, 0x83, false, std::nullopt)}, false),
            "bios 1:NTFS 2:unread");
  EXPECT_EQ(facts(PartitionStyle::Mbr, {mbr(1, 0x07, false, ntfs)}, true), "bios 1:NTFS");
  EXPECT_EQ(facts(PartitionStyle::Mbr, {mbr(1, 0x07, false, ntfs)}, false), "uefi 1:NTFS");
  EXPECT_EQ(facts(PartitionStyle::Gpt, {gpt(1, kBiosBootType, std::nullopt), gpt(2, basic, ntfs)}, false),
            "bios 2:NTFS");
  Partition legacy = gpt(1, basic, ntfs);
  legacy.active = true;  // the legacy BIOS bootable attribute
  EXPECT_EQ(facts(PartitionStyle::Gpt, {legacy}, false), "bios 1:NTFS");
  // A protective MBR's boot code says nothing of a GPT disk; a reserved partition holds no data.
  EXPECT_EQ(facts(PartitionStyle::Gpt, {gpt(1, msr, std::nullopt), gpt(2, basic, std::nullopt)}, true),
            "uefi 2:unread");
}

// A VHD's or VHDX's container of 512-byte sectors over a guest laid out in 4096: already
// unreadable there, whatever its table says; a container that agrees with its guest moves.
TEST(SectorSizeMoveTest, AGuestOfTheOtherSizeIsAlreadyUnreadable) {
  Layout gpt(PartitionStyle::Gpt, {{kMiB, 100 * kMiB}});
  Disk disk;
  disk.sectorSize = SectorSize(512);
  disk.layout = &gpt.layout;
  MoveFacts facts{1024 * kMiB, {}, false, false, {}, 4096};
  EXPECT_EQ(Moved(disk, facts), "4096 not-ready guest:0@4096");
  EXPECT_EQ(Moved(Disk{SectorSize(512), std::nullopt, Undetermined::NoGrid, nullptr}, facts),
            "4096 not-ready guest:0@4096") << "its table unread at 512";
  facts.guestLaidOutIn = 512;
  EXPECT_EQ(Moved(disk, facts), "4096 needs-table-rewrite table:0@0");
}

}  // namespace
