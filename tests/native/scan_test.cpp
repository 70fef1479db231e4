#include <algorithm>
#include <map>
#include <set>

#include "app/report_program.h"
#include "platform/volume_names.h"
#include "report/report_text.h"
#include "scan_helpers.h"
#include "sim/lab.h"
#include "sim_fixture.h"
#include "test_machines.h"

namespace {

using Cells = std::array<std::string, 4>;

class ScanTest : public SimTest {
 protected:
  static Cells CellsOf(const ScanRow& row) { return report::VolumeCells(row); }
};

TEST_F(ScanTest, LabDrivesThenLettersInOrder) {
  sim::BuildLab(machine);
  CScan scan;
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(scan.Step().has_value()) << "drive " << i;
  EXPECT_EQ(g_drives[DiskNumber(9)].status, -1) << "drive 9 does not open";
  EXPECT_EQ(g_drives[DiskNumber(4)].status, 0);
  EXPECT_EQ(g_drives[DiskNumber(5)].geometry, GeometrySource::StorageDescriptor);
  EXPECT_TRUE(machine.Calls("GetDriveTypeA").empty()) << "no letter during the drive phase";

  std::vector<ScanRow> rows;
  int steps = 0;
  while (!scan.Finished()) {
    ++steps;
    const size_t before = machine.Log().size();
    if (auto row = scan.Step()) rows.push_back(std::move(*row));
    const StepWork work = WorkSince(machine.Log(), before);
    EXPECT_TRUE(work.OneUnitAtMost()) << "step " << steps << ": " << work.volumes.size()
                                      << " volumes, " << work.drives.size() << " drives";
  }
  // C to Z; the three volumes without a row asked where they lie (the removable I: and two
  // EFI system partitions); the two volumes mounted in folders; the two EFI system
  // partitions' boot sectors.
  EXPECT_EQ(steps, 24 + 3 + 2 + 2);

  EXPECT_EQ(rows.size(), 22u) << "the report's rows are checked where the console prints them";
  for (const ScanRow& row : rows) {
    ASSERT_NE(row.volume, nullptr);
    EXPECT_EQ(row.volume->m_letter, row.letter);
  }
  // Every letter C to Z asked once, never A or B.
  std::vector<std::string> roots;
  for (const sim::Call& c : machine.Calls("GetDriveTypeA"))
    if (c.path.size() == 3) roots.push_back(c.path);
  std::set<std::string> distinct(roots.begin(), roots.end());
  EXPECT_EQ(distinct.size(), 24u);
  EXPECT_EQ(roots.front(), "C:\\");
  EXPECT_EQ(distinct.count("A:\\") + distinct.count("B:\\"), 0u);
  ExpectNothingLeft();

  // Steps after the end do nothing.
  const size_t calls = machine.Log().size();
  EXPECT_FALSE(scan.Step().has_value());
  EXPECT_EQ(machine.Log().size(), calls);
}

// Forty volumes with neither letter nor folder (recovery and EFI system partitions of a
// server's many disks): each is asked where it lies, and its boot sector read, in a step of
// its own, so that no step of the window stalls on them.
TEST_F(ScanTest, VolumesWithoutARowTakeAStepEach) {
  AddVolumesWithoutAPath(machine, 40);
  CScan scan;
  int steps = 0, mostVolumes = 0;
  while (!scan.Finished() && steps < 200) {
    ++steps;
    const size_t before = machine.Log().size();
    scan.Step();
    const StepWork work = WorkSince(machine.Log(), before);
    EXPECT_TRUE(work.OneUnitAtMost()) << "step " << steps;
    mostVolumes = std::max(mostVolumes, static_cast<int>(work.volumes.size()));
  }
  EXPECT_EQ(steps, 5 + 24 + 40 + 40);  // four drives and the fifth that does not open
  EXPECT_EQ(mostVolumes, 1);
  for (DiskNumber d : g_drives.Listed())
    for (const Partition& p : g_drives[d].layout->partitions) EXPECT_TRUE(p.verdict) << p.number;
}

TEST_F(ScanTest, NoDriveOpensYetEveryVolumeKeepsItsRow) {
  sim::BuildLab(machine);
  for (auto& [number, d] : machine.drives) d.open = sim::Open::AccessDenied;
  const ScanRun run = RunWholeScan();
  EXPECT_EQ(g_drives[DiskNumber(0)].status, -2);
  EXPECT_EQ(run.steps, 1 + 24 + 3 + 2) << "the drive phase ended at drive 0; no table to read";
  // The system still says which disk holds each volume; nothing says how its sectors lie.
  ASSERT_EQ(run.rows.size(), 22u);
  EXPECT_EQ(run.rows[0].drive, DiskNumber(0));
  EXPECT_EQ(run.rows[14].drive, DiskNumber(11));
  EXPECT_EQ(run.rows[15].drive, DiskNumber(13));
  EXPECT_EQ(run.rows[16].drive, DiskNumber(2));  // V:, by its pieces
  EXPECT_EQ(run.rows[20].drive, DiskNumber(3));
  for (const ScanRow& row : run.rows) {
    EXPECT_STREQ(row.driveName, "") << row.letter;
    EXPECT_EQ(row.verdict, Verdict::Undetermined) << row.letter;
  }
  // Each disk a volume names is tried once, and listed with its failure.
  size_t driveOpens = 0;
  for (const std::string& path : OpenedPaths())
    driveOpens += path.find("PhysicalDrive") != std::string::npos;
  EXPECT_EQ(driveOpens, 16u);
  EXPECT_EQ(Numbers(g_drives.Listed()),
            (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16}));
  EXPECT_EQ(g_drives[DiskNumber(8)].status, -2);
}

TEST_F(ScanTest, AllTenDrivesOpen) {
  for (int i = 0; i < 10; ++i)
    sim::AddAtaDrive(machine, i, "D" + std::to_string(i), "", "", 0x6003, 0x4000);
  const ScanRun run = RunWholeScan();
  EXPECT_EQ(run.steps, 10 + 24);
  for (uint32_t n = 0; n < 10; ++n) EXPECT_EQ(g_drives[DiskNumber(n)].status, 1) << n;
  size_t driveOpens = 0;
  for (const std::string& path : OpenedPaths())
    driveOpens += path.find("PhysicalDrive") != std::string::npos;
  EXPECT_EQ(driveOpens, 10u);
}

TEST_F(ScanTest, DisksBehindAGapOrPastTheTenthAreIdentifiedWhenAVolumeNamesThem) {
  struct Case {
    const char* name;
    int64_t disk;       // the number the system gives the volume's disk; -1: it says none
    bool diskOpens;     // whether that disk opens
    bool pieces;        // whether the volume lists its pieces
    Cells cells;
    Verdict verdict;
  } cases[] = {
      {"disk 2 behind a gap at 1", 2, true, true, {"P:", "2", "DISK", "2048"}, Verdict::Aligned},
      {"disk 9 behind a gap at 1", 9, true, true, {"P:", "9", "DISK", "2048"}, Verdict::Aligned},
      {"disk 10", 10, true, true, {"P:", "10", "DISK", "2048"}, Verdict::Aligned},
      {"disk 12", 12, true, true, {"P:", "12", "DISK", "2048"}, Verdict::Aligned},
      {"disk 4000000000", 4000000000ll, true, true, {"P:", "4000000000", "DISK", "2048"},
       Verdict::Aligned},
      {"disk 12, held by another program", 12, false, true, {"P:", "12", "", "2048"},
       Verdict::Undetermined},
      {"disk 12 by its pieces", -1, true, true, {"P:", "12", "DISK", "2048"}, Verdict::Aligned},
      {"encrypted, no number, no pieces", -1, true, false, {"P:", "", "", "2048"},
       Verdict::Undetermined},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Machine m;
    sim::Installation in(m);
    sim::AddAtaDrive(m, 0, "D0", "", "", 0x6003, 0x4000);  // drive 1 is missing: a gap
    const uint32_t disk = c.disk >= 0 ? static_cast<uint32_t>(c.disk) : 12;
    sim::AddAtaDrive(m, disk, "DISK", "", "", 0x6003, 0x4000);
    if (!c.diskOpens) m.drives[disk].open = sim::Open::SharingViolation;
    sim::VolumeLayout v;
    v.letter = 'P';
    v.drive = disk;
    v.bootSector = sim::BuildNtfsBootSector(512, 8, 2048);
    v.encryptionKey = c.pieces ? 0 : 0x1234;
    sim::PlaceVolume(m, v);
    m.letters['P'].deviceNumberOk = c.disk >= 0;
    m.letters['P'].extentsOk = c.pieces;
    const ScanRun run = RunWholeScan();
    EXPECT_EQ(run.steps, 2 + 24) << "the drive phase ends at the gap";
    ASSERT_EQ(run.rows.size(), 1u);
    EXPECT_EQ(CellsOf(run.rows[0]), c.cells);
    EXPECT_EQ(run.rows[0].verdict, c.verdict);
    // Listed after the drive phase's drives, with its failure if it did not open.
    const std::vector<uint32_t> listed =
        c.cells[1].empty() ? std::vector<uint32_t>{0} : std::vector<uint32_t>{0, disk};
    EXPECT_EQ(Numbers(g_drives.Listed()), listed);
  }
}

TEST_F(ScanTest, ADiskIsIdentifiedOnceHoweverManyVolumesItHolds) {
  sim::AddAtaDrive(machine, 0, "D0", "", "", 0x6003, 0x4000);
  sim::AddAtaDrive(machine, 12, "D12", "", "", 0x6003, 0x4000);
  for (char letter : {'P', 'Q', 'R'}) {
    sim::VolumeLayout v;
    v.letter = letter;
    v.drive = 12;
    v.startSector = 2048u * static_cast<uint64_t>(letter - 'O');
    v.bootSector = sim::BuildNtfsBootSector(512, 8, 0, static_cast<uint64_t>(letter));
    sim::PlaceVolume(machine, v);
  }
  const ScanRun run = RunWholeScan();
  ASSERT_EQ(run.rows.size(), 3u);
  size_t opens = 0;
  for (const std::string& path : OpenedPaths()) opens += path == "\\\\.\\PhysicalDrive12";
  EXPECT_EQ(opens, 1u);
  EXPECT_EQ(Numbers(g_drives.Listed()), (std::vector<uint32_t>{0, 12}));
}

TEST_F(ScanTest, LargestThirtyTwoBitDataStartPrintsInFull) {
  sim::AddAtaDrive(machine, 0, "BIG", "", "", 0x6003, 0x4000);
  sim::FatParams p;
  p.reservedSectors = 15;
  p.fats = 0;
  p.rootEntries = 0;
  p.fatSize32 = 0;
  sim::VolumeLayout v;
  v.letter = 'Q';
  v.startSector = 0xFFFFFFF0u;  // data area 15 sectors on: 2^32 - 1
  v.fileSystem = "FAT32";
  v.bootSector = sim::BuildFatBootSector(p);
  sim::PlaceVolume(machine, v);
  const ScanRun run = RunWholeScan();
  ASSERT_EQ(run.rows.size(), 1u);
  EXPECT_EQ(CellsOf(run.rows[0])[3], "4294967295");
}

TEST_F(ScanTest, LettersThatAreNotFixedOrHaveNoStartGiveNoRow) {
  sim::BuildLab(machine);
  for (char l : {'C', 'D', 'E', 'F', 'G', 'L', 'M', 'N', 'O', 'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'X',
                 'Y', 'Z'})
    machine.letters.erase(l);
  machine.unlettered.clear();
  // Fixed, but nothing says where it starts.
  machine.letters['H'].partitionInfoOk = machine.letters['H'].extentsOk = false;
  machine.letters['L'] = machine.letters['I'];
  machine.letters['L'].type = DRIVE_RAMDISK;
  EXPECT_TRUE(RunWholeScan().rows.empty());
}

// What the letter phase asks of the physical drives, from the machine's call log.
struct DriveWork {
  int opens = 0, reads = 0;
};
DriveWork LetterPhaseDriveWork(const sim::Machine& m) {
  DriveWork work;
  std::set<HANDLE> drives;
  bool letters = false;
  for (const sim::Call& c : m.Log()) {
    letters = letters || c.op == "GetDriveTypeA";
    if (!letters) continue;
    if (c.op == "CreateFileA" && c.path.find("PhysicalDrive") != std::string::npos) {
      ++work.opens;
      drives.insert(c.handle);
    }
    if (c.op == "ReadFile" && drives.count(c.handle)) ++work.reads;
  }
  return work;
}

TEST_F(ScanTest, VolumesPlacedByTheSystemWakeNoDrive) {
  // The lab's MBR drives 0 to 4 and their letters C to H.
  auto mbrLab = [](sim::Machine& m) {
    sim::BuildLab(m);
    m.drives.erase(m.drives.find(5), m.drives.end());
    for (char l = 'L'; l <= 'Z'; ++l) m.letters.erase(l);
    m.unlettered.clear();
  };
  mbrLab(machine);
  const ScanRun asked = RunWholeScan();
  const DriveWork askedWork = LetterPhaseDriveWork(machine);
  EXPECT_EQ(askedWork.opens, 0);
  EXPECT_EQ(askedWork.reads, 0);

  // The same machine searched by content: each volume reads drives 0 up to its own.
  sim::Machine searched;
  sim::Installation in(searched);
  mbrLab(searched);
  for (auto& [letter, l] : searched.letters) l.deviceNumberOk = l.extentsOk = false;
  const ScanRun search = RunWholeScan();
  const DriveWork searchWork = LetterPhaseDriveWork(searched);
  EXPECT_EQ(searchWork.opens, 1 + 1 + 2 + 3 + 4 + 5);  // C, D on 0; E on 1; ...; H on 4
  EXPECT_EQ(searchWork.reads, searchWork.opens);

  ASSERT_EQ(asked.rows.size(), 6u);
  ASSERT_EQ(search.rows.size(), 6u);
  for (size_t r = 0; r < 6; ++r) {
    EXPECT_EQ(CellsOf(asked.rows[r]), CellsOf(search.rows[r]));
    EXPECT_EQ(asked.rows[r].verdict, search.rows[r].verdict);
  }
}

TEST(ScanFaultTest, EveryFailedCallStillEndsTheScanWithConsistentRows) {
  int runs = 0;
  FailEachCallInTurn([](sim::Machine& m) { sim::BuildLab(m); },
                     [&] {
                       ++runs;
                       g_drives.Clear();
                       const ScanRun run = RunWholeScan(50);
                       // Drives, letters, and for each of the five volumes the
                       // list names a step, and at most one more for its boot sector.
                       EXPECT_LE(run.steps, 10 + 24 + 5 + 5);
                       EXPECT_LE(run.rows.size(), 22u);  // V: too, placed by its pieces
                       // Letters in order, then the volumes mounted in folders.
                       char previous = 'B';
                       for (const ScanRow& row : run.rows) {
                         if (row.letter == 0) {
                           EXPECT_TRUE(row.name == "C:\\SQL\\Data\\" || row.name == "C:\\VM\\");
                           previous = 'Z' + 1;
                           continue;
                         }
                         EXPECT_GT(row.letter, previous);
                         previous = row.letter;
                         EXPECT_LE(row.letter, 'Z');
                         EXPECT_TRUE(!row.drive || row.drive->value <= 8 ||
                                     (row.drive->value >= 10 && row.drive->value <= 16));
                         EXPECT_NE(row.dataStart, Sectors(~uint64_t{0}));
                       }
                     },
                     [](const sim::Machine&) {});
  EXPECT_GT(runs, 100);
}

// A fixed volume that gets no row is named, with what kept it from being examined.
TEST_F(ScanTest, EveryFixedVolumeWithoutARowIsNamedWithItsReason) {
  const struct {
    const char* name;
    void (*spoil)(sim::Machine&, sim::Volume&);
    ProbeFailure reason;
  } cases[] = {
      {"sizes", [](sim::Machine&, sim::Volume& v) { v.freeSpaceOk = false; },
       ProbeFailure::Sizes},
      {"the type it no longer has", [](sim::Machine& m, sim::Volume&) { m.failCall = 2; },
       ProbeFailure::DriveType},
      {"device open", [](sim::Machine&, sim::Volume& v) { v.open = sim::Open::AccessDenied; },
       ProbeFailure::DeviceOpen},
      {"partition start",
       [](sim::Machine&, sim::Volume& v) { v.partitionInfoOk = v.extentsOk = false; },
       ProbeFailure::PartitionStart},
      {"first sector", [](sim::Machine& m, sim::Volume&) { m.addressSpace = 512; },
       ProbeFailure::FirstSector},
  };
  for (const auto& c : cases) {
    for (bool mounted : {false, true}) {
      // The failed call is counted for a letter's calls.
      if (mounted && c.reason == ProbeFailure::DriveType) continue;
      SCOPED_TRACE(std::string(c.name) + (mounted ? ", mounted in a folder" : ""));
      sim::Machine m;
      sim::Installation in(m);
      sim::VolumeLayout v;
      v.letter = mounted ? 0 : 'C';
      v.volumeName = mounted ? "\\\\?\\Volume{0d474}\\" : "";
      v.mountPaths = {"C:\\SQL\\Data\\"};
      sim::PlaceVolume(m, v);  // on drive 0, which does not open
      c.spoil(m, mounted ? m.unlettered.begin()->second : m.letters['C']);
      CScan scan;
      while (!scan.Finished()) EXPECT_FALSE(scan.Step().has_value());
      ASSERT_EQ(scan.Skipped().size(), 1u);
      EXPECT_EQ(scan.Skipped()[0].name, mounted ? "C:\\SQL\\Data\\" : "C:");
      EXPECT_EQ(scan.Skipped()[0].reason, c.reason);
      EXPECT_EQ(m.OpenHandles(), 0);
    }
  }
}

// Volumes in folders are found after the letters, each examined once.
TEST_F(ScanTest, VolumesMountedInFoldersGetRowsAfterTheLetters) {
  std::vector<std::string> many;
  for (int i = 0; i < 30; ++i) many.push_back("C:\\Databases\\Instance" + std::to_string(i) + "\\");
  const struct {
    const char* name;
    char letter;
    std::vector<std::string> paths;
    UINT type;
    void (*machine)(sim::Machine&);
    std::vector<std::string> rowPaths;  // empty: no row
  } cases[] = {
      {"one folder", 0, {"C:\\SQL\\Data\\"}, DRIVE_FIXED, nullptr, {"C:\\SQL\\Data\\"}},
      {"names without their backslash", 0, {"C:\\SQL\\Data\\"}, DRIVE_FIXED,
       [](sim::Machine& m) { m.namesWithoutBackslash = true; }, {"C:\\SQL\\Data\\"}},
      {"thirty folders: the list takes a second call", 0, many, DRIVE_FIXED, nullptr, many},
      {"a list that asks for too little", 0, many, DRIVE_FIXED,
       [](sim::Machine& m) { m.claimedPathsLength = 100; }, {}},
      {"a letter and a folder: examined under its letter", 'E', {"C:\\SQL\\Data\\"}, DRIVE_FIXED,
       nullptr, {"E:\\", "C:\\SQL\\Data\\"}},
      {"neither letter nor folder", 0, {}, DRIVE_FIXED, nullptr, {}},
      {"removable", 0, {"C:\\Card\\"}, DRIVE_REMOVABLE, nullptr, {}},
      {"no list of volumes", 0, {"C:\\SQL\\Data\\"}, DRIVE_FIXED,
       [](sim::Machine& m) { m.enumerationOk = false; }, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Machine m;
    sim::Installation in(m);
    sim::AddAtaDrive(m, 0, "D0", "", "", 0x6003, 0x4000);
    sim::VolumeLayout v;
    v.letter = c.letter;
    v.volumeName = "\\\\?\\Volume{5e55a2e1-0000-4000-8000-00000000d474}\\";
    v.mountPaths = c.paths;
    v.startSector = 63;
    v.type = c.type;
    v.bootSector = sim::BuildNtfsBootSector(512, 8, 63);
    sim::PlaceVolume(m, v);
    if (c.machine) c.machine(m);
    const ScanRun run = RunWholeScan();
    EXPECT_EQ(m.OpenHandles(), 0);
    if (c.rowPaths.empty()) {
      EXPECT_TRUE(run.rows.empty());
      continue;
    }
    ASSERT_EQ(run.rows.size(), 1u);
    const ScanRow& row = run.rows[0];
    EXPECT_EQ(row.name, c.letter ? std::string(1, c.letter) + ":" : c.paths.front());
    EXPECT_EQ(row.letter, c.letter);
    EXPECT_EQ(row.paths, c.rowPaths);
    EXPECT_EQ(CellsOf(row), (Cells{row.name, "0", "D0", "63"}));
    EXPECT_EQ(row.verdict, Verdict::Misaligned);
  }
}

// A partition without a row is judged where its data begins: a FAT or exFAT one past its
// allocation tables, read through Windows' volume on it; one Windows has no volume for by
// its start. Its clusters are never judged.
TEST_F(ScanTest, PartitionsWithoutARowAreJudgedWhereTheirDataBegins) {
  const auto fat = [](uint16_t reserved) {
    sim::FatParams p = sim::Fat32Layout(2014, 1, reserved);
    p.fatSize32 = 16;  // data area: reserved + 32
    return sim::BuildFatBootSector(p);
  };
  const struct {
    const char* what;
    const char* type;
    uint16_t reserved;          // 0: an NTFS boot sector
    UINT volumeType;            // DRIVE_NO_ROOT_DIR: no Windows volume on it
    bool opens, standardUser;
    Verdict verdict;
    Undetermined reason;
    std::optional<uint64_t> moveTo;
  } cases[] = {
      {"an EFI system partition, read through its volume", sim::gpt::kEfiSystem, 32, DRIVE_FIXED,
       true, false, Verdict::Misaligned, Undetermined::None, 40},
      {"whose volume does not open", sim::gpt::kEfiSystem, 32, DRIVE_FIXED, false, false,
       Verdict::Undetermined, Undetermined::BootSectorUnread, std::nullopt},
      {"as a standard user", sim::gpt::kEfiSystem, 32, DRIVE_FIXED, true, true,
       Verdict::Undetermined, Undetermined::DataAreaNeedsRights, std::nullopt},
      {"FAT on a basic data partition: its data on the grid, its start off",
       "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", 38, DRIVE_FIXED, true, false, Verdict::Aligned,
       Undetermined::None, std::nullopt},
      {"a removable letter's FAT", sim::gpt::kEfiSystem, 38, DRIVE_REMOVABLE, true, false,
       Verdict::Aligned, Undetermined::None, std::nullopt},
      {"a recovery partition: NTFS, by its start", sim::gpt::kRecovery, 0, DRIVE_FIXED, true,
       false, Verdict::Misaligned, Undetermined::None, 40},
      {"no Windows volume: by its start", sim::gpt::kEfiSystem, 38, DRIVE_NO_ROOT_DIR, true,
       false, Verdict::Misaligned, Undetermined::None, 40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Machine m;
    sim::Installation in(m);
    sim::AddAtaDrive(m, 0, "D0", "", "", 0x6003, 0x4000);
    sim::VolumeLayout v;
    v.letter = c.volumeType == DRIVE_REMOVABLE ? 'E' : 0;
    v.volumeName = "\\\\?\\Volume{5e55a2e1-ef15-4a7a-8d3b-0000000000e5}\\";
    v.startSector = 34;
    v.sectors = 2014;
    v.table = sim::PartitionTable::Gpt;
    v.gptType = c.type;
    v.fileSystem = c.reserved != 0 ? "FAT32" : "NTFS";
    v.bootSector = c.reserved != 0 ? fat(c.reserved) : sim::BuildNtfsBootSector(512, 8, 34);
    v.type = c.volumeType;
    if (c.volumeType == DRIVE_NO_ROOT_DIR)
      sim::AddPartition(m, 0, sim::PartitionTable::Gpt, {34, 2014, 0, c.type, false});
    else
      sim::PlaceVolume(m, v);
    if (!c.opens) m.unlettered.begin()->second.open = sim::Open::AccessDenied;
    if (c.standardUser) m.user = sim::User::Standard;
    CScan scan(c.standardUser ? AccessMode::QueryOnly : AccessMode::Raw);
    while (!scan.Finished()) scan.Step();
    ASSERT_TRUE(g_drives[DiskNumber(0)].layout && g_drives[DiskNumber(0)].layout->partitions.size() == 1);
    const Partition& p = g_drives[DiskNumber(0)].layout->partitions[0];
    EXPECT_EQ(p.verdict, c.verdict);
    EXPECT_EQ(p.reason, c.reason);
    EXPECT_EQ(p.advice && p.advice->moveTo ? std::optional<uint64_t>(p.advice->moveTo->value)
                                           : std::nullopt,
              c.moveTo);
    EXPECT_FALSE(p.advice && p.advice->format) << "never told to format";
    EXPECT_EQ(m.OpenHandles(), 0);
  }
}

// Advice is for a partition a partition tool moves whole: the volume is all of it, and it
// holds no other volumes.
TEST_F(ScanTest, OnlyAVolumeThatIsAllOfItsPartitionIsAdvisedToMove) {
  const struct {
    const char* what;
    uint8_t partitionType;
    uint64_t partitionSectors, pieceSectors;
    bool advised;
  } cases[] = {
      {"a basic partition", 0x07, 100000, 100000, true},
      {"a dynamic volume at its LDM partition's first byte", 0x42, 1000000, 100000, false},
      {"a volume shorter than the partition it starts on", 0x07, 1000000, 100000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Machine m;
    sim::Installation in(m);
    sim::AddAtaDrive(m, 0, "D0", "", "", 0x6003, 0x4000);
    sim::AddPartition(m, 0, sim::PartitionTable::Mbr, {63, c.partitionSectors, c.partitionType, "", false});
    sim::VolumeLayout v;
    v.letter = 'C';
    v.bootSector = sim::BuildNtfsBootSector(512, 8, 63);
    v.pieces = {{0, 63, c.pieceSectors}};  // as the volume manager lists it
    sim::PlaceVolume(m, v);
    const ScanRun run = RunWholeScan();
    ASSERT_EQ(run.rows.size(), 1u);
    EXPECT_EQ(run.rows[0].verdict, Verdict::Misaligned);
    EXPECT_EQ(run.rows[0].advice.has_value(), c.advised);
  }
}

}  // namespace

// The list of volumes is whole only when Windows says it has no more; refused or cut at
// the most it takes, it is not, and says why.
TEST(VolumeListTest, WholeOnlyWhenWindowsSaysItEnded) {
  const struct {
    const char* what;
    size_t volumes;
    bool refused;
    bool complete;
    uint32_t error;
  } cases[] = {
      {"no volume", 0, false, true, 0},
      {"as many as it takes", kMostVolumes, false, true, 0},
      {"one more than it takes", kMostVolumes + 1, false, false, 0},
      {"refused", 3, true, false, ERROR_ACCESS_DENIED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Machine m;
    const sim::Installation in(m);
    for (size_t i = 0; i < c.volumes; ++i)
      m.unlettered["\\\\?\\Volume{" + std::to_string(100000 + i) + "}\\"] = sim::Volume{};
    m.enumerationOk = !c.refused;
    const VolumeList list = VolumeNames();
    EXPECT_EQ(list.complete, c.complete);
    EXPECT_EQ(list.error, c.error);
    EXPECT_EQ(list.names.size(), c.refused ? 0 : std::min(c.volumes, kMostVolumes));
  }
}

// What a scan asks grows with its volumes, not with what its outputs write: at 4,032
// volumes over 256 disks, the JSON run (which names each volume and path in Unicode) asks
// at most 16 questions a volume after the drive phase; the volume calls alone take about 12.
TEST(ScanCostTest, AtMostSixteenQuestionsAVolume) {
  sim::Machine machine;
  sim::Installation installation(machine);
  test_machines::AddManyVolumes(machine, 4032, 256);
  std::string out, err;
  RunReport({"--json"}, {{"Drive", "Drv No", "Drive Name", "Offset"}, "", ""}, &out, &err);
  const std::vector<sim::Call>& log = machine.Log();
  const auto letters = std::find_if(log.begin(), log.end(),
                                    [](const sim::Call& c) { return c.op == "GetDriveTypeA"; });
  const auto asked = static_cast<size_t>(log.end() - letters);
  std::map<std::string, size_t> byCall;
  for (auto c = letters; c != log.end(); ++c) ++byCall[c->op];
  std::string calls;
  for (const auto& [op, n] : byCall) calls += " " + op + " " + std::to_string(n);
  EXPECT_LE(asked, 16u * 4032) << static_cast<double>(asked) / 4032 << " a volume:" << calls;
}
