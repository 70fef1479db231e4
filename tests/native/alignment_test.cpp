#include "inspect/alignment.h"

#include <gtest/gtest.h>

#include "units_print.h"

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

// A piece on `disk` (none: no disk found) at sector `start` of 512 bytes, as Windows
// gives it in bytes.
VolumeExtent Piece(int64_t disk, uint64_t start) {
  return {disk >= 0 ? std::optional<DiskNumber>(DiskNumber(static_cast<uint32_t>(disk)))
                    : std::nullopt,
          ByteCount(start * 512), ByteCount(0)};
}

template <class T>
std::optional<T> Of(std::optional<uint64_t> n) {
  return n ? std::optional<T>(T(*n)) : std::nullopt;
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
  // 2^31-byte sectors times 8 do not wrap: such a sector is its own unit, and a cluster
  // smaller than it stays too small.
  CVolumeInfo huge = Volume(2048, 0, 0x80000000u);
  huge.m_bytesPerSector = 0x80000000u;
  EXPECT_EQ(Judge(huge, Drive(1, 8, 0)), Verdict::Aligned);
  huge.m_bytesPerCluster = 0x40000000u;
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

// A volume over several disks is judged piece by piece, each on its own disk's grid.
TEST(AlignmentTest, EveryPieceOnItsOwnDisk) {
  DriveTable drives;
  drives[DiskNumber(0)] = Drive(1, 8, 0);  // 512e
  drives[DiskNumber(1)] = Drive(1, 8, 7);  // 512e, logical sector 0 one sector into its physical sector
  drives[DiskNumber(2)] = Drive(1, 1, 0);  // 512 native
  drives[DiskNumber(3)] = Drive(0, 0, 0);  // no grid reported
  const int64_t none = CVolumeInfo::kNoDrive;
  const std::optional<uint64_t> notJudged;
  struct Piece {
    int64_t disk;
    uint64_t start;
    Verdict verdict;
    std::optional<uint64_t> bytesPast;
  };
  struct Case {
    const char* name;
    uint64_t dataAreaOffset;
    std::vector<Piece> pieces;
    Verdict volume;
  } cases[] = {
      {"one piece", 0, {{0, 2048, Verdict::Aligned, 0}}, Verdict::Aligned},
      {"a mirror, one half off the grid", 0,
       {{0, 2048, Verdict::Aligned, 0}, {0, 2049, Verdict::Misaligned, 512}}, Verdict::Misaligned},
      {"each piece on its own grid", 0,
       {{0, 63, Verdict::Misaligned, 3584}, {1, 63, Verdict::Aligned, 0}, {2, 63, Verdict::Aligned, 0}},
       Verdict::Misaligned},
      {"a piece without a grid", 0,
       {{0, 2048, Verdict::Aligned, 0}, {3, 2048, Verdict::Undetermined, notJudged}},
       Verdict::Undetermined},
      {"misaligned wins over undetermined", 0,
       {{3, 2048, Verdict::Undetermined, notJudged}, {0, 2050, Verdict::Misaligned, 1024}},
       Verdict::Misaligned},
      {"a piece on no disk found", 0, {{none, 2048, Verdict::Undetermined, notJudged}},
       Verdict::Undetermined},
      {"the data area offset on every piece", 6, {{0, 2042, Verdict::Aligned, 0}, {0, 2049, Verdict::Misaligned, 3584}},
       Verdict::Misaligned},
      {"data area not determined", CVolumeInfo::kNotDetermined,
       {{0, 2048, Verdict::Undetermined, notJudged}}, Verdict::Undetermined},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CVolumeInfo v = Volume(0, 0);
    v.m_dataAreaOffset = c.dataAreaOffset;
    for (const Piece& p : c.pieces) v.m_extents.push_back(::Piece(p.disk, p.start));
    const std::vector<PieceVerdict> judged = JudgePieces(v, drives);
    ASSERT_EQ(judged.size(), c.pieces.size());
    for (size_t i = 0; i < judged.size(); ++i) {
      EXPECT_EQ(judged[i].verdict, c.pieces[i].verdict) << i;
      EXPECT_EQ(judged[i].bytesPastPhysicalStart, Of<ByteCount>(c.pieces[i].bytesPast)) << i;
      EXPECT_EQ(judged[i].start, Sectors(c.pieces[i].start)) << i;
    }
    EXPECT_EQ(VolumeVerdict(judged), c.volume);
  }
  EXPECT_EQ(VolumeVerdict({}), Verdict::Undetermined);
  // Clusters smaller than a physical sector: on the grid, yet misaligned.
  CVolumeInfo small = Volume(0, 0, 2048);
  small.m_extents.push_back(::Piece(0, 2048));
  const std::vector<PieceVerdict> judged = JudgePieces(small, drives);
  EXPECT_EQ(judged[0].bytesPastPhysicalStart, ByteCount(0));
  EXPECT_EQ(judged[0].verdict, Verdict::Misaligned);
}

// What judges a piece: sector sizes that agree, clusters against the physical sector capped
// at 4 KiB (even where its data area is unknown), starts against the whole physical sector.
TEST(AlignmentTest, SectorSizesClustersAndStartsEachHaveTheirSay) {
  const uint64_t unknown = CVolumeInfo::kNotDetermined;
  const struct {
    const char* what;
    uint16_t spp;
    uint32_t driveSector, volumeSector;
    bool sourcesDisagree;
    uint64_t start, dataAreaOffset;
    uint32_t clusterBytes;
    Verdict verdict;
    Undetermined reason;
  } cases[] = {
      {"512e, all agree", 8, 512, 512, false, 2048, 0, 4096, Verdict::Aligned, Undetermined::None},
      {"a volume of 512-byte sectors on a drive of 4096", 1, 4096, 512, false, 2048, 0, 4096,
       Verdict::Undetermined, Undetermined::SectorSizes},
      {"a drive whose own answers disagree", 8, 512, 512, true, 2048, 0, 4096,
       Verdict::Undetermined, Undetermined::SectorSizes},
      {"data area unknown, clusters too small: misaligned anyway", 8, 512, 512, false, 2048,
       unknown, 2048, Verdict::Misaligned, Undetermined::None},
      {"data area unknown, clusters large enough", 8, 512, 512, false, 2048, unknown, 4096,
       Verdict::Undetermined, Undetermined::DataAreaNeedsRights},
      {"16 KiB physical: 4 KiB clusters on 16 KiB", 32, 512, 512, false, 2048, 0, 4096,
       Verdict::Aligned, Undetermined::None},
      {"16 KiB physical: 2 KiB clusters", 32, 512, 512, false, 2048, 0, 2048,
       Verdict::Misaligned, Undetermined::None},
      {"16 KiB physical: a start on 4 KiB only", 32, 512, 512, false, 206856, 0, 4096,
       Verdict::Misaligned, Undetermined::None},
      {"4Kn: one sector per physical, 4 KiB clusters", 1, 4096, 4096, false, 256, 0, 4096,
       Verdict::Aligned, Undetermined::None},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DriveTable drives;
    drives[DiskNumber(0)] = Drive(1, c.spp, c.spp);
    drives[DiskNumber(0)].bytesPerLogicalSector = c.driveSector;
    drives[DiskNumber(0)].sectorSizesDisagree = c.sourcesDisagree;
    CVolumeInfo v = Volume(0, 0, c.clusterBytes);
    v.m_bytesPerSector = c.volumeSector;
    v.m_dataAreaOffset = c.dataAreaOffset;
    v.m_dataAreaNeedsRights = true;
    v.m_extents.push_back({DiskNumber(0), ByteCount(c.start * c.volumeSector), ByteCount(0)});
    const std::vector<PieceVerdict> judged = JudgePieces(v, drives);
    EXPECT_EQ(judged[0].verdict, c.verdict);
    EXPECT_EQ(judged[0].reason, c.reason);
  }
}

}  // namespace
