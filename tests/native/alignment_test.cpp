#include "inspect/alignment.h"

#include <gtest/gtest.h>

namespace {

CVolumeInfo Volume(uint32_t start, uint32_t dataAreaOffset = 0, uint32_t clusterBytes = 4096) {
  CVolumeInfo v('C');
  v.m_bytesPerSector = 512;
  v.m_bytesPerCluster = clusterBytes;
  v.m_startSector = start;
  v.m_dataAreaOffset = dataAreaOffset;
  v.m_driveIndex = 0;
  return v;
}

// An identified drive carries the grid of its ATA identity.
DriveInfo Drive(int32_t status, uint16_t spp, uint16_t phase) {
  DriveInfo d;
  d.status = status;
  d.sectorsPerPhysical = spp;
  d.alignPhase = phase;
  d.bytesPerLogicalSector = 512;
  if (status == 1) d.geometry = GeometrySource::AtaIdentity;
  return d;
}

int Verdict(const CVolumeInfo& v, const DriveInfo& d) {
  return GetAlignmentState(v, v.GetDataStartSector(), d);
}

TEST(AlignmentTest, UnidentifiedDrivesAreUndetermined) {
  for (int32_t status : {0, -1, -2}) {
    EXPECT_EQ(Verdict(Volume(2048), Drive(status, 8, 0)), STATE_UNKNOWN) << status;
    EXPECT_EQ(Verdict(Volume(63, 0, 512), Drive(status, 8, 0)), STATE_UNKNOWN) << status;
  }
  // An entry the drive phase never reached: no division by its zero geometry.
  EXPECT_EQ(Verdict(Volume(63), DriveInfo()), STATE_UNKNOWN);
}

TEST(AlignmentTest, ADriveWithoutIdentityIsJudgedByTheStorageStacksGrid) {
  DriveInfo nvme = Drive(0, 8, 8);
  nvme.geometry = GeometrySource::StorageDescriptor;
  EXPECT_EQ(Verdict(Volume(2048), nvme), STATE_ALIGNED);
  EXPECT_EQ(Verdict(Volume(1026047), nvme), STATE_MISALIGNED);
  EXPECT_EQ(Verdict(Volume(2048, 0, 2048), nvme), STATE_MISALIGNED);
  nvme.geometry = GeometrySource::None;  // the descriptor was not taken
  EXPECT_EQ(Verdict(Volume(2048), nvme), STATE_UNKNOWN);
  // A failed open keeps whatever else the entry holds out of the verdict.
  DriveInfo failed = Drive(-1, 8, 8);
  failed.geometry = GeometrySource::StorageDescriptor;
  EXPECT_EQ(Verdict(Volume(2048), failed), STATE_UNKNOWN);
}

TEST(AlignmentTest, SixtyFourBitStartsAndHugeSectorSizes) {
  EXPECT_EQ(Verdict(Volume(0), Drive(1, 8, 8)), STATE_ALIGNED);
  CVolumeInfo past = Volume(0);
  past.m_startSector = 5000000000ull;
  EXPECT_EQ(Verdict(past, Drive(1, 8, 0)), STATE_ALIGNED);
  past.m_startSector = 5000000003ull;
  EXPECT_EQ(Verdict(past, Drive(1, 8, 0)), STATE_MISALIGNED);
  // 2^31-byte sectors times 8 do not wrap into a physical sector smaller than a cluster.
  CVolumeInfo huge = Volume(2048, 0, 0x80000000u);
  huge.m_bytesPerSector = 0x80000000u;
  EXPECT_EQ(Verdict(huge, Drive(1, 8, 0)), STATE_MISALIGNED);
}

TEST(AlignmentTest, OneLogicalSectorPerPhysicalIsAlwaysAligned) {
  EXPECT_EQ(Verdict(Volume(63, 0, 512), Drive(1, 1, 0)), STATE_ALIGNED);
  EXPECT_EQ(Verdict(Volume(2049), Drive(1, 1, 0)), STATE_ALIGNED);
}

TEST(AlignmentTest, StartSectorAgainstTheGrid) {
  struct Case {
    uint32_t start;
    uint16_t phase;
    int state;
  } cases[] = {
      {2048, 0, STATE_ALIGNED}, {63, 0, STATE_MISALIGNED},    // 63 mod 8 = 7
      {63, 7, STATE_ALIGNED},   {2048, 7, STATE_MISALIGNED},  // (2048 - 7) mod 8 = 1
      {2048, 8, STATE_ALIGNED}, {63, 8, STATE_MISALIGNED},    // phase 8 judges like 0
      {3, 7, STATE_MISALIGNED},                               // wraps below zero: 4
      {7, 7, STATE_ALIGNED},    {0, 65535, STATE_MISALIGNED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "start " << c.start << " phase " << c.phase);
    EXPECT_EQ(Verdict(Volume(c.start), Drive(1, 8, c.phase)), c.state);
  }
}

TEST(AlignmentTest, ClustersSmallerThanAPhysicalSectorAreMisaligned) {
  EXPECT_EQ(Verdict(Volume(2048, 0, 2048), Drive(1, 8, 0)), STATE_MISALIGNED);
  EXPECT_EQ(Verdict(Volume(2048, 0, 4096), Drive(1, 8, 0)), STATE_ALIGNED);
  EXPECT_EQ(Verdict(Volume(63, 0, 65536), Drive(1, 8, 0)), STATE_MISALIGNED);
}

TEST(AlignmentTest, FatVolumesAreJudgedAtTheirDataStart) {
  // The row shows 8164 and the first cluster begins there: 8164 mod 8 = 4.
  const CVolumeInfo off = Volume(2048, 6116);
  EXPECT_EQ(off.GetDataStartSector(), 8164u);
  EXPECT_EQ(Verdict(off, Drive(1, 8, 0)), STATE_MISALIGNED);
  const CVolumeInfo on = Volume(2048, 6112);
  EXPECT_EQ(on.GetDataStartSector(), 8160u);
  EXPECT_EQ(Verdict(on, Drive(1, 8, 0)), STATE_ALIGNED);
  // With the data-area offset counted twice these two would swap verdicts.
  EXPECT_EQ(Verdict(Volume(2048, 6114), Drive(1, 8, 0)), STATE_MISALIGNED);
}

}  // namespace
