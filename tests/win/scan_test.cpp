#include <set>

#include "dialog_fixture.h"
#include "inspect/alignment.h"

namespace {

using wintest::ListData;
using wintest::ListRows;
using wintest::ListState;

class ScanTest : public ReportWindowTest {
 protected:
  bool Finished() const {
    return wintest::WindowText(dlg.m_btnOk) == "Ok" && ::IsWindowEnabled(dlg.m_btnOk) &&
           ::IsWindowVisible(dlg.m_btnCopy);
  }
};

TEST_F(ScanTest, LabScanRowsInLetterOrderOnePerTickAtMost) {
  sim::BuildLab(machine);
  Open();
  Ticks(10);  // drives 0..8 open, drive 9 does not
  EXPECT_EQ(dlg.m_cursor, 'C');
  EXPECT_EQ(g_drives[9].status, -1);
  EXPECT_EQ(g_drives[4].status, 0);
  EXPECT_EQ(g_drives[5].status, 0);
  EXPECT_EQ(g_drives[5].geometry, GeometrySource::StorageDescriptor);
  EXPECT_EQ(ListRows(list), 0);

  int rows = 0;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    EXPECT_FALSE(Finished()) << letter;
    Tick();
    const int now = ListRows(list);
    EXPECT_LE(now - rows, 1) << letter;
    rows = now;
  }
  EXPECT_EQ(dlg.m_cursor, '[');
  EXPECT_TRUE(Finished());
  EXPECT_FALSE(::KillTimer(dlg.m_hWnd, 0)) << "the timer was stopped";

  struct Row {
    const char *drive, *number, *name, *offset;
    UINT state;
  } expected[] = {
      {"C:", "0", "KESTREL KD4000-512E", "2048", 0x0000},
      {"D:", "0", "KESTREL KD4000-512E", "63", 0x1000},
      {"E:", "1", "KESTREL KD2000-SHIFT", "63", 0x0000},
      {"F:", "2", "ORMOLU OM500 CLASSIC", "2095", 0x0000},
      {"G:", "3", "KESTREL KD1000-512E", "4080", 0x1000},
      {"H:", "4", "VITRELLE PORTA-DISK 2T", "2048", 0x2000},
      {"L:", "5", "NVMe VOLANTE VX2 1TB", "2048", 0x0000},
      {"M:", "5", "NVMe VOLANTE VX2 1TB", "1026047", 0x1000},
      {"N:", "6", "KESTREL KD8000-512E", "5000000000", 0x0000},
      {"O:", "6", "KESTREL KD8000-512E", "2048", 0x0000},
      {"P:", "7", "ORMOLU OM1000 CLASSIC", "63", 0x0000},
      {"Q:", "8", "KESTREL KD2000-512E", "63", 0x1000},
  };
  ASSERT_EQ(ListRows(list), 12);
  for (int r = 0; r < 12; ++r) {
    SCOPED_TRACE(expected[r].drive);
    EXPECT_EQ(Cell(r, 0), expected[r].drive);
    EXPECT_EQ(Cell(r, 1), expected[r].number);
    EXPECT_EQ(Cell(r, 2), expected[r].name);
    EXPECT_EQ(Cell(r, 3), expected[r].offset);
    EXPECT_EQ(ListState(list, r), expected[r].state);
    const auto* record = reinterpret_cast<const CVolumeInfo*>(ListData(list, r));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_letter, expected[r].drive[0]);
  }
}

TEST_F(ScanTest, NoDriveOpensYetEveryVolumeKeepsItsRow) {
  sim::BuildLab(machine);
  for (sim::Drive& d : machine.drives) d.open = sim::Open::AccessDenied;
  Open();
  Tick();
  EXPECT_EQ(g_drives[0].status, -2);
  EXPECT_EQ(dlg.m_cursor, 'C');
  EXPECT_EQ(RunScan(), 24);
  EXPECT_TRUE(Finished());
  std::set<std::string> roots;
  for (const sim::Call& c : machine.Calls("GetDriveTypeA")) roots.insert(c.path);
  EXPECT_EQ(roots.size(), 24u);  // C to Z, never A or B
  EXPECT_EQ(roots.count("A:\\") + roots.count("B:\\"), 0u);
  EXPECT_EQ(machine.Calls("GetDriveTypeA").front().path, "C:\\");
  // The system still says which disk holds each volume; nothing says how its sectors lie.
  ASSERT_EQ(ListRows(list), 12);
  EXPECT_EQ(Cell(0, 1), "0");
  EXPECT_EQ(Cell(11, 1), "8");
  for (int r = 0; r < 12; ++r) {
    EXPECT_EQ(Cell(r, 2), "") << r;
    EXPECT_EQ(ListState(list, r), 0x2000u) << r;
  }
}

TEST_F(ScanTest, VolumeThatNoDriveHoldsGetsAnUndeterminedRow) {
  // Fewer than ten drives, and a volume the system does not place (a dynamic disk)
  // whose content matches none of them: an encrypted one.
  sim::AddAtaDrive(machine, 0, "FIRST", "", "", 0x6003, 0x4000);
  sim::VolumeSpec v;
  v.letter = 'R';
  v.bootSector = sim::BuildNtfsBootSector(512, 8, 2048);
  v.encryptionKey = 0x1234;
  sim::PlaceVolume(machine, v);
  machine.letters['R'].deviceNumberOk = false;
  Open();
  RunScan();
  ASSERT_EQ(ListRows(list), 1);
  EXPECT_EQ(Cell(0, 0), "R:");
  EXPECT_EQ(Cell(0, 1), "");
  EXPECT_EQ(Cell(0, 2), "");
  EXPECT_EQ(Cell(0, 3), "2048");
  EXPECT_EQ(ListState(list, 0), 0x2000u);
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

TEST_F(ScanTest, VolumesThatAnswerTheirDeviceNumberWakeNoDrive) {
  // The lab's MBR drives and their letters C to H.
  sim::BuildLab(machine);
  for (int i = 5; i < 10; ++i) machine.drives[i] = sim::Drive();
  for (char l = 'L'; l <= 'Q'; ++l) machine.letters.erase(l);
  Open();
  RunScan();
  const DriveWork asked = LetterPhaseDriveWork(machine);
  EXPECT_EQ(asked.opens, 0);
  EXPECT_EQ(asked.reads, 0);
  ASSERT_EQ(ListRows(list), 6);

  // The same machine searched by content: drive N's volumes read drives 0..N.
  ::DestroyWindow(dlg.m_hWnd);
  machine.ClearLog();
  for (auto& [letter, l] : machine.letters) l.deviceNumberOk = false;
  COffsetDlg searched;
  ASSERT_TRUE(searched.Create());
  for (int tick = 0; tick < 40 && searched.m_cursor != '['; ++tick)
    searched.SendMessage(WM_TIMER, 0);
  const DriveWork search = LetterPhaseDriveWork(machine);
  EXPECT_EQ(search.opens, 1 + 1 + 2 + 3 + 4 + 5);  // C, D on 0; E on 1; F on 2; G on 3; H on 4
  EXPECT_EQ(search.reads, search.opens);
  EXPECT_EQ(ListRows(searched.m_list), 6);
  ::DestroyWindow(searched.m_hWnd);
}

TEST_F(ScanTest, AllTenDrivesOpen) {
  for (int i = 0; i < 10; ++i)
    sim::AddAtaDrive(machine, i, "D" + std::to_string(i), "", "", 0x6003, 0x4000);
  Open();
  Ticks(9);
  EXPECT_EQ(dlg.m_cursor, 9);
  Tick();
  EXPECT_EQ(dlg.m_cursor, 'C');
  for (const DriveInfo& d : g_drives) EXPECT_EQ(d.status, 1);
  EXPECT_EQ(OpenedPaths().size(), 10u);
}

TEST_F(ScanTest, VolumeOnADriveTheDrivePhaseNeverReached) {
  sim::AddAtaDrive(machine, 0, "FIRST", "", "", 0x6003, 0x4000);
  sim::AddAtaDrive(machine, 1, "READ ONLY", "", "", 0x6003, 0x4000);
  machine.drives[1].open = sim::Open::ReadOnly;  // ends the drive phase, yet opens for reading
  sim::AddAtaDrive(machine, 2, "THIRD", "", "", 0x6003, 0x4000);
  sim::VolumeSpec v;
  v.letter = 'M';
  v.drive = 2;
  v.bootSector = sim::BuildNtfsBootSector(512, 8, 2048);
  sim::PlaceVolume(machine, v);
  Open();
  RunScan();
  EXPECT_EQ(g_drives[1].status, -2);
  ASSERT_EQ(ListRows(list), 1);
  EXPECT_EQ(Cell(0, 0), "M:");
  EXPECT_EQ(Cell(0, 1), "2");
  EXPECT_EQ(Cell(0, 2), "");
  EXPECT_EQ(ListState(list, 0), 0x2000u);
}

TEST_F(ScanTest, VolumeOnNoneOfTheTenDrivesShowsNoNumberAndIsUndetermined) {
  for (int i = 0; i < 10; ++i)
    sim::AddAtaDrive(machine, i, "D" + std::to_string(i), "", "", 0x6003, 0x4000);
  sim::VolumeSpec v;
  v.letter = 'P';
  v.drive = 0;
  v.bootSector = sim::BuildNtfsBootSector(512, 8, 2048);
  sim::PlaceVolume(machine, v);
  sim::Letter& l = machine.letters['P'];
  l.hostDrive = -1;  // on a disk past the tenth
  l.ownSectors[0] = sim::BuildNtfsBootSector(512, 8, 777);
  Open();
  RunScan();
  ASSERT_EQ(ListRows(list), 1);
  EXPECT_EQ(Cell(0, 0), "P:");
  EXPECT_EQ(Cell(0, 1), "");
  EXPECT_EQ(Cell(0, 2), "");
  EXPECT_EQ(Cell(0, 3), "2048");
  EXPECT_EQ(ListState(list, 0), 0x2000u);
  EXPECT_EQ(reinterpret_cast<const CVolumeInfo*>(ListData(list, 0))->GetDriveIndex(), 10);
}

TEST_F(ScanTest, LargestDataStartPrintsInFull) {
  sim::AddAtaDrive(machine, 0, "BIG", "", "", 0x6003, 0x4000);
  sim::FatParams p;
  p.reservedSectors = 15;
  p.fats = 0;
  p.rootEntries = 0;
  p.fatSize32 = 0;
  sim::VolumeSpec v;
  v.letter = 'Q';
  v.startSector = 0xFFFFFFF0u;  // data area 15 sectors on: the sum is 2^32 - 1
  v.fileSystem = "FAT32";
  v.bootSector = sim::BuildFatBootSector(p);
  sim::PlaceVolume(machine, v);
  Open();
  RunScan();
  ASSERT_EQ(ListRows(list), 1);
  EXPECT_EQ(Cell(0, 3), "4294967295");
}

TEST_F(ScanTest, LettersThatAreNotFixedOrNotFoundGiveNoRow) {
  sim::BuildLab(machine);
  for (char l : {'C', 'D', 'E', 'F', 'G', 'L', 'M', 'N', 'O', 'P', 'Q'}) machine.letters.erase(l);
  machine.letters['H'].partitionInfoOk = false;  // fixed, but its start is unknown
  machine.letters['L'] = machine.letters['I'];
  machine.letters['L'].type = DRIVE_RAMDISK;
  Open();
  RunScan();
  EXPECT_EQ(ListRows(list), 0);
}

TEST_F(ScanTest, CloseDuringTheDrivePhaseEndsAtTheNextTick) {
  sim::BuildLab(machine);
  Open();
  Tick();
  dlg.SendMessage(WM_CLOSE);
  EXPECT_EQ(dlg.m_cursor, '\\');
  EXPECT_TRUE(::IsWindow(dlg.m_hWnd));
  dlg.SendMessage(WM_CLOSE);  // a second request is ignored
  EXPECT_EQ(dlg.m_cursor, '\\');
  const size_t calls = machine.Log().size();
  Tick();
  EXPECT_EQ(machine.Log().size(), calls) << "no drive or letter examined";
  EXPECT_EQ(dlg.m_cursor, ']');
  EXPECT_TRUE(Finished());
  EXPECT_TRUE(::IsWindow(dlg.m_hWnd));
  wintest::PumpMessages();  // the close the tick posted
  EXPECT_FALSE(::IsWindow(dlg.m_hWnd));
  EXPECT_EQ(dlg.GetEndCode(), IDCANCEL);
}

TEST_F(ScanTest, CloseDuringTheLetterPhaseAndAfterTheScan) {
  sim::BuildLab(machine);
  Open();
  Ticks(12);                                 // into the letters
  dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE);  // the close box's command turns into WM_CLOSE
  EXPECT_EQ(dlg.m_cursor, '\\');
  EXPECT_EQ(ListRows(list), 2);
  Tick();
  EXPECT_EQ(ListRows(list), 2);
  wintest::PumpMessages();
  EXPECT_FALSE(::IsWindow(dlg.m_hWnd));
}

TEST_F(ScanTest, CloseAfterTheScanEndsAtOnce) {
  Open();
  RunScan();
  dlg.SendMessage(WM_CLOSE);
  wintest::PumpMessages();  // the dialog manager posts the cancel
  EXPECT_FALSE(::IsWindow(dlg.m_hWnd));
  EXPECT_EQ(dlg.GetEndCode(), IDCANCEL);
}

TEST_F(ScanTest, EscapeEndsTheWindowAtOnceDuringTheScan) {
  sim::BuildLab(machine);
  Open();
  Ticks(3);
  dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
  EXPECT_FALSE(::IsWindow(dlg.m_hWnd));
  EXPECT_EQ(dlg.GetEndCode(), IDCANCEL);
}

TEST_F(ScanTest, TicksAfterTheEndChangeNothing) {
  sim::BuildLab(machine);
  Open();
  RunScan();
  const size_t calls = machine.Log().size();
  Ticks(3);
  EXPECT_EQ(dlg.m_cursor, '[');
  EXPECT_EQ(machine.Log().size(), calls);
  EXPECT_EQ(machine.OpenHandles(), 0);
  EXPECT_EQ(machine.OpenBuffers(), 0);
}

}  // namespace

namespace {

TEST(ScanFaultTest, EveryFailedCallStillEndsTheScanWithNothingLeftOpen) {
  int runs = 0;
  FailEachCallInTurn([](sim::Machine& m) { sim::BuildLab(m); },
                     [&] {
                       ++runs;
                       for (DriveInfo& d : g_drives) d = DriveInfo();
                       COffsetDlg dlg;
                       ASSERT_TRUE(dlg.Create());
                       for (int tick = 0; tick < 40 && dlg.m_cursor != '['; ++tick)
                         dlg.SendMessage(WM_TIMER, 0);
                       EXPECT_EQ(dlg.m_cursor, '[');
                       EXPECT_LE(wintest::ListRows(dlg.m_list), 12);
                       ::DestroyWindow(dlg.m_hWnd);
                     },
                     [](const sim::Machine&) {});
  EXPECT_GT(runs, 100);
}

}  // namespace
