#include <numeric>

#include "dialog_fixture.h"
#include "res/resource.h"

namespace {

using wintest::WindowText;

class MainWindowTest : public ReportWindowTest {};

std::string MenuText(HMENU menu, int position, UINT* id, bool* separator) {
  char text[128] = {};
  MENUITEMINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_ID | MIIM_TYPE;
  info.dwTypeData = text;
  info.cch = sizeof text;
  ::GetMenuItemInfoA(menu, position, TRUE, &info);
  *id = info.wID;
  *separator = (info.fType & MFT_SEPARATOR) != 0;
  return text;
}

// Pixels of one image of an image list that have the colour 0xRRGGBB.
int CountColour(HIMAGELIST images, int index, COLORREF rgb) {
  HICON icon = ImageList_GetIcon(images, index, ILD_NORMAL);
  ICONINFO info = {};
  ::GetIconInfo(icon, &info);
  DWORD bits[16 * 16] = {};
  BITMAPINFO bi = {};
  bi.bmiHeader = {sizeof bi.bmiHeader, 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC dc = ::GetDC(nullptr);
  ::GetDIBits(dc, info.hbmColor, 0, 16, bits, &bi, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, dc);
  ::DeleteObject(info.hbmColor);
  ::DeleteObject(info.hbmMask);
  ::DestroyIcon(icon);
  return static_cast<int>(std::count_if(std::begin(bits), std::end(bits),
                                        [&](DWORD b) { return (b & 0xFFFFFF) == rgb; }));
}

TEST_F(MainWindowTest, StartsComputingWithCopyHidden) {
  Open();
  EXPECT_EQ(WindowText(dlg.m_hWnd), "Partition Offset Information");
  EXPECT_EQ(WindowText(dlg.m_btnOk), "Computing...");
  EXPECT_FALSE(::IsWindowEnabled(dlg.m_btnOk));
  EXPECT_TRUE(::IsWindowVisible(dlg.m_btnOk));
  EXPECT_FALSE(::IsWindowVisible(dlg.m_btnCopy));
  EXPECT_EQ(::GetDlgCtrlID(dlg.m_btnCopy), IDC_COPY);
  EXPECT_EQ(::GetDlgCtrlID(list), IDC_LIST);
  EXPECT_EQ(dlg.SendMessage(DM_GETDEFID) & 0xFFFF, IDOK);
  EXPECT_TRUE(machine.Log().empty()) << "no device work before the first tick";
  EXPECT_TRUE(::GetWindowLongA(dlg.m_hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

TEST_F(MainWindowTest, SystemMenuEndsWithDeviceInformationAndAbout) {
  Open();
  HMENU menu = ::GetSystemMenu(dlg.m_hWnd, FALSE);
  const int n = ::GetMenuItemCount(menu);
  ASSERT_GE(n, 5);
  UINT id;
  bool separator;
  MenuText(menu, n - 4, &id, &separator);
  EXPECT_TRUE(separator);
  EXPECT_EQ(MenuText(menu, n - 3, &id, &separator), "&Device Information");
  EXPECT_EQ(id, 101u);
  MenuText(menu, n - 2, &id, &separator);
  EXPECT_TRUE(separator);
  EXPECT_EQ(MenuText(menu, n - 1, &id, &separator), "&About Tessarel...");
  EXPECT_EQ(id, 0x10u);
  MenuText(menu, n - 5, &id, &separator);
  EXPECT_FALSE(separator) << "the system's own items come first";
}

TEST_F(MainWindowTest, AMenuStringThatLoadsEmptyLeavesItsItemAndSeparatorOut) {
  Open();
  const int full = ::GetMenuItemCount(::GetSystemMenu(dlg.m_hWnd, FALSE));
  ::DestroyWindow(dlg.m_hWnd);

  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string module(path);
  module = module.substr(0, module.find_last_of("\\/") + 1) + "without_devinfo.dll";
  HMODULE lean = ::LoadLibraryA(module.c_str());
  ASSERT_NE(lean, nullptr) << module;
  char text[32];
  ASSERT_EQ(::LoadStringA(lean, IDS_DEVINFO, text, sizeof text), 0);
  COffsetDlg other;
  AfxSetResourceHandle(lean);
  const BOOL created = other.Create();
  AfxSetResourceHandle(nullptr);
  ASSERT_TRUE(created);

  HMENU menu = ::GetSystemMenu(other.m_hWnd, FALSE);
  const int n = ::GetMenuItemCount(menu);
  EXPECT_EQ(n, full - 2) << "neither the item nor its separator";
  UINT id;
  bool separator;
  EXPECT_EQ(MenuText(menu, n - 1, &id, &separator), "&About Tessarel...");
  EXPECT_EQ(id, 0x10u);
  MenuText(menu, n - 2, &id, &separator);
  EXPECT_TRUE(separator);
  MenuText(menu, n - 3, &id, &separator);
  EXPECT_FALSE(separator) << "the system's own items come first";
  ::DestroyWindow(other.m_hWnd);
  ::FreeLibrary(lean);
}

TEST_F(MainWindowTest, ColumnWidthsFollowTheListWidth) {
  EXPECT_EQ(COffsetDlg::ColumnWidths(374), (std::array<int, 4>{46, 46, 187, 94}));
  EXPECT_EQ(COffsetDlg::ColumnWidths(376), (std::array<int, 4>{47, 47, 188, 94}));
  EXPECT_EQ(COffsetDlg::ColumnWidths(0), (std::array<int, 4>{0, 0, 0, 0}));
  for (int w = 0; w < 1000; ++w) {
    const auto widths = COffsetDlg::ColumnWidths(w);
    const int sum = std::accumulate(widths.begin(), widths.end(), 0);
    EXPECT_LE(sum, w);
    EXPECT_GE(sum, w - 2);
  }

  Open();
  RECT client;
  ::GetClientRect(list, &client);
  const std::array<int, 4> widths = COffsetDlg::ColumnWidths(client.right - client.left);
  const char* headings[] = {"Drive", "Drv No", "Drive Name", "Offset"};
  for (int c = 0; c < 4; ++c) {
    const wintest::ListColumn column = wintest::Column(list, c);
    EXPECT_EQ(column.heading, headings[c]);
    EXPECT_EQ(column.format, LVCFMT_LEFT);
    EXPECT_EQ(column.width, widths[c]) << c;
  }
  EXPECT_EQ(wintest::Column(list, 4).width, -1) << "four columns";
}

TEST_F(MainWindowTest, StateImagesStylesAndIcons) {
  Open();
  auto images =
      reinterpret_cast<HIMAGELIST>(::SendMessageA(list, LVM_GETIMAGELIST, LVSIL_STATE, 0));
  ASSERT_NE(images, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(images), 2);
  int cx = 0, cy = 0;
  ImageList_GetIconSize(images, &cx, &cy);
  EXPECT_EQ(cx, 16);
  EXPECT_EQ(cy, 16);
  EXPECT_GE(CountColour(images, 0, 0xFF0000), 20)
      << "the 16x16 exclamation mark, not the blank 32x32";
  EXPECT_GT(CountColour(images, 1, 0x0000FF), 10) << "the question mark scaled down";
  EXPECT_EQ(::SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x420);
  EXPECT_EQ(::GetWindowLongA(list, GWL_STYLE) & LVS_SHAREIMAGELISTS, 0);

  EXPECT_NE(dlg.m_hIcon, nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_GETICON, ICON_BIG)), dlg.m_hIcon);
  EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_GETICON, ICON_SMALL)), dlg.m_hIcon);
  EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_QUERYDRAGICON)), dlg.m_hIcon);
}

TEST_F(MainWindowTest, TimerZeroDrivesTheScan) {
  sim::BuildLab(machine);
  Open();
  wintest::Watchdog watchdog;
  MSG msg;
  // The first message of timer 0 arrives by itself and is one tick of the scan.
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    const bool tick = msg.message == WM_TIMER && msg.hwnd == dlg.m_hWnd;
    if (tick) {
      EXPECT_EQ(msg.wParam, 0u);
    }
    ::DispatchMessageA(&msg);
    if (tick) break;
  }
  EXPECT_EQ(OpenedPaths(), std::vector<std::string>{"\\\\.\\PhysicalDrive0"}) << "one drive";
  EXPECT_EQ(g_drives[DiskNumber(0)].status, 1);
}

class SystemCommandTest : public MainWindowTest {
 protected:
  // Sends a system command and returns the captions of the windows it opened, closing
  // each by the means given.
  std::vector<std::string> Command(WPARAM command, UINT closeMessage = WM_COMMAND,
                                   WPARAM closeParam = IDOK) {
    std::vector<std::string> opened;
    wintest::Watchdog watchdog;
    wintest::WindowWatcher watcher([&](HWND hwnd) {
      if (hwnd == dlg.m_hWnd) return;
      opened.push_back(WindowText(hwnd));
      ::PostMessageA(hwnd, closeMessage, closeParam, 0);
    });
    dlg.SendMessage(WM_SYSCOMMAND, command);
    return opened;
  }
};

TEST_F(SystemCommandTest, AboutDeviceInformationAndDefaultProcessing) {
  sim::BuildLab(machine);
  Open();
  EXPECT_EQ(Command(0x0010), std::vector<std::string>{"About Tessarel"});
  EXPECT_EQ(Command(0x0013), std::vector<std::string>{"About Tessarel"});
  EXPECT_EQ(Command(101), std::vector<std::string>{"Device Information"});
  EXPECT_EQ(Command(0x10065), std::vector<std::string>{"Device Information"});  // low 16 bits
  EXPECT_TRUE(Command(SC_CLOSE).empty());
  EXPECT_TRUE(::IsWindow(dlg.m_hWnd)) << "held back during the scan";
  Tick();  // ends the scan and closes, as a close request does
  EXPECT_TRUE(Finished());
  wintest::PumpMessages();
  EXPECT_FALSE(::IsWindow(dlg.m_hWnd));
}

// Closes the About window once the scan behind it has added all six lab rows.
HWND g_about = nullptr;
HWND g_reportList = nullptr;
int g_rowsWhenClosed = -1;
void CALLBACK CloseAboutWhenScanned(HWND, UINT, UINT_PTR id, DWORD) {
  const int rows = wintest::ListRows(g_reportList);
  if (rows < 6) return;
  ::KillTimer(nullptr, id);
  g_rowsWhenClosed = rows;
  ::PostMessageA(g_about, WM_COMMAND, IDOK, 0);
}

TEST_F(SystemCommandTest, RowsKeepAppearingBehindTheAboutWindow) {
  sim::BuildLab(machine);
  Open();
  g_about = nullptr;
  g_reportList = list;
  g_rowsWhenClosed = -1;
  int rowsWhenOpened = -1;
  {
    wintest::Watchdog watchdog;
    wintest::WindowWatcher watcher([&](HWND hwnd) {
      if (hwnd == dlg.m_hWnd || g_about != nullptr) return;
      g_about = hwnd;
      rowsWhenOpened = wintest::ListRows(list);
      ::SetTimer(nullptr, 0, 50, &CloseAboutWhenScanned);  // the real scan timer runs meanwhile
    });
    dlg.SendMessage(WM_SYSCOMMAND, IDM_ABOUT);
  }
  EXPECT_EQ(wintest::WindowText(g_about), "");  // closed and gone
  EXPECT_EQ(rowsWhenOpened, 0);
  EXPECT_GE(g_rowsWhenClosed, 6);
}

}  // namespace
