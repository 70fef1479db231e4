// The demo program run whole: started as its own process, it scans the lab machine,
// copies its report when "&Copy" is pressed, and ends when its window is closed.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "lab_report.h"
#include "program_beside.h"

namespace {

// Waits, handling this thread's messages, until ready() holds or the process ends.
template <typename Ready>
bool WaitFor(HANDLE process, Ready ready) {
  const DWORD start = ::GetTickCount();
  while (!ready()) {
    if (::GetTickCount() - start > kDeadlineMs) return false;
    if (::MsgWaitForMultipleObjects(1, &process, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0)
      return ready();
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
  }
  return true;
}

std::string ClipboardText() {
  std::string text;
  if (!::OpenClipboard(nullptr)) return text;
  if (HGLOBAL block = ::GetClipboardData(CF_TEXT)) {
    text = static_cast<const char*>(::GlobalLock(block));
    ::GlobalUnlock(block);
  }
  ::CloseClipboard();
  return text;
}

TEST(DemoEndToEnd, ScansCopiesTheReportAndEnds) {
  std::string command = "\"" + ProgramBeside("TessarelDemo.exe") + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
      << command;

  HWND report = nullptr, copy = nullptr, ok = nullptr;
  const bool finished = WaitFor(process.hProcess, [&] {
    report = ::FindWindowA(nullptr, "Partition Offset Information");
    copy = report ? ::GetDlgItem(report, 1003) : nullptr;
    ok = report ? ::GetDlgItem(report, IDOK) : nullptr;
    return copy != nullptr && ::IsWindowVisible(copy);
  });
  ASSERT_TRUE(finished) << "the scan did not finish";
  char okText[32] = {};
  ::GetWindowTextA(ok, okText, sizeof okText);
  EXPECT_STREQ(okText, "Ok");
  EXPECT_TRUE(::IsWindowEnabled(ok));

  // The copy's bytes are the window test's; here, that the program scanned the lab and
  // its copy reached another process: the heading and a line for each of the lab's rows.
  ::SendMessageA(copy, BM_CLICK, 0, 0);
  const std::string copied = ClipboardText();
  const std::string expected = lab::ClipboardReport();
  EXPECT_EQ(copied.substr(0, copied.find('\n')), expected.substr(0, expected.find('\n')));
  EXPECT_EQ(std::count(copied.begin(), copied.end(), '\n'),
            1 + static_cast<long>(lab::Rows().size()));

  ::PostMessageA(report, WM_CLOSE, 0, 0);  // the close box: the scan is over, so it ends at once
  ASSERT_EQ(::WaitForSingleObject(process.hProcess, kDeadlineMs), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
}

}  // namespace
