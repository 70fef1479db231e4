// Windows' own view of a volume (FILE_STORAGE_INFO), and why it differs from the verdict.
#include "inspect/windows_view.h"

#include <gtest/gtest.h>

#include "inspect/alignment.h"
#include "units_print.h"

namespace {

TEST(WindowsViewTest, AnAnswerWithoutSectorSizesIsNoView) {
  FILE_STORAGE_INFO info = {512, 4096, 4096, 4096, 3, 0, 0};
  std::optional<WindowsView> view = ReadWindowsView(info);
  ASSERT_TRUE(view);
  EXPECT_TRUE(view->partitionAligned && view->deviceAligned);
  EXPECT_EQ(view->partitionAlignmentOffset, ByteCount(0));
  // An offset Windows could not compute: the flag beside it says nothing, either way.
  const DWORD both = STORAGE_INFO_FLAGS_ALIGNED_DEVICE | STORAGE_INFO_FLAGS_PARTITION_ALIGNED_ON_DEVICE;
  for (const DWORD flags : {DWORD{0}, both}) {
    info.Flags = flags;
    info.ByteOffsetForPartitionAlignment = STORAGE_INFO_OFFSET_UNKNOWN;
    view = ReadWindowsView(info);
    EXPECT_EQ(view->partitionAligned, std::nullopt);
    EXPECT_EQ(view->deviceAligned, std::optional<bool>(flags != 0));
    EXPECT_EQ(view->partitionAlignmentOffset, std::nullopt);
    info.ByteOffsetForSectorAlignment = STORAGE_INFO_OFFSET_UNKNOWN;
    EXPECT_EQ(ReadWindowsView(info)->deviceAligned, std::nullopt);
    info.ByteOffsetForSectorAlignment = 3;
  }
  info.LogicalBytesPerSector = 0;
  EXPECT_EQ(ReadWindowsView(info), std::nullopt);
  info = {512, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(ReadWindowsView(info), std::nullopt);
}

// One 512e drive (disk 0, grid at sector 0); each row one volume on it, judged by Tessarel
// and by Windows.
TEST(WindowsViewTest, TheFirstReasonThatAppliesNamesTheDisagreement) {
  DriveTable drives;
  drives[DiskNumber(0)].status = 1;
  drives[DiskNumber(0)].sectorsPerPhysical = 8;
  drives[DiskNumber(0)].bytesPerLogicalSector = 512;
  drives[DiskNumber(0)].geometry = GeometrySource::AtaIdentity;
  const WindowsView aligned{true, true, ByteCount(0), 512, 4096, 4096, 4096};
  WindowsView hidden = aligned;  // a stack that reports 512-byte physical sectors
  hidden.physicalForAtomicity = 512;
  WindowsView misaligned = aligned;
  misaligned.partitionAligned = false;
  misaligned.partitionAlignmentOffset = ByteCount(3584);
  WindowsView unknown = aligned;  // a stack that computes neither offset: no word either way
  unknown.partitionAligned = unknown.deviceAligned = std::nullopt;
  unknown.partitionAlignmentOffset = std::nullopt;
  const Verdict A = Verdict::Aligned, M = Verdict::Misaligned, U = Verdict::Undetermined;
  const struct {
    const char* what;
    std::optional<WindowsView> windows;
    const char* fileSystem;
    uint64_t dataAreaOffset;  // sectors from the partition's start to the clusters
    uint32_t clusterBytes;
    std::optional<uint64_t> bytesPast;  // the first piece's data start into its physical sector
    size_t pieces;
    Verdict verdict;
    WindowsDisagrees why;
  } cases[] = {
      {"Windows 7: no view", std::nullopt, "NTFS", 0, 4096, 512, 1, M, WindowsDisagrees::None},
      {"both aligned", aligned, "NTFS", 0, 4096, 0, 1, A, WindowsDisagrees::None},
      {"both misaligned", misaligned, "NTFS", 0, 4096, 512, 1, M, WindowsDisagrees::None},
      {"Windows misaligned, Tessarel cannot tell", misaligned, "NTFS", 0, 4096, std::nullopt, 1, U,
       WindowsDisagrees::None},
      {"Windows misaligned, Tessarel aligned", misaligned, "NTFS", 0, 4096, 0, 1, A,
       WindowsDisagrees::WindowsMisaligned},
      {"Windows does not know, Tessarel aligned", unknown, "NTFS", 0, 4096, 0, 1, A,
       WindowsDisagrees::None},
      {"Windows does not know, Tessarel misaligned", unknown, "NTFS", 0, 4096, 512, 1, M,
       WindowsDisagrees::None},
      {"Windows does not know, FAT32 data area off the grid", unknown, "FAT32", 6141, 4096, 1536,
       1, M, WindowsDisagrees::None},
      {"no piece placed", aligned, "NTFS", 0, 4096, std::nullopt, 0, U, WindowsDisagrees::None},
      {"FAT32 data area off the grid, small clusters too", aligned, "FAT32", 6141, 2048, 1536, 1, M,
       WindowsDisagrees::DataArea},
      {"exFAT data area unread", aligned, "exFAT", ~uint64_t{0}, 4096, std::nullopt, 1, U,
       WindowsDisagrees::DataArea},
      {"FAT32 small clusters, data area on the grid", aligned, "FAT32", 6144, 2048, 0, 1, M,
       WindowsDisagrees::Clusters},
      {"NTFS small clusters", hidden, "NTFS", 0, 2048, 0, 1, M, WindowsDisagrees::Clusters},
      {"a stack that hides its sectors", hidden, "NTFS", 0, 4096, std::nullopt, 1, U,
       WindowsDisagrees::HiddenSectors},
      {"a volume over two disks", aligned, "NTFS", 0, 4096, 0, 2, M,
       WindowsDisagrees::SeveralDisks},
      {"nothing explains it", aligned, "NTFS", 0, 4096, 512, 1, M,
       WindowsDisagrees::WindowsAligned},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CVolumeInfo volume('C');
    volume.m_bytesPerSector = 512;
    volume.m_bytesPerCluster = c.clusterBytes;
    volume.m_fileSystem = c.fileSystem;
    volume.m_dataAreaOffset = c.dataAreaOffset;
    std::vector<PieceVerdict> pieces(c.pieces);
    for (PieceVerdict& piece : pieces) {
      piece.disk = DiskNumber(0);
      piece.verdict = c.verdict;
      if (!c.bytesPast) continue;
      piece.dataStart = Sectors(2048);
      piece.bytesPastPhysicalStart = ByteCount(*c.bytesPast);
    }
    EXPECT_EQ(Disagreement(c.windows, pieces, c.verdict, Unweighed(volume, pieces, drives)), c.why);
  }
}

}  // namespace
