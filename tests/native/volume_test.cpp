#include "inspect/volume_info.h"
#include "sim_fixture.h"

namespace {

using sim::Open;

class VolumeTest : public SimTest {
 protected:
  // Drives 0..count-1 that open, each with its own sector 0.
  void AddDrives(int count, uint32_t sectorSize = 512) {
    for (int i = 0; i < count; ++i)
      sim::AddAtaDrive(machine, i, "D" + std::to_string(i), "", "", 0x4000, 0, sectorSize);
  }
  sim::VolumeLayout Ntfs(char letter, int drive, uint64_t start) {
    sim::VolumeLayout v;
    v.letter = letter;
    v.drive = drive;
    v.startSector = start;
    v.bootSector = sim::BuildNtfsBootSector(static_cast<uint16_t>(machine.drives[drive].sectorSize),
                                            8, static_cast<uint32_t>(start), 0xA0000000u + letter);
    return v;
  }
  sim::VolumeLayout Fat(char letter, int drive, uint32_t start, const sim::FatParams& p,
                      const char* name) {
    sim::VolumeLayout v;
    v.letter = letter;
    v.drive = drive;
    v.startSector = start;
    v.fileSystem = name;
    v.bootSector = sim::BuildFatBootSector(p);
    v.sectorsPerCluster = p.sectorsPerCluster;
    return v;
  }
  // A volume that names no disk, as on an older system: its drive is found by content.
  void PlaceSearched(const sim::VolumeLayout& v) {
    sim::PlaceVolume(machine, v);
    machine.letters[v.letter].deviceNumberOk = false;
    machine.letters[v.letter].extentsOk = false;
  }
  size_t Reads() const { return machine.Calls("ReadFile").size(); }
  std::vector<DWORD> IoctlCodes() const {
    std::vector<DWORD> codes;
    for (const sim::Call& c : machine.Calls("DeviceIoControl")) codes.push_back(c.code);
    return codes;
  }
};

TEST_F(VolumeTest, NtfsAtOneMebibyte) {
  AddDrives(1);
  sim::PlaceVolume(machine, Ntfs('C', 0, 2048));
  CVolumeInfo v('C');
  EXPECT_EQ(v.Probe(), 3);
  EXPECT_EQ(v.m_startSector, 2048u);
  EXPECT_EQ(v.m_dataAreaOffset, 0u);
  EXPECT_EQ(v.GetDataStartSector(), 2048u);
  EXPECT_EQ(v.ClusterToSector(0), 0u);
  EXPECT_EQ(v.ClusterToSector(3), 24u);
  EXPECT_EQ(v.GetBytesPerSector(), 512u);
  EXPECT_EQ(v.GetBytesPerCluster(), 4096u);
  EXPECT_EQ(v.GetDriveIndex(), 0);
  EXPECT_TRUE(v.m_probed);
  ExpectNothingLeft();
}

TEST_F(VolumeTest, FatDataAreaOffsets) {
  struct Case {
    const char* name;
    const char* fs;
    uint32_t bytesPerSector;
    sim::FatParams p;
    uint32_t start, offset;
  } cases[] = {
      {"FAT16", "FAT", 512, {512, 4, 1, 2, 512, 245, 0}, 63, 523},
      {"FAT32", "FAT32", 512, {512, 8, 32, 2, 0, 0, 1000}, 2048, 2032},
      // The root directory takes whole sectors of 32-byte entries, whatever their size.
      {"512 root entries, 4K sectors", "FAT", 4096, {4096, 1, 1, 2, 512, 10, 0}, 256, 25},
      {"520 root entries, 4K sectors", "FAT", 4096, {4096, 1, 1, 2, 520, 10, 0}, 256, 26},
      {"a part sector of entries is a sector", "FAT", 512, {512, 4, 1, 2, 17, 9, 0}, 63, 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Machine m;
    sim::Installation in(m);
    sim::AddAtaDrive(m, 0, "D0", "", "", 0x4000, 0, c.bytesPerSector);
    sim::VolumeLayout v = Fat('E', 0, c.start, c.p, c.fs);
    sim::PlaceVolume(m, v);
    CVolumeInfo info('E');
    EXPECT_EQ(info.Probe(), 3);
    EXPECT_EQ(info.m_dataAreaOffset, c.offset);
    EXPECT_EQ(info.GetDataStartSector(), uint64_t{c.start} + c.offset);
    EXPECT_EQ(info.ClusterToSector(0), c.offset);
    EXPECT_EQ(info.ClusterToSector(2), c.offset + 2 * c.p.sectorsPerCluster);
    EXPECT_EQ(info.GetDriveIndex(), 0);
  }
}

TEST_F(VolumeTest, OnlyNamesBeginningWithUpperCaseFatAreFat) {
  AddDrives(1);
  const sim::FatParams fat16{512, 4, 1, 2, 512, 245, 0};
  const char* names[] = {"NTFS", "fat", "Fat32", "CDFS", "EXFAT"};
  char letter = 'D';
  for (const char* name : names) {
    SCOPED_TRACE(name);
    sim::PlaceVolume(machine, Fat(letter, 0, 100u * static_cast<uint32_t>(letter), fat16, name));
    CVolumeInfo v(letter++);
    EXPECT_EQ(v.Probe(), 3);
    EXPECT_EQ(v.m_dataAreaOffset, 0u);
  }
}

TEST_F(VolumeTest, ExfatIsJudgedAtItsClusterHeapFromAValidBootSectorOnly) {
  AddDrives(1, 4096);
  const uint64_t none = CVolumeInfo::kNotDetermined;
  struct Case {
    const char* name;
    size_t at;  // a byte of the boot sector to change, 0 for none
    std::vector<uint8_t> bytes;
    uint64_t offset;
  } cases[] = {
      {"valid", 0, {}, 6141},
      {"no signature", 3, {'N', 'T', 'F', 'S'}, none},
      {"shift 8", 108, {8}, none},
      {"shift 13", 108, {13}, none},
      {"shift 9 on 4K sectors", 108, {9}, none},
      {"heap at 0", 88, {0, 0, 0, 0}, none},
      {"heap at the volume's end", 72, {0xFD, 0x17, 0, 0, 0, 0, 0, 0}, none},
      {"heap past the volume's end", 72, {0x10, 0, 0, 0, 0, 0, 0, 0}, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::VolumeLayout v = Ntfs('X', 0, 256);
    v.fileSystem = "exFAT";
    v.bootSector = sim::BuildExfatBootSector(12, 3, 256 * 4096ull, 6141, 100000);
    std::copy(c.bytes.begin(), c.bytes.end(), v.bootSector.begin() + static_cast<long>(c.at));
    sim::PlaceVolume(machine, v);
    CVolumeInfo info('X');
    EXPECT_EQ(info.Probe(), 3);
    EXPECT_EQ(info.m_dataAreaOffset, c.offset);
    EXPECT_EQ(info.GetDataStartSector(), c.offset == none ? none : 256 + c.offset);
    // Not a volume that was not examined: one whose data start is not known.
    EXPECT_EQ(info.m_failure, ProbeFailure::None);
    EXPECT_EQ(info.GetDriveIndex(), 0);
  }
}

TEST_F(VolumeTest, DriveSearchReadsDrivesInOrderUntilOneMatches) {
  AddDrives(3);
  PlaceSearched(Ntfs('D', 2, 2048));
  CVolumeInfo v('D');
  v.Probe();
  EXPECT_EQ(v.GetDriveIndex(), 2);
  EXPECT_EQ(v.m_placedBy, PlacedBy::Search);
  const std::vector<std::string> expected = {"\\\\.\\D:", "\\\\.\\PhysicalDrive0",
                                             "\\\\.\\PhysicalDrive1", "\\\\.\\PhysicalDrive2"};
  EXPECT_EQ(OpenedPaths(), expected);
  EXPECT_EQ(Reads(), 4u);  // the volume's sector and one per drive
  for (const sim::Call& seek : machine.Calls("SetFilePointer"))
    EXPECT_EQ(seek.position, 2048u * 512);
  ExpectNothingLeft();
}

// A driver that wants unbuffered reads into buffers on its physical sectors, as Windows
// documents them: the drive's copy of the sector is read on a 4096-byte boundary, and on
// one of the largest physical sector the listed drives report.
TEST_F(VolumeTest, DriveSearchReadsOnPhysicalSectorBoundaries) {
  for (const uint32_t physical : {4096u, 8192u}) {
    SCOPED_TRACE(physical);
    sim::Machine m;
    const sim::Installation in(m);
    g_drives.Clear();
    sim::AddAtaDrive(m, 0, "D0", "", "", physical == 4096 ? 0x6003 : 0x6004, 0x4000);
    m.drives[0].readAlignment = physical;
    IdentifyDrive(0, &g_drives[DiskNumber(0)]);
    sim::VolumeLayout v;
    v.letter = 'D';
    v.bootSector = sim::BuildNtfsBootSector(512, 8, 2048, 0xD0D0D0D0u);
    sim::PlaceVolume(m, v);
    m.letters['D'].deviceNumberOk = m.letters['D'].extentsOk = false;
    CVolumeInfo d('D');
    d.Probe();
    EXPECT_EQ(d.GetDriveIndex(), 0) << "the drive's sector was read and matched";
  }
}

TEST_F(VolumeTest, DriveSearchPassesOverGapsUpToDriveNine) {
  struct Case {
    const char* name;
    int gap;      // the drive that does not open
    int holder;   // the drive the volume lies on; -1: one the search does not reach
    int64_t drive;
    size_t opens;
  } cases[] = {
      {"a gap at 1", 1, 2, 2, 1 + 3},
      {"a gap at 9, the volume on 8", 9, 8, 8, 1 + 9},
      {"a gap at 9, the volume on disk 12", 9, -1, CVolumeInfo::kNoDrive, 1 + 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Machine m;
    sim::Installation in(m);
    for (int i = 0; i < 13; ++i)
      if (i != c.gap) sim::AddAtaDrive(m, i, "D" + std::to_string(i), "", "", 0x4000, 0);
    sim::VolumeLayout v = Ntfs('D', c.holder < 0 ? 12 : c.holder, 2048);
    sim::PlaceVolume(m, v);
    m.letters['D'].deviceNumberOk = false;
    m.letters['D'].extentsOk = false;
    CVolumeInfo info('D');
    info.Probe();
    EXPECT_EQ(info.GetDriveIndex(), c.drive);
    EXPECT_EQ(info.GetDataStartSector(), 2048u);
    EXPECT_EQ(m.Calls("CreateFileA").size(), c.opens);
    EXPECT_EQ(m.OpenHandles(), 0);
  }
}

// The volume's pieces name its disk with one request; where they are not answered, the
// partition request and the device number do; neither reads any drive.
TEST_F(VolumeTest, TheSystemNamesTheDriveWithoutReadingAny) {
  const struct {
    bool extents;
    std::vector<DWORD> codes;
    PlacedBy by;
  } cases[] = {{true, {0x560000}, PlacedBy::Extents},
               {false, {0x560000, 0x74004, 0x2D1080}, PlacedBy::Partition}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extents);
    sim::Machine m;
    const sim::Installation in(m);
    for (int i = 0; i < 4; ++i) sim::AddAtaDrive(m, i, "D" + std::to_string(i), "", "", 0x4000, 0);
    sim::VolumeLayout layout = Ntfs('D', 3, 2048);
    layout.bootSector = sim::BuildNtfsBootSector(512, 8, 2048);
    sim::PlaceVolume(m, layout);
    m.letters['D'].extentsOk = c.extents;
    CVolumeInfo v('D');
    EXPECT_EQ(v.Probe(), 3);
    EXPECT_EQ(v.GetDriveIndex(), 3);
    EXPECT_EQ(v.m_placedBy, c.by);
    EXPECT_EQ(m.Calls("CreateFileA").size(), 1u);
    EXPECT_EQ(m.Calls("ReadFile").size(), 1u);  // the volume's own first sector only
    std::vector<DWORD> codes;
    for (const sim::Call& call : m.Calls("DeviceIoControl")) codes.push_back(call.code);
    EXPECT_EQ(codes, c.codes);
    EXPECT_EQ(m.OpenHandles(), 0);
  }
}

TEST_F(VolumeTest, TheSystemsDiskNumberIsTakenAsItIs) {
  struct Case {
    const char* name;
    bool ok;
    DWORD type;
    int64_t disk;
    DWORD returned;
    bool extents;  // whether the volume lists its pieces
    int64_t drive;
    size_t driveOpens;
  } cases[] = {
      {"disk 9", true, FILE_DEVICE_DISK, 9, 12, true, 9, 0},
      {"disk 10", true, FILE_DEVICE_DISK, 10, 12, true, 10, 0},
      {"disk 12", true, FILE_DEVICE_DISK, 12, 12, true, 12, 0},
      {"disk 4000000000", true, FILE_DEVICE_DISK, 4000000000ll, 12, true, 4000000000ll, 0},
      // No number from the system: the volume's pieces name the disk, or else its content.
      {"a volume manager's device", true, 0x22, 1, 12, true, 1, 0},
      {"request fails", false, FILE_DEVICE_DISK, 0, 12, true, 1, 0},
      {"answer cut short", true, FILE_DEVICE_DISK, 9, 8, true, 9, 0},  // its pieces say 9
      {"request fails, no pieces listed", false, FILE_DEVICE_DISK, 0, 12, false, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Machine m;
    sim::Installation in(m);
    for (int i = 0; i < 10; ++i) sim::AddAtaDrive(m, i, "D" + std::to_string(i), "", "", 0x4000, 0);
    sim::VolumeLayout layout;
    layout.letter = 'E';
    layout.drive = 1;
    layout.bootSector = sim::BuildNtfsBootSector(512, 8, 2048, 0xE1);
    sim::PlaceVolume(m, layout);
    sim::Volume& l = m.letters['E'];
    l.deviceNumberOk = c.ok;
    l.deviceType = c.type;
    l.diskNumber = c.ok ? c.disk : -1;
    l.deviceNumberReturned = c.returned;
    l.extentsOk = c.extents;
    CVolumeInfo v('E');
    v.Probe();
    EXPECT_EQ(v.GetDriveIndex(), c.drive);
    ASSERT_EQ(v.m_extents.size(), 1u);
    EXPECT_EQ(v.m_extents[0].offset, ByteCount(2048 * 512));
    EXPECT_EQ(m.Calls("CreateFileA").size(), 1 + c.driveOpens);
    EXPECT_EQ(m.OpenHandles(), 0);
  }
}

// A volume of `count` pieces on disks 0, 1, ..., piece i at sector 2048 + i.
sim::VolumeLayout Pieces(int count) {
  sim::VolumeLayout v;
  v.letter = 'S';
  v.bootSector = sim::BuildNtfsBootSector(512, 8, 0, 0x5BA4);
  for (int i = 0; i < count; ++i)
    v.pieces.push_back({static_cast<uint32_t>(i), 2048u + static_cast<uint64_t>(i), 1u << 21});
  return v;
}

TEST_F(VolumeTest, AVolumesPiecesNameItsDisksWhereTheSystemNamesNone) {
  struct Case {
    const char* name;
    int pieces;
    bool zero;       // the answer lists no piece
    DWORD claimed;   // the count the answer states, 0: the true one
    DWORD returned;  // the bytes it says it returned
    bool taken;
  } cases[] = {
      {"one piece", 1, false, 0, ~DWORD{0}, true},
      {"two pieces, asked again with room", 2, false, 0, ~DWORD{0}, true},
      {"forty pieces", 40, false, 0, ~DWORD{0}, true},
      {"no piece, as Wine answers", 1, true, 0, ~DWORD{0}, false},
      {"a count past what is trusted", 2, false, 129, ~DWORD{0}, false},
      {"a count whose size overflows 32 bits", 2, false, 0xFFFFFFFFu, ~DWORD{0}, false},
      {"more pieces counted than came back", 2, false, 0, 32, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Machine m;
    sim::Installation in(m);
    for (int i = 0; i < 2; ++i) sim::AddAtaDrive(m, i, "D" + std::to_string(i), "", "", 0x4000, 0);
    sim::PlaceVolume(m, Pieces(c.pieces));
    sim::Volume& l = m.letters['S'];
    l.zeroExtents = c.zero;
    l.claimedExtents = c.claimed;
    l.extentsReturned = c.returned;
    l.startingOffset = 63 * 512;  // what the partition request says: not where the volume is
    CVolumeInfo v('S');
    EXPECT_EQ(v.Probe(), 3);
    if (c.taken) {
      // The pieces decide both the disks and the start.
      ASSERT_EQ(v.m_extents.size(), static_cast<size_t>(c.pieces));
      for (size_t i = 0; i < v.m_extents.size(); ++i) {
        EXPECT_EQ(v.m_extents[i].disk, DiskNumber(static_cast<uint32_t>(i)));
        EXPECT_EQ(v.m_extents[i].offset, ByteCount((2048 + i) * 512));
      }
      EXPECT_EQ(v.m_startSector, 2048u);
      EXPECT_EQ(m.Calls("CreateFileA").size(), 1u) << "no drive read";
    } else {
      // No answer: the search by content, at the start the partition request gave.
      ASSERT_EQ(v.m_extents.size(), 1u);
      EXPECT_EQ(v.m_extents[0].disk, std::nullopt);
      EXPECT_EQ(v.m_startSector, 63u);
      EXPECT_EQ(m.Calls("CreateFileA").size(), 1u + 10);
    }
    EXPECT_EQ(m.OpenHandles(), 0);
  }
}

TEST_F(VolumeTest, CloneIsToldApartOnlyByTheSystem) {
  AddDrives(4);
  sim::PlaceVolume(machine, Ntfs('D', 3, 2048));
  machine.drives[1].WriteSector(2048, machine.drives[3].ReadSector(2048));
  CVolumeInfo asked('D');
  asked.Probe();
  EXPECT_EQ(asked.GetDriveIndex(), 3);
  // By content alone the lower number wins: the original, with its own geometry.
  machine.letters['D'].deviceNumberOk = false;
  machine.letters['D'].extentsOk = false;
  CVolumeInfo searched('D');
  searched.Probe();
  EXPECT_EQ(searched.GetDriveIndex(), 1);
}

TEST_F(VolumeTest, EncryptedVolumeMatchesNoDriveByContent) {
  AddDrives(2);
  sim::VolumeLayout layout = Ntfs('D', 1, 2048);
  layout.encryptionKey = 0x5EC2E7;
  sim::PlaceVolume(machine, layout);
  CVolumeInfo asked('D');
  asked.Probe();
  EXPECT_EQ(asked.GetDriveIndex(), 1);
  EXPECT_EQ(asked.GetDataStartSector(), 2048u);
  machine.letters['D'].deviceNumberOk = false;
  machine.letters['D'].extentsOk = false;
  CVolumeInfo searched('D');
  searched.Probe();
  EXPECT_EQ(searched.GetDriveIndex(), CVolumeInfo::kNoDrive);  // a row without a drive
  EXPECT_EQ(searched.GetDataStartSector(), 2048u);
}

TEST_F(VolumeTest, VolumeAtByteZeroComparesSectorZero) {
  AddDrives(2);
  PlaceSearched(Ntfs('D', 1, 0));
  CVolumeInfo v('D');
  v.Probe();
  EXPECT_EQ(v.m_startSector, 0u);
  EXPECT_EQ(v.GetDriveIndex(), 1);
}

TEST_F(VolumeTest, NoneOfTenDrivesMatchesNamesNoDrive) {
  AddDrives(10);
  sim::Volume& l = machine.letters['F'];
  sim::VolumeLayout layout = Ntfs('F', 0, 2048);
  sim::PlaceVolume(machine, layout);
  l.hostDrive = -1;  // a volume on a disk beyond the ten that are searched
  l.deviceNumberOk = false;
  l.extentsOk = false;
  l.startingOffset = 2048 * 512;
  l.ownSectors[0] = sim::BuildNtfsBootSector(512, 8, 99);
  CVolumeInfo v('F');
  EXPECT_EQ(v.Probe(), 3);
  EXPECT_EQ(v.GetDriveIndex(), CVolumeInfo::kNoDrive);
  EXPECT_EQ(Reads(), 11u);
  ExpectNothingLeft();
}

TEST_F(VolumeTest, GptPartitionsAnswerOnlyTheExtendedRequest) {
  AddDrives(1);
  sim::VolumeLayout gpt = Ntfs('G', 0, 264192);
  gpt.table = sim::PartitionTable::Gpt;
  sim::PlaceVolume(machine, gpt);
  machine.letters['G'].extentsOk = false;  // the partition requests are the fallback
  CVolumeInfo v('G');
  EXPECT_EQ(v.Probe(), 3);
  EXPECT_EQ(v.m_startSector, 264192u);
  EXPECT_EQ(v.GetDriveIndex(), 0);
  EXPECT_EQ(IoctlCodes(), (std::vector<DWORD>{0x560000, 0x74004, 0x70048, 0x2D1080}));
  const sim::Call ex = machine.Calls("DeviceIoControl")[2];
  EXPECT_EQ(ex.inSize, 0u);
  EXPECT_EQ(ex.outSize, 144u);

  // An MBR machine sends only what it always sent.
  machine.ClearLog();
  sim::PlaceVolume(machine, Ntfs('M', 0, 2048));
  machine.letters['M'].extentsOk = false;
  CVolumeInfo mbr('M');
  mbr.Probe();
  EXPECT_EQ(IoctlCodes(), (std::vector<DWORD>{0x560000, 0x74004, 0x2D1080}));
}

TEST_F(VolumeTest, PartitionAnswersThatGiveNoStart) {
  AddDrives(1);
  struct Case {
    const char* name;
    bool ok;
    int64_t offset;
    sim::PartitionTable table;
    DWORD returned;
  } cases[] = {
      {"both requests fail", false, 2048 * 512, sim::PartitionTable::Mbr, 32},
      {"negative offset", true, -512, sim::PartitionTable::Mbr, 32},
      {"negative offset, GPT", true, -512, sim::PartitionTable::Gpt, 144},
      {"answer without its offset", true, 2048 * 512, sim::PartitionTable::Mbr, 7},
      {"_EX answer without its offset", true, 2048 * 512, sim::PartitionTable::Gpt, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    machine.ClearLog();
    sim::PlaceVolume(machine, Ntfs('D', 0, 2048));
    machine.letters['D'].partitionInfoOk = c.ok;
    machine.letters['D'].startingOffset = c.offset;
    machine.letters['D'].table = c.table;
    machine.letters['D'].partitionReturned = c.returned;
    machine.letters['D'].deviceNumberOk = false;
    machine.letters['D'].extentsOk = false;
    CVolumeInfo v('D');
    EXPECT_EQ(v.Probe(), 3);
    EXPECT_EQ(v.m_failure, ProbeFailure::PartitionStart);
    EXPECT_EQ(v.m_startSector, ~uint64_t{0});
    EXPECT_EQ(v.GetDataStartSector(), ~uint64_t{0});
    EXPECT_TRUE(machine.Calls("SetFilePointer").empty()) << "nowhere to compare";
    EXPECT_EQ(v.GetDriveIndex(), -1);
    ExpectNothingLeft();
  }
}

TEST_F(VolumeTest, StartPastTwoTebibytesIsKeptWhole) {
  AddDrives(2);
  machine.drives[1].sectorCount = 1ull << 40;
  sim::VolumeLayout layout = Ntfs('D', 1, 5000000000ull);
  layout.table = sim::PartitionTable::Gpt;
  PlaceSearched(layout);
  CVolumeInfo v('D');
  v.Probe();
  EXPECT_EQ(v.m_startSector, 5000000000u);
  EXPECT_EQ(v.GetDataStartSector(), 5000000000u);
  for (const sim::Call& seek : machine.Calls("SetFilePointer"))
    EXPECT_EQ(seek.position, 5000000000ull * 512);
  EXPECT_EQ(v.GetDriveIndex(), 1);
}

TEST_F(VolumeTest, ClassificationCodes) {
  AddDrives(1);
  sim::PlaceVolume(machine, Ntfs('R', 0, 2048));
  machine.letters['R'].type = DRIVE_REMOVABLE;
  sim::PlaceVolume(machine, Ntfs('N', 0, 4096));
  machine.letters['N'].type = DRIVE_REMOTE;
  sim::PlaceVolume(machine, Ntfs('M', 0, 8192));
  machine.letters['M'].type = DRIVE_RAMDISK;
  sim::PlaceVolume(machine, Ntfs('O', 0, 9000));
  machine.letters['O'].type = DRIVE_CDROM;  // with a medium
  machine.letters['O'].bytesPerSector = 2048;
  machine.letters['O'].sectorsPerCluster = 1;
  machine.letters['P'] = machine.letters['O'];
  machine.letters['P'].freeSpaceOk = false;  // no medium

  CVolumeInfo r('R'), n('N'), m('M'), o('O'), p('P'), none('Q');
  EXPECT_EQ(r.Probe(), 3);
  EXPECT_EQ(n.Probe(), 7);
  EXPECT_TRUE(n.m_remote);
  EXPECT_EQ(m.Probe(), 0);
  EXPECT_EQ(none.Probe(), 0);
  machine.ClearLog();
  EXPECT_EQ(o.Probe(), 1);
  EXPECT_TRUE(o.m_probed);
  EXPECT_TRUE(o.m_optical);
  EXPECT_EQ(p.Probe(), 1);
  EXPECT_FALSE(p.m_probed);
  EXPECT_EQ(p.GetBytesPerSector(), 2048u);
  EXPECT_EQ(p.GetBytesPerCluster(), 2048u);
  EXPECT_TRUE(machine.Calls("CreateFileA").empty());  // optical drives get no device probe
  EXPECT_EQ(o.m_startSector, 0u);
  ExpectNothingLeft();
}

TEST_F(VolumeTest, SecondProbeKeepsTheFirstClassification) {
  AddDrives(1);
  sim::PlaceVolume(machine, Ntfs('D', 0, 2048));
  CVolumeInfo v('D');
  EXPECT_EQ(v.Probe(), 3);
  machine.letters['D'].type = DRIVE_REMOTE;
  EXPECT_EQ(v.Probe(), 3);
  EXPECT_FALSE(v.m_remote);
}

TEST_F(VolumeTest, DataStartIsASixtyFourBitSum) {
  CVolumeInfo v('C');
  v.m_startSector = 0xFFFFFFF0u;
  v.m_dataAreaOffset = 0x0F;
  EXPECT_EQ(v.GetDataStartSector(), 4294967295u);  // an ordinary sector
  v.m_dataAreaOffset = 0x20;
  EXPECT_EQ(v.GetDataStartSector(), 0x100000010u);
  v.m_dataAreaOffset = ~uint64_t{0};
  EXPECT_EQ(v.GetDataStartSector(), ~uint64_t{0});
  v.m_dataAreaOffset = 0;
  v.m_startSector = ~uint64_t{0};
  EXPECT_EQ(v.GetDataStartSector(), ~uint64_t{0});
  v.m_startSector = ~uint64_t{0} - 4;  // a sum past the last sector names none
  v.m_dataAreaOffset = 9;
  EXPECT_EQ(v.GetDataStartSector(), ~uint64_t{0});
}

TEST_F(VolumeTest, DeviceRequestsAreReadOnlyAndUnbuffered) {
  AddDrives(1, 4096);
  PlaceSearched(Ntfs('G', 0, 256));
  CVolumeInfo v('G');
  v.Probe();
  EXPECT_EQ(v.GetDriveIndex(), 0);
  for (const sim::Call& open : machine.Calls("CreateFileA")) {
    EXPECT_EQ(open.access, GENERIC_READ) << open.path;
    EXPECT_EQ(open.share, DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_EQ(open.disposition, DWORD(OPEN_EXISTING));
    EXPECT_EQ(open.flags, FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL);
  }
  const auto ioctls = machine.Calls("DeviceIoControl");
  ASSERT_EQ(ioctls.size(), 3u);  // pieces, partition, device number
  EXPECT_EQ(ioctls[0].code, 0x560000u);
  EXPECT_EQ(ioctls[0].inSize, 0u);
  EXPECT_EQ(ioctls[0].outSize, 32u);
  EXPECT_EQ(ioctls[1].code, 0x74004u);
  EXPECT_EQ(ioctls[1].outSize, 32u);
  ASSERT_EQ(machine.Calls("VirtualAlloc").size(), 1u);
  EXPECT_EQ(machine.Calls("VirtualAlloc")[0].size, 8192u);
  for (const sim::Call& read : machine.Calls("ReadFile")) EXPECT_EQ(read.size, 4096u);
  EXPECT_EQ(machine.Calls("SetFilePointer")[0].position, 256u * 4096);
  const auto names = machine.Calls("GetVolumeInformationA");
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].path, "G:\\");
  EXPECT_EQ(names[0].size, 128u);
}

TEST_F(VolumeTest, UnopenableVolumeDeterminesNothing) {
  AddDrives(1);
  sim::PlaceVolume(machine, Ntfs('D', 0, 2048));
  machine.letters['D'].open = Open::AccessDenied;
  CVolumeInfo v('D');
  EXPECT_EQ(v.Probe(), 3);
  EXPECT_EQ(v.m_startSector, ~uint64_t{0});
  EXPECT_EQ(v.m_dataAreaOffset, ~uint64_t{0});
  EXPECT_EQ(v.GetDriveIndex(), -1);
  EXPECT_EQ(machine.Calls("CreateFileA").size(), 1u);
  ExpectNothingLeft();
}

TEST_F(VolumeTest, ZeroBytesPerSectorIsAFailedGeometryQuery) {
  AddDrives(1);
  sim::PlaceVolume(machine, Ntfs('D', 0, 2048));
  machine.letters['D'].bytesPerSector = 0;
  machine.letters['E'] = machine.letters['D'];
  machine.letters['E'].type = DRIVE_CDROM;
  CVolumeInfo fixed('D'), optical('E');
  EXPECT_EQ(fixed.Probe(), 0);
  EXPECT_EQ(optical.Probe(), 1);
  EXPECT_EQ(optical.GetBytesPerSector(), 2048u);
  EXPECT_TRUE(machine.Calls("CreateFileA").empty());
  EXPECT_EQ(fixed.ClusterToSector(5), 0u);  // no division by zero
}

TEST_F(VolumeTest, SectorSizeTooLargeForTheBufferGetsNoBuffer) {
  AddDrives(1);
  sim::PlaceVolume(machine, Ntfs('D', 0, 2048));
  for (DWORD huge : {0x80000000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(huge);
    machine.ClearLog();
    machine.letters['D'].bytesPerSector = huge;
    machine.letters['D'].sectorsPerCluster = 1;
    CVolumeInfo v('D');
    EXPECT_EQ(v.Probe(), 3);
    EXPECT_TRUE(machine.Calls("VirtualAlloc").empty());
    EXPECT_TRUE(machine.Calls("ReadFile").empty());
    EXPECT_EQ(v.GetDriveIndex(), -1);
    EXPECT_EQ(v.GetDataStartSector(), ~uint64_t{0});
    ExpectNothingLeft();
  }
}

TEST_F(VolumeTest, FailedAllocationStopsTheDeviceWork) {
  AddDrives(1);
  sim::PlaceVolume(machine, Ntfs('D', 0, 2048));
  machine.addressSpace = 512;  // less than two sectors
  CVolumeInfo v('D');
  v.Probe();
  EXPECT_EQ(v.GetDriveIndex(), -1);
  EXPECT_EQ(v.m_dataAreaOffset, ~uint64_t{0});
  EXPECT_TRUE(machine.Calls("ReadFile").empty());
  EXPECT_EQ(machine.Calls("CreateFileA").size(), 1u);
  ExpectNothingLeft();
}

TEST_F(VolumeTest, FailedNameQueryCountsAsNotFat) {
  AddDrives(1);
  sim::PlaceVolume(machine, Fat('D', 0, 63, {512, 4, 1, 2, 512, 245, 0}, "FAT"));
  machine.letters['D'].fileSystemOk = false;
  CVolumeInfo v('D');
  v.Probe();
  EXPECT_EQ(v.m_dataAreaOffset, 0u);
  EXPECT_EQ(v.GetDataStartSector(), 63u);
  EXPECT_EQ(v.GetDriveIndex(), 0);
}

TEST_F(VolumeTest, FailedFirstSectorReadSearchesNoDrive) {
  AddDrives(2);
  sim::PlaceVolume(machine, Ntfs('D', 1, 2048));
  machine.failCall = 7;  // type, space, open, pieces, name, Windows' view, buffer, read
  CVolumeInfo v('D');
  v.Probe();
  ASSERT_EQ(machine.Log()[7].op, "ReadFile");
  EXPECT_EQ(v.GetDriveIndex(), -1);
  EXPECT_EQ(v.GetDataStartSector(), ~uint64_t{0});
  EXPECT_EQ(machine.Calls("CreateFileA").size(), 1u);
  ExpectNothingLeft();
}

TEST_F(VolumeTest, FailedDriveReadPassesThatDriveOver) {
  AddDrives(3);
  PlaceSearched(Ntfs('D', 2, 2048));
  machine.drives[1].sectorCount = 100;  // too small: the read at sector 2048 gets no bytes
  machine.drives[1].WriteSector(2048, machine.drives[2].ReadSector(2048));
  CVolumeInfo v('D');
  v.Probe();
  EXPECT_EQ(v.GetDriveIndex(), 2);
}

TEST_F(VolumeTest, NothingLeftOpenWhicheverCallFails) {
  // The longest paths: a GPT volume that answers the extended request, one whose drive is
  // found by content, and a volume over two disks whose pieces are asked for twice.
  enum Path { Asked, Searched, Pieces };
  for (Path path : {Asked, Searched, Pieces}) {
    SCOPED_TRACE(path);
    auto setup = [path](sim::Machine& m) {
      for (int i = 0; i < 3; ++i)
        sim::AddAtaDrive(m, i, "D" + std::to_string(i), "", "", 0x4000, 0);
      sim::VolumeLayout v;
      v.letter = 'E';
      v.drive = 2;
      v.startSector = 63;
      v.fileSystem = "FAT32";
      v.table = sim::PartitionTable::Gpt;
      v.bootSector = sim::BuildFatBootSector({512, 8, 32, 2, 0, 0, 1000});
      if (path == Pieces) v.pieces = {{2, 63, 1u << 20}, {1, 2048, 1u << 20}};
      sim::PlaceVolume(m, v);
      m.letters['E'].deviceNumberOk = path == Asked;
      m.letters['E'].extentsOk = path == Pieces;
    };
    FailEachCallInTurn(
        setup,
        [] {
          CVolumeInfo v('E');
          const int code = v.Probe();
          EXPECT_TRUE(code == 0 || code == 3) << code;
        },
        [](const sim::Machine&) {});
  }
}

}  // namespace
