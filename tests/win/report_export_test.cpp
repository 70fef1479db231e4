#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "dialog_fixture.h"
#include "lab_report.h"
#include "res/resource.h"

namespace {

const char kHeading[] =
    "Drive   Drv No  Drive Name                      Offset      \n";  // 61 bytes

class ReportExportTest : public ReportWindowTest {
 protected:
  // Asks the window for row's tip into a buffer of size bytes pre-filled with 'x'.
  std::string Tip(int row, LPARAM data, int size = 1024) {
    return wintest::RequestInfoTip(dlg.m_hWnd, list, row, data, size, 'x');
  }

  void Copy() {
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_COPY, BN_CLICKED),
                    reinterpret_cast<LPARAM>(dlg.m_btnCopy.m_hWnd));
  }

  // The clipboard's CF_TEXT block: its bytes up to the first NUL, and its size.
  std::string Clipboard(size_t* blockSize = nullptr) {
    std::string text;
    if (!::OpenClipboard(nullptr)) return "<clipboard busy>";
    if (HGLOBAL block = ::GetClipboardData(CF_TEXT)) {
      const size_t size = ::GlobalSize(block);
      const char* bytes = static_cast<const char*>(::GlobalLock(block));
      const void* nul = std::memchr(bytes, '\0', size);
      text.assign(bytes, nul ? static_cast<const char*>(nul) : bytes + size);
      ::GlobalUnlock(block);
      if (blockSize) *blockSize = size;
    }
    ::CloseClipboard();
    return text;
  }

  void PutOnClipboard(const char* text) {
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, std::strlen(text) + 1);
    std::memcpy(::GlobalLock(block), text, std::strlen(text) + 1);
    ::GlobalUnlock(block);
    ::SetClipboardData(CF_TEXT, block);
    ::CloseClipboard();
  }

  void AddRow(const char* drive, const char* number, const char* name, const char* offset) {
    const int row = dlg.m_list.InsertItem(wintest::ListRows(list), drive);
    dlg.m_list.SetItemText(row, 1, number);
    dlg.m_list.SetItemText(row, 2, name);
    dlg.m_list.SetItemText(row, 3, offset);
  }
};

TEST_F(ReportExportTest, TipsExplainEachState) {
  sim::BuildLab(machine);
  Open();
  RunScan();
  // Rows C (aligned), D (misaligned), H (undetermined).
  const LPARAM data = wintest::ListData(list, 0);
  EXPECT_EQ(Tip(0, data), "This partition is properly aligned for maximum performance.");
  EXPECT_EQ(Tip(1, data),
            "This partition is not properly aligned.  Performance may be increased by correctly "
            "aligning the volume.");
  EXPECT_EQ(Tip(5, data), "Unable to determine if this partition is properly aligned.");
  // An undetermined row says why, as the console words it.
  EXPECT_EQ(Tip(5, wintest::ListData(list, 5)),
            "Unable to determine if this partition is properly aligned. The drive reported "
            "nothing about its physical sectors. Windows calls its partition aligned, but the "
            "drive's storage stack reports no physical sector beyond the logical one.");

  const std::string untouched(1023, 'x');
  EXPECT_EQ(Tip(0, -1), untouched) << "item data -1 leaves the buffer as it was";
  dlg.m_list.SetItemState(2, INDEXTOSTATEIMAGEMASK(3), LVIS_STATEIMAGEMASK);
  EXPECT_EQ(Tip(2, data), untouched) << "a state outside the table gets no sentence";

  const std::string cut = Tip(1, data, 12);
  EXPECT_EQ(cut, "This partit");  // cut to fit, its terminator included

  // S: lies on disks 11 and 12; T: on 11 alone.
  const int s = 13;
  ASSERT_EQ(Cell(s, 0), "S:");
  const std::string misaligned = Tip(1, data);
  EXPECT_EQ(Tip(s, wintest::ListData(list, s)),
            misaligned +
                " The volume lies on 2 disks. Windows calls the volume aligned: for a "
                "volume over several disks it answers once, for the largest of them.");
  EXPECT_EQ(Tip(s + 1, wintest::ListData(list, s + 1)), Tip(0, data));
  // Cut at whole sentences: the string table's text cut to fit as it always was, and each
  // sentence after it whole or not at all.
  const std::string disks = misaligned + " The volume lies on 2 disks.";
  EXPECT_EQ(Tip(s, wintest::ListData(list, s), 70), misaligned.substr(0, 69));
  EXPECT_EQ(Tip(s, wintest::ListData(list, s), static_cast<int>(disks.size()) + 1), disks);
  EXPECT_EQ(Tip(s, wintest::ListData(list, s), static_cast<int>(disks.size())), misaligned);

  // A misaligned row's own tip says what would align it: the 1 MiB start where it fits,
  // else the first aligning start with what it costs, or to format it again; then why
  // Windows' own view differs, where it does.
  const struct {
    int row;
    const char* name;
    const char* sentence;
  } advised[] = {
      {1, "D:",
       " Moving its start to sector 64 would align it, after shrinking it by 1 sector; there is "
       "no room at 2048 (1 MiB)."},
      {4, "G:",
       " Formatting it with clusters of 4096 bytes would align it. Windows calls its partition "
       "aligned: it does not judge clusters smaller than the physical sector."},
      {12, "R:",
       " Formatting it again with clusters of at least 4096 bytes would align it. Windows calls "
       "its partition aligned: it judges where the partition starts, Tessarel where the cluster "
       "heap begins."},
      {20, "C:\\SQL\\Data\\", " Moving its start to sector 4196352 (2049 MiB) would align it."},
      {21, "C:\\VM\\", " Moving its start to sector 208896 (102 MiB) would align it."},
  };
  for (const auto& a : advised) {
    ASSERT_EQ(Cell(a.row, 0), a.name);
    EXPECT_EQ(Tip(a.row, wintest::ListData(list, a.row)), misaligned + a.sentence);
  }
}

TEST_F(ReportExportTest, EmptyReportCopiesTheHeadingLineAlone) {
  Open();
  RunScan();
  ASSERT_TRUE(::IsWindowVisible(dlg.m_btnCopy));
  Copy();
  size_t block = 0;
  const std::string text = Clipboard(&block);
  EXPECT_EQ(text, kHeading);
  EXPECT_EQ(text.size(), 61u);
  EXPECT_EQ(block, 4096u);
}

TEST_F(ReportExportTest, LabReportIsFixedWidthWithLineFeedsOnly) {
  sim::BuildLab(machine);
  Open();
  RunScan();
  Copy();
  size_t block = 0;
  const std::string text = Clipboard(&block);
  const std::string expected = lab::ClipboardReport();
  EXPECT_EQ(text, expected);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(block, 4096u);

  PutOnClipboard("something else");
  Copy();
  EXPECT_EQ(Clipboard(), expected) << "a second copy replaces the clipboard with the same text";

  // The bytes on record beside the console's outputs (make expected writes them again).
  const std::string recorded = SOURCE_DIR "/tests/expected/window/lab-copy.txt";
  if (std::getenv("TESSAREL_WRITE_EXPECTED") != nullptr) {
    std::ofstream(recorded, std::ios::binary) << text;
    return;
  }
  std::ostringstream file;
  file << std::ifstream(recorded, std::ios::binary).rdbuf();
  EXPECT_EQ(text, file.str()) << "differs from " << recorded;
}

TEST_F(ReportExportTest, LongCellsAreNeverCut) {
  Open();
  RunScan();
  const std::string name32(32, 'N');
  const std::string name40 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789WXYZ";
  AddRow("C:", "0", name32.c_str(), "63");
  AddRow("D:", "1", name40.c_str(), "2048");
  AddRow("E:", "2", "SHORT", "123456789012");
  AddRow("F:", "3", "", "4294967295");
  Copy();
  const std::string expected = std::string(kHeading) + "C:      0       " + name32 +
                               "63          \n" + "D:      1       " + name40 + "2048        \n" +
                               "E:      2       SHORT                           123456789012\n"
                               "F:      3                                       4294967295  \n";
  EXPECT_EQ(Clipboard(), expected);
  const size_t second = expected.find("D:");
  EXPECT_EQ(expected.find('\n', second) + 1 - second, 61u + 8) << "8 bytes longer than 61";
}

TEST_F(ReportExportTest, BlockLeavesAZeroByteAfterTheText) {
  Open();
  RunScan();
  // The 61-byte heading and 65 rows of 61 bytes make 4026; a row of 70 makes 4096.
  for (int i = 0; i < 65; ++i) AddRow("C:", "0", "N", "1");
  AddRow("C:", "0", std::string(41, 'L').c_str(), "1");
  Copy();
  size_t block = 0;
  const std::string text = Clipboard(&block);
  EXPECT_EQ(text.size(), 4096u);
  EXPECT_EQ(block, 8192u) << "the next multiple of 4096 above the text";
}

TEST_F(ReportExportTest, NothingHappensWhileAnotherWindowHoldsTheClipboard) {
  Open();
  RunScan();
  PutOnClipboard("kept");
  HWND other =
      ::CreateWindowA("STATIC", "holder", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(::OpenClipboard(other));
  Copy();
  ::CloseClipboard();
  ::DestroyWindow(other);
  EXPECT_EQ(Clipboard(), "kept");
}

}  // namespace
