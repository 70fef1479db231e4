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

Verdict Judge(const CVolumeInfo& v, const DriveInfo& d) {
  return GetAlignmentState(v, v.GetDataStartSector(), d);
}

TEST(AlignmentTest, UnidentifiedDrivesAreUndetermined) {
  for (int32_t status : {0, -1, -2}) {
    EXPECT_EQ(Judge(Volume(2048), Drive(status, 8, 0)), Verdict::Undetermined) << status;
    EXPECT_EQ(Judge(Volume(63, 0, 512), Drive(status, 8, 0)), Verdict::Undetermined) << status;
  }
  // An entry the drive phase never reached: no division by its zero geometry.
  EXPECT_EQ(Judge(Volume(63), DriveInfo()), Verdict::Undetermined);
}

TEST(AlignmentTest, ADriveWithoutIdentityIsJudgedByTheStorageStacksGrid) {
  DriveInfo nvme = Drive(0, 8, 8);
  nvme.geometry = GeometrySource::StorageDescriptor;
  EXPECT_EQ(Judge(Volume(2048), nvme), Verdict::Aligned);
  EXPECT_EQ(Judge(Volume(1026047), nvme), Verdict::Misaligned);
  EXPECT_EQ(Judge(Volume(2048, 0, 2048), nvme), Verdict::Misaligned);
  nvme.geometry = GeometrySource::None;  // the descriptor was not taken
  EXPECT_EQ(Judge(Volume(2048), nvme), Verdict::Undetermined);
  // A failed open keeps whatever else the entry holds out of the verdict.
  DriveInfo failed = Drive(-1, 8, 8);
  failed.geometry = GeometrySource::StorageDescriptor;
  EXPECT_EQ(Judge(Volume(2048), failed), Verdict::Undetermined);
}

TEST(AlignmentTest, AnImpossibleGridJudgesNothing) {
  DriveInfo impossible = Drive(1, 8, 65535);  // word 209 said offset 9 of 8
  impossible.geometry = GeometrySource::None;
  EXPECT_EQ(Judge(Volume(2048), impossible), Verdict::Undetermined);
  EXPECT_EQ(Judge(Volume(63), impossible), Verdict::Undetermined);
}

TEST(AlignmentTest, SixtyFourBitStartsAndHugeSectorSizes) {
  EXPECT_EQ(Judge(Volume(0), Drive(1, 8, 8)), Verdict::Aligned);
  CVolumeInfo past = Volume(0);
  past.m_startSector = 5000000000ull;
  EXPECT_EQ(Judge(past, Drive(1, 8, 0)), Verdict::Aligned);
  past.m_startSector = 5000000003ull;
  EXPECT_EQ(Judge(past, Drive(1, 8, 0)), Verdict::Misaligned);
  // 2^31-byte sectors times 8 do not wrap into a physical sector smaller than a cluster.
  CVolumeInfo huge = Volume(2048, 0, 0x80000000u);
  huge.m_bytesPerSector = 0x80000000u;
  EXPECT_EQ(Judge(huge, Drive(1, 8, 0)), Verdict::Misaligned);
}

TEST(AlignmentTest, OneLogicalSectorPerPhysicalIsAlwaysAligned) {
  EXPECT_EQ(Judge(Volume(63, 0, 512), Drive(1, 1, 0)), Verdict::Aligned);
  EXPECT_EQ(Judge(Volume(2049), Drive(1, 1, 0)), Verdict::Aligned);
}

TEST(AlignmentTest, StartSectorAgainstTheGrid) {
  struct Case {
    uint32_t start;
    uint16_t phase;
    Verdict state;
  } cases[] = {
      {2048, 0, Verdict::Aligned}, {63, 0, Verdict::Misaligned},    // 63 mod 8 = 7
      {63, 7, Verdict::Aligned},   {2048, 7, Verdict::Misaligned},  // (2048 - 7) mod 8 = 1
      {2048, 8, Verdict::Aligned}, {63, 8, Verdict::Misaligned},    // phase 8 judges like 0
      {3, 7, Verdict::Misaligned},                                  // wraps below zero: 4
      {7, 7, Verdict::Aligned},    {0, 65535, Verdict::Misaligned},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "start " << c.start << " phase " << c.phase);
    EXPECT_EQ(Judge(Volume(c.start), Drive(1, 8, c.phase)), c.state);
  }
}

TEST(AlignmentTest, ClustersSmallerThanAPhysicalSectorAreMisaligned) {
  EXPECT_EQ(Judge(Volume(2048, 0, 2048), Drive(1, 8, 0)), Verdict::Misaligned);
  EXPECT_EQ(Judge(Volume(2048, 0, 4096), Drive(1, 8, 0)), Verdict::Aligned);
  EXPECT_EQ(Judge(Volume(63, 0, 65536), Drive(1, 8, 0)), Verdict::Misaligned);
}

TEST(AlignmentTest, FatVolumesAreJudgedAtTheirDataStart) {
  // The row shows 8164 and the first cluster begins there: 8164 mod 8 = 4.
  const CVolumeInfo off = Volume(2048, 6116);
  EXPECT_EQ(off.GetDataStartSector(), 8164u);
  EXPECT_EQ(Judge(off, Drive(1, 8, 0)), Verdict::Misaligned);
  const CVolumeInfo on = Volume(2048, 6112);
  EXPECT_EQ(on.GetDataStartSector(), 8160u);
  EXPECT_EQ(Judge(on, Drive(1, 8, 0)), Verdict::Aligned);
  // With the data-area offset counted twice these two would swap verdicts.
  EXPECT_EQ(Judge(Volume(2048, 6114), Drive(1, 8, 0)), Verdict::Misaligned);
}

}  // namespace
