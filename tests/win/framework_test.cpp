// The class framework: message maps, default processing, help routing, callbacks.
#include <stdexcept>

#include "app/offset_app.h"
#include "framework/dialog.h"
#include "res/resource.h"
#include "ui/offset_dlg.h"
#include "win_support.h"

namespace {

// A dialog on the About template whose map overrides, extends and throws.
class Probe : public CDialog {
 public:
  Probe() : CDialog(IDD_ABOUT) {}
  const MessageMap* GetMessageMap() const override { return &messageMap; }
  static const MessageMap messageMap;

  int okClicks = 0, rangeHits = 0, userMessages = 0;
  bool initialised = false;

  BOOL OnInitDialog() override {
    initialised = true;
    return CDialog::OnInitDialog();
  }
  void OnOK() override { ++okClicks; }  // replaces the base map's ending of the dialog
  void OnRange() { ++rangeHits; }
  void OnUser() { ++userMessages; }
  void OnThrow() { throw std::runtime_error("must not reach Windows"); }

 private:
  static const MessageEntry entries[];
};

const MessageEntry Probe::entries[] = {
    {WM_COMMAND, BN_CLICKED, 2000, 2009, &afx::Invoke<&Probe::OnRange>},
    afx::OnMessage<&Probe::OnUser>(WM_USER + 1),
    afx::OnMessage<&Probe::OnThrow>(WM_USER + 2),
};
const MessageMap Probe::messageMap = {&CDialog::messageMap, std::begin(entries), std::end(entries)};

class FrameworkTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (::IsWindow(probe.m_hWnd)) ::DestroyWindow(probe.m_hWnd);
    theApp.m_pMainWnd = nullptr;
  }
  Probe probe;
};

TEST_F(FrameworkTest, MapsChainToTheBaseAndMatchCodesAndRanges) {
  ASSERT_TRUE(probe.Create());
  EXPECT_TRUE(probe.initialised);
  EXPECT_EQ(CWnd::FromHandlePermanent(probe.m_hWnd), &probe);

  probe.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
  EXPECT_EQ(probe.okClicks, 1);  // the virtual override, through the base map's entry
  EXPECT_TRUE(::IsWindow(probe.m_hWnd));

  for (WORD id : {1999, 2000, 2005, 2009, 2010})
    probe.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED));
  EXPECT_EQ(probe.rangeHits, 3);
  probe.SendMessage(WM_COMMAND, MAKEWPARAM(2001, BN_DOUBLECLICKED));  // another code
  EXPECT_EQ(probe.rangeHits, 3);

  probe.SendMessage(WM_USER + 1);
  EXPECT_EQ(probe.userMessages, 1);
  // What no entry takes goes to the window's own procedure.
  probe.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Renamed"));
  EXPECT_EQ(wintest::WindowText(probe.m_hWnd), "Renamed");

  probe.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
  EXPECT_FALSE(::IsWindow(probe.m_hWnd));
  EXPECT_EQ(probe.GetEndCode(), IDCANCEL);
  EXPECT_EQ(probe.m_hWnd, nullptr);
}

TEST_F(FrameworkTest, AnExceptionInAHandlerStopsAtTheCallback) {
  ASSERT_TRUE(probe.Create());
  EXPECT_EQ(probe.SendMessage(WM_USER + 2), 0);
  EXPECT_TRUE(::IsWindow(probe.m_hWnd));
}

TEST_F(FrameworkTest, HelpRequestsReachTheMainWindowThroughTheApplication) {
  ASSERT_TRUE(probe.Create());
  std::vector<std::string> opened;
  wintest::Watchdog watchdog;
  wintest::WindowWatcher watcher([&](HWND hwnd) {
    if (hwnd == probe.m_hWnd) return;
    opened.push_back(wintest::WindowText(hwnd));
    ::PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
  });
  // Without a main window the request goes nowhere.
  HELPINFO info = {sizeof info, HELPINFO_WINDOW, 0, nullptr, 0, {0, 0}};
  probe.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_TRUE(opened.empty());
  // A window that is not the main one passes it on to the application's map.
  COffsetDlg report;
  theApp.m_pMainWnd = &report;
  probe.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(opened, std::vector<std::string>{"Rarizaza Dadadi Ridu Help"});
}

}  // namespace
