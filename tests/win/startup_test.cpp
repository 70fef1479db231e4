#include "app/offset_app.h"
#include "dialog_fixture.h"

namespace {

using wintest::WindowText;

struct Shown {
  std::string caption;
  std::vector<std::string> texts;  // visible child texts
  int buttons = 0;
  bool icon = false;
};

class StartupTest : public SimTest {
 protected:
  // Runs start-up, recording and closing every window it shows.
  BOOL Start(std::vector<Shown>* shown, bool closeReport = true) {
    wintest::Watchdog watchdog;
    wintest::WindowWatcher watcher([&](HWND hwnd) {
      Shown s;
      s.caption = WindowText(hwnd);
      for (HWND child : wintest::Children(hwnd)) {
        // The window itself is not shown yet: look at the child's own style.
        if (!(::GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) continue;
        char cls[32] = {};
        ::GetClassNameA(child, cls, sizeof cls);
        const LONG style = ::GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(cls, "Button") == 0) ++s.buttons;
        if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
            ::SendMessageA(child, STM_GETICON, 0, 0) != 0)
          s.icon = true;
        if (!WindowText(child).empty()) s.texts.push_back(WindowText(child));
      }
      if (s.caption == "Partition Offset Information") {
        mainWindowWasSet =
            theApp.m_pMainWnd != nullptr && theApp.m_pMainWnd == CWnd::FromHandlePermanent(hwnd);
        if (closeReport) ::PostMessageA(hwnd, WM_CLOSE, 0, 0);  // deferred to the next tick
      } else {
        ::PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
      }
      shown->push_back(s);
    });
    return theApp.InitInstance();
  }
  bool mainWindowWasSet = false;
};

bool Has(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST_F(StartupTest, RefusesAnOperatingSystemOutsideTheNtFamily) {
  sim::BuildLab(machine);
  machine.platformId = VER_PLATFORM_WIN32_WINDOWS;
  std::vector<Shown> shown;
  EXPECT_FALSE(Start(&shown));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Partition Offset Checker");
  EXPECT_TRUE(
      Has(shown[0].texts, "This program does not operate with this operating system version."));
  EXPECT_EQ(shown[0].buttons, 1);
  EXPECT_TRUE(Has(shown[0].texts, "OK"));
  EXPECT_FALSE(shown[0].icon);
  EXPECT_TRUE(machine.Calls("CreateFileA").empty()) << "drive 0 is never opened";
}

TEST_F(StartupTest, AFailedVersionQueryReadsAsNotNt) {
  sim::BuildLab(machine);
  machine.failCall = 0;  // GetVersionExA, the first call start-up makes
  std::vector<Shown> shown;
  EXPECT_FALSE(Start(&shown));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(
      Has(shown[0].texts, "This program does not operate with this operating system version."));
  ASSERT_EQ(machine.Log().size(), 1u);
  EXPECT_EQ(machine.Log()[0].op, "GetVersionExA");
}

TEST_F(StartupTest, RefusesWithoutReadWriteAccessToDriveZero) {
  for (sim::Open refusal :
       {sim::Open::ReadOnly, sim::Open::NotFound, sim::Open::SharingViolation}) {
    SCOPED_TRACE(static_cast<int>(refusal));
    machine.ClearLog();
    sim::BuildLab(machine);
    machine.drives[0].open = refusal;
    std::vector<Shown> shown;
    EXPECT_FALSE(Start(&shown));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Partition Offset Checker");
    EXPECT_TRUE(Has(shown[0].texts,
                    "Unable to open a volume.\nThis program requires you to be logged in with "
                    "administrative privileges."));
    EXPECT_FALSE(shown[0].icon);
    const auto opens = machine.Calls("CreateFileA");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].path, "\\\\.\\PhysicalDrive0");
    EXPECT_EQ(opens[0].access, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(opens[0].flags, 0u);
  }
}

TEST_F(StartupTest, RunsTheReportWindowUntilItCloses) {
  sim::BuildLab(machine);
  std::vector<Shown> shown;
  EXPECT_FALSE(Start(&shown));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Partition Offset Information");
  EXPECT_TRUE(mainWindowWasSet);
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);
  // The access test closed drive 0 again before the window opened.
  const auto& log = machine.Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0].op, "GetVersionExA");
  EXPECT_EQ(log[1].op, "CreateFileA");
  EXPECT_EQ(log[2].op, "CloseHandle");
  EXPECT_EQ(machine.OpenHandles(), 0);
}

}  // namespace
