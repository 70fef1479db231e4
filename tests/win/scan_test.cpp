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
  Ticks(6);  // drives 0..4 open, drive 5 does not
  EXPECT_EQ(dlg.m_cursor, 'C');
  EXPECT_EQ(g_drives[5].status, -1);
  EXPECT_EQ(g_drives[4].status, 0);
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
  };
  ASSERT_EQ(ListRows(list), 6);
  for (int r = 0; r < 6; ++r) {
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

TEST_F(ScanTest, NoDriveOpensSoNoRowButTheScanEnds) {
  sim::BuildLab(machine);
  for (sim::Drive& d : machine.drives) d.open = sim::Open::AccessDenied;
  Open();
  Tick();
  EXPECT_EQ(g_drives[0].status, -2);
  EXPECT_EQ(dlg.m_cursor, 'C');
  EXPECT_EQ(RunScan(), 24);
  EXPECT_EQ(ListRows(list), 0);
  EXPECT_TRUE(Finished());
  std::set<std::string> roots;
  for (const sim::Call& c : machine.Calls("GetDriveTypeA")) roots.insert(c.path);
  EXPECT_EQ(roots.size(), 24u);  // C to Z, never A or B
  EXPECT_EQ(roots.count("A:\\") + roots.count("B:\\"), 0u);
  EXPECT_EQ(machine.Calls("GetDriveTypeA").front().path, "C:\\");
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
  for (char l : {'C', 'D', 'E', 'F', 'G'}) machine.letters.erase(l);
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
  Ticks(8);                                  // into the letters
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
                       EXPECT_LE(wintest::ListRows(dlg.m_list), 6);
                       ::DestroyWindow(dlg.m_hWnd);
                     },
                     [](const sim::Machine&) {});
  EXPECT_GT(runs, 100);
}

}  // namespace
