#include "ui/about_help.h"

#include "dialog_fixture.h"
#include "res/resource.h"

namespace {

using wintest::WindowText;

struct Seen {
  std::string caption;
  std::vector<std::string> texts;
  int iconSize = 0;
};

Seen Look(HWND hwnd) {
  Seen s;
  s.caption = WindowText(hwnd);
  for (HWND child : wintest::Children(hwnd)) {
    if (!(::GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) continue;
    if (auto icon = reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0))) {
      ICONINFO info = {};
      ::GetIconInfo(icon, &info);
      BITMAP bm = {};
      ::GetObjectA(info.hbmMask, sizeof bm, &bm);
      s.iconSize = bm.bmWidth;
      ::DeleteObject(info.hbmMask);
      if (info.hbmColor) ::DeleteObject(info.hbmColor);
      continue;  // a picture, not a line of text
    }
    if (!WindowText(child).empty()) s.texts.push_back(WindowText(child));
  }
  return s;
}

// Runs dialog modally; when it shows, posts (message, wParam) to it. Returns the end code.
INT_PTR RunAndClose(CDialog& dialog, UINT message, WPARAM wParam, Seen* seen = nullptr) {
  wintest::Watchdog watchdog;
  wintest::WindowWatcher watcher([&](HWND hwnd) {
    if (seen) *seen = Look(hwnd);
    ::PostMessageA(hwnd, message, wParam, 0);
  });
  return dialog.DoModal();
}

TEST(AboutHelpTest, AboutShowsTheEmblemVersionAndNotice) {
  CAboutBox about;
  Seen seen;
  EXPECT_EQ(RunAndClose(about, WM_COMMAND, IDOK, &seen), IDOK);
  EXPECT_EQ(seen.caption, "About Tessarel");
  ASSERT_EQ(seen.texts.size(), 4u);
  EXPECT_EQ(seen.texts[0], "Tessarel Version 1.02");
  EXPECT_EQ(seen.texts[2], "OK");
  EXPECT_EQ(seen.iconSize, 32) << "the emblem at its large size";
}

TEST(AboutHelpTest, HelpShowsItsFiveLinesInOrder) {
  CHelpBox help;
  Seen seen;
  EXPECT_EQ(RunAndClose(help, WM_COMMAND, IDOK, &seen), IDOK);
  EXPECT_EQ(seen.caption, "Rarizaza Dadadi Ridu Help");
  const std::vector<std::string> expected = {
      "OK",
      "Each row represents one drive partition.",
      "No icon to the left of the drive letter represents a partition with good alingment.",
      "An exclamation icon represents a misaligned partition.",
      "A Question icon represents that the tool was not able to determine alignment.",
      "Leaving the cursor over the drive letter or the icon will explain this representation.",
  };
  EXPECT_EQ(seen.texts, expected);
}

TEST(AboutHelpTest, OkEnterEscapeAndTheCloseBoxCloseBoth) {
  const struct {
    const char* how;
    UINT message;
    WPARAM wParam;
    INT_PTR result;
  } ways[] = {{"OK", WM_COMMAND, IDOK, IDOK},
              {"Enter", WM_KEYDOWN, VK_RETURN, IDOK},
              {"Escape", WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
              {"close box", WM_SYSCOMMAND, SC_CLOSE, IDCANCEL}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    CAboutBox about;
    EXPECT_EQ(RunAndClose(about, way.message, way.wParam), way.result);
    CHelpBox help;
    EXPECT_EQ(RunAndClose(help, way.message, way.wParam), way.result);
  }
}

// Checks, once the window runs, where the focus is and whether its owner is disabled.
HWND g_owner = nullptr;
HWND g_shown = nullptr;
bool g_focusOnOk = false, g_ownerDisabled = false;
void CALLBACK InspectAndClose(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  g_focusOnOk = ::GetDlgCtrlID(::GetFocus()) == IDOK && ::GetParent(::GetFocus()) == g_shown;
  g_ownerDisabled = !::IsWindowEnabled(g_owner);
  ::PostMessageA(g_shown, WM_COMMAND, IDOK, 0);
}

class HelpRoutingTest : public ReportWindowTest {
 protected:
  // Opens through `open` while the report window is up; returns the captions shown.
  template <typename Open>
  std::vector<std::string> Opened(Open open) {
    std::vector<std::string> captions;
    wintest::Watchdog watchdog;
    wintest::WindowWatcher watcher([&](HWND hwnd) {
      if (hwnd == dlg.m_hWnd) return;
      captions.push_back(WindowText(hwnd));
      g_shown = hwnd;
      ::SetTimer(nullptr, 0, 10, &InspectAndClose);
    });
    open();
    return captions;
  }
};

TEST_F(HelpRoutingTest, WinHelpOpensTheHelpWindowOverTheReport) {
  Open();
  g_owner = dlg.m_hWnd;
  EXPECT_EQ(Opened([&] { dlg.WinHelp(42, HELP_CONTEXT); }),
            std::vector<std::string>{"Rarizaza Dadadi Ridu Help"});
  EXPECT_TRUE(g_focusOnOk);
  EXPECT_TRUE(g_ownerDisabled);
  EXPECT_TRUE(::IsWindowEnabled(dlg.m_hWnd)) << "enabled again once it closed";
  EXPECT_EQ(Opened([&] { dlg.SendMessage(WM_SYSCOMMAND, IDM_ABOUT); }),
            std::vector<std::string>{"About Tessarel"});
  EXPECT_TRUE(g_focusOnOk);
  EXPECT_TRUE(g_ownerDisabled);
}

TEST_F(HelpRoutingTest, HelpCommandFromAnotherProgramReachesTheApplication) {
  Open();
  theApp.m_pMainWnd = &dlg;
  g_owner = dlg.m_hWnd;
  EXPECT_EQ(Opened([&] { dlg.SendMessage(WM_COMMAND, MAKEWPARAM(ID_HELP, 0)); }),
            std::vector<std::string>{"Rarizaza Dadadi Ridu Help"});
  // A command neither the window nor the application takes opens nothing.
  EXPECT_TRUE(Opened([&] { dlg.SendMessage(WM_COMMAND, MAKEWPARAM(0x7777, 0)); }).empty());
  EXPECT_TRUE(::IsWindow(dlg.m_hWnd));
}

// Presses F1 as the keyboard would, once the report window is up.
void CALLBACK PressF1(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  INPUT keys[2] = {};
  keys[0].type = keys[1].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[1].ki.wVk = VK_F1;
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ::SendInput(2, keys, sizeof(INPUT));
}

TEST(HelpKeyTest, F1InTheRunningProgramOpensHelp) {
  sim::Machine machine;
  sim::Installation installed(machine);
  sim::BuildLab(machine);
  std::vector<std::string> captions;
  wintest::Watchdog watchdog;
  HWND report = nullptr;
  wintest::WindowWatcher watcher([&](HWND hwnd) {
    const std::string caption = WindowText(hwnd);
    if (caption == "Partition Offset Information") {
      if (report == nullptr) ::SetTimer(nullptr, 0, 50, &PressF1);
      report = hwnd;
      return;
    }
    captions.push_back(caption);
    ::PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
    ::PostMessageA(report, WM_CLOSE, 0, 0);
  });
  theApp.InitInstance();
  EXPECT_EQ(captions, std::vector<std::string>{"Rarizaza Dadadi Ridu Help"});
}

}  // namespace
