// The scan as the report window shows it, tick by tick. The scan itself is tested
// natively; here is what only a window has: rows, state images, buttons, closing.
#include "app/report_program.h"
#include "dialog_fixture.h"
#include "lab_report.h"
#include "scan_helpers.h"

namespace {

using wintest::ListData;
using wintest::ListRows;
using wintest::ListState;

class ScanWindowTest : public ReportWindowTest {};

TEST_F(ScanWindowTest, LabRowsAppearOnePerTickWithTheirMarks) {
  sim::BuildLab(machine);
  Open();
  Ticks(10);  // the drives
  EXPECT_EQ(ListRows(list), 0);
  EXPECT_EQ(wintest::WindowText(dlg.m_btnOk), "Computing...");

  // C to Z; the three volumes without a row asked where they lie; the two volumes mounted in
  // folders; the two EFI system partitions' boot sectors: one unit of device work a tick.
  int rows = 0;
  for (int tick = 0; tick < 24 + 3 + 2 + 2; ++tick) {
    EXPECT_FALSE(Finished()) << tick;
    EXPECT_FALSE(::IsWindowVisible(dlg.m_btnCopy)) << tick;
    const size_t before = machine.Log().size();
    Tick();
    EXPECT_TRUE(WorkSince(machine.Log(), before).OneUnitAtMost()) << tick;
    const int now = ListRows(list);
    EXPECT_LE(now - rows, 1) << tick;
    rows = now;
  }
  EXPECT_TRUE(Finished());
  EXPECT_FALSE(::KillTimer(dlg.m_hWnd, 0)) << "the timer was stopped";

  const std::vector<lab::Row> expected = lab::Rows();
  ASSERT_EQ(ListRows(list), static_cast<int>(expected.size()));
  for (int r = 0; r < ListRows(list); ++r) {
    const lab::Row& row = expected[static_cast<size_t>(r)];
    SCOPED_TRACE(row.cells[0]);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(Cell(r, c), row.cells[static_cast<size_t>(c)]);
    // No mark, the exclamation mark, the question mark.
    const UINT state = row.verdict == "aligned" ? 0x0000 : row.verdict == "misaligned" ? 0x1000 : 0x2000;
    EXPECT_EQ(ListState(list, r), state);
    const auto* record = reinterpret_cast<const CVolumeInfo*>(ListData(list, r));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_letter ? std::string(1, record->m_letter) + ":"
                               : machine.unlettered.at(record->m_root).mountPaths.front(),
              row.cells[0]);
  }
}

// A server's forty volumes without a letter or folder: each is asked where it lies, and its
// boot sector read, in a tick of its own.
TEST_F(ScanWindowTest, FortyVolumesWithoutALetterTakeATickEach) {
  AddVolumesWithoutAPath(machine, 40);
  Open();
  int ticks = 0;
  while (!Finished() && ticks < 200) {
    const size_t before = machine.Log().size();
    Tick();
    ++ticks;
    EXPECT_TRUE(WorkSince(machine.Log(), before).OneUnitAtMost()) << ticks;
  }
  EXPECT_EQ(ticks, 5 + 24 + 40 + 40);
  EXPECT_TRUE(::IsWindowVisible(dlg.m_btnCopy));
}

TEST_F(ScanWindowTest, CloseDuringTheDrivePhaseEndsAtTheNextTick) {
  sim::BuildLab(machine);
  Open();
  Tick();
  dlg.SendMessage(WM_CLOSE);
  EXPECT_TRUE(::IsWindow(dlg.m_hWnd));
  dlg.SendMessage(WM_CLOSE);  // a second request is ignored
  const size_t calls = machine.Log().size();
  Tick();
  EXPECT_EQ(machine.Log().size(), calls) << "no drive or letter examined";
  EXPECT_TRUE(Finished());
  EXPECT_TRUE(::IsWindow(dlg.m_hWnd));
  wintest::PumpMessages();  // the close the tick posted
  EXPECT_FALSE(::IsWindow(dlg.m_hWnd));
  EXPECT_EQ(dlg.GetEndCode(), IDCANCEL);
}

TEST_F(ScanWindowTest, CloseDuringTheLetterPhaseKeepsTheRowsSoFar) {
  sim::BuildLab(machine);
  Open();
  Ticks(12);                                 // drives, then C and D
  dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE);  // the close box's command turns into WM_CLOSE
  EXPECT_EQ(ListRows(list), 2);
  EXPECT_TRUE(::IsWindow(dlg.m_hWnd));
  Tick();
  EXPECT_EQ(ListRows(list), 2);
  wintest::PumpMessages();
  EXPECT_FALSE(::IsWindow(dlg.m_hWnd));
}

TEST_F(ScanWindowTest, CloseAfterTheScanEndsAtOnce) {
  Open();
  RunScan();
  dlg.SendMessage(WM_CLOSE);
  wintest::PumpMessages();  // the dialog manager posts the cancel
  EXPECT_FALSE(::IsWindow(dlg.m_hWnd));
  EXPECT_EQ(dlg.GetEndCode(), IDCANCEL);
}

TEST_F(ScanWindowTest, EscapeEndsTheWindowAtOnceDuringTheScan) {
  sim::BuildLab(machine);
  Open();
  Ticks(3);
  dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
  EXPECT_FALSE(::IsWindow(dlg.m_hWnd));
  EXPECT_EQ(dlg.GetEndCode(), IDCANCEL);
}

TEST_F(ScanWindowTest, TicksAfterTheEndChangeNothing) {
  sim::BuildLab(machine);
  Open();
  EXPECT_EQ(RunScan(), 10 + 24 + 3 + 2 + 2);
  const size_t calls = machine.Log().size();
  Ticks(3);
  EXPECT_TRUE(Finished());
  EXPECT_EQ(ListRows(list), static_cast<int>(lab::Rows().size()));
  EXPECT_EQ(machine.Log().size(), calls);
  ExpectNothingLeft();
}

// A call as a device sees it: everything but the handle's number.
std::string Describe(const sim::Call& c) {
  std::string d = c.op + " " + c.path + " " + std::to_string(c.access) + " " +
                  std::to_string(c.code) + " " + std::to_string(c.position) + " " +
                  std::to_string(c.size) + " " + std::to_string(c.inSize) + " " +
                  std::to_string(c.outSize) + (c.failed ? " failed " : " ");
  d.append(c.request.begin(), c.request.end());
  return d;
}

TEST_F(ScanWindowTest, TheConsoleReportAsksTheLabWhatTheWindowAsks) {
  sim::BuildLab(machine);
  Open();
  RunScan();
  std::vector<std::string> window;
  for (const sim::Call& c : machine.Log()) window.push_back(Describe(c));

  sim::Machine lab;
  sim::Installation in(lab);
  sim::BuildLab(lab);
  g_drives.Clear();
  std::string out, err;
  const ReportTexts texts = {{"Drive", "Drv No", "Drive Name", "Offset"}, "", ""};
  EXPECT_EQ(RunReport({"--drives"}, texts, &out, &err), 1);
  std::vector<std::string> console;
  for (const sim::Call& c : lab.Log()) console.push_back(Describe(c));
  // The console first makes the start-up checks, which the window's program made before
  // the window opened, asks its token whether it runs elevated, which the window does not
  // need to know (it runs elevated by its manifest), and the time, which no window shows.
  ASSERT_GT(console.size(), 7u);
  EXPECT_EQ(console[0].rfind("GetVersionExA", 0), 0u);
  EXPECT_EQ(console[3].rfind("OpenProcessToken", 0), 0u);
  EXPECT_EQ(console[6].rfind("GetSystemTimeAsFileTime", 0), 0u);
  console.erase(console.begin(), console.begin() + 7);
  EXPECT_EQ(console.size(), window.size());
  EXPECT_EQ(console, window);
}

}  // namespace
