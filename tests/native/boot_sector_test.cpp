#include "disk/boot_sector.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "sim/builders.h"

namespace {

// NTFS's sectors per cluster past 0x80 count 2^(256 - n) sectors, as ntfs-3g reads them;
// the named sector size of each file system whatever size it was read at.
TEST(BootSectorTest, ClustersAndNamedSectorSizes) {
  struct Case {
    uint16_t bytes;
    uint8_t perCluster;
    std::optional<uint64_t> cluster;
  } cases[] = {{512, 8, 4096},
               {512, 0x80, 65536},
               {512, 0xF8, 131072},
               {4096, 0xF8, 1u << 20},
               {512, 0xF4, 2u << 20},
               {512, 0, std::nullopt},
               {512, 0xE0, std::nullopt},
               {4096, 1, 4096}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.bytes << " " << int(c.perCluster));
    sim::Bytes boot = sim::BuildNtfsBootSector(c.bytes, 1, 0);
    boot[13] = c.perCluster;
    boot.resize(std::max<size_t>(boot.size(), c.bytes));
    EXPECT_EQ(ReadBootSector(boot.data(), c.bytes).clusterBytes, c.cluster);
    EXPECT_EQ(NamedSectorBytes(boot.data()), std::optional<uint32_t>(c.bytes));
  }
  sim::FatParams fat = sim::Fat32Layout(1 << 20, 8, 32, 4096);
  EXPECT_EQ(NamedSectorBytes(sim::BuildFatBootSector(fat).data()), 4096u);
  EXPECT_EQ(NamedSectorBytes(sim::BuildExfatBootSector(12, 0, 0).data()), 4096u);
  EXPECT_EQ(NamedSectorBytes(sim::Bytes(512, 0).data()), std::nullopt);
}

// The one test of "keeps its clusters past its tables", by a boot sector's kind or by the
// name Windows gives the volume's file system.
TEST(BootSectorTest, FatAndExfatKeepTheirClustersPastTheirTables) {
  const struct {
    const char* name;
    BootFileSystem fileSystem;
    bool pastTables;
  } cases[] = {{"FAT", BootFileSystem::Fat, true},       {"FAT32", BootFileSystem::Fat, true},
               {"exFAT", BootFileSystem::Exfat, true},   {"NTFS", BootFileSystem::Ntfs, false},
               {"ReFS", BootFileSystem::Refs, false},    {"EXFAT", BootFileSystem::Unknown, false},
               {"", BootFileSystem::Unknown, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(FileSystemNamed(c.name), c.fileSystem) << c.name;
    EXPECT_EQ(KeepsClustersPastTables(FileSystemNamed(c.name)), c.pastTables) << c.name;
  }
}

}  // namespace
