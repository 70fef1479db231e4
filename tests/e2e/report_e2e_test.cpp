// The console report run whole: TessarelReportDemo.exe started as its own process on the
// lab machine, its output read from pipes, its exit status checked.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "lab_report.h"
#include "program_beside.h"

namespace {

struct Ran {
  std::string out, err;
  DWORD status = 0xFFFFFFFF;
};

std::string ReadAll(HANDLE pipe) {
  std::string text;
  char chunk[4096];
  DWORD n = 0;
  while (::ReadFile(pipe, chunk, sizeof chunk, &n, nullptr) && n > 0) text.append(chunk, n);
  return text;
}

// Runs the demo report with arguments; standard error goes to a file so that neither pipe
// can fill up while the other is read.
Ran RunDemoReport(const std::string& arguments) {
  Ran ran;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr;
  EXPECT_TRUE(::CreatePipe(&outRead, &outWrite, &inherit, 0));
  ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  char errPath[MAX_PATH] = {}, dir[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, dir);
  ::GetTempFileNameA(dir, "err", 0, errPath);
  HANDLE errFile = ::CreateFileA(errPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = outWrite;
  startup.hStdError = errFile;
  PROCESS_INFORMATION process = {};
  std::string command = "\"" + ProgramBeside("TessarelReportDemo.exe") + "\" " + arguments;
  const bool started = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
  ::CloseHandle(outWrite);
  EXPECT_TRUE(started) << command;
  if (started) {
    ran.out = ReadAll(outRead);
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, kDeadlineMs), WAIT_OBJECT_0);
    ::GetExitCodeProcess(process.hProcess, &ran.status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::SetFilePointer(errFile, 0, nullptr, FILE_BEGIN);
  ran.err = ReadAll(errFile);
  ::CloseHandle(errFile);
  ::DeleteFileA(errPath);
  ::CloseHandle(outRead);
  return ran;
}

TEST(ReportEndToEnd, PrintsTheLabReportAndExitsWithOne) {
  const Ran ran = RunDemoReport("");
  // The report's lines are the console test's; here, the headings from the program's
  // string table, and standard output as text: each line ends with CR LF on Windows.
  const std::string report = lab::WithCrLf(kLabReport);
  EXPECT_EQ(ran.out.substr(0, ran.out.find('\n') + 1), report.substr(0, report.find('\n') + 1));
  EXPECT_EQ(ran.out.size(), report.size());
  EXPECT_EQ(ran.err, "");
  EXPECT_EQ(ran.status, 1u);
}

TEST(ReportEndToEnd, ABadOptionPrintsTheUsageAndExitsWithThree) {
  const Ran ran = RunDemoReport("--frobnicate");
  EXPECT_EQ(ran.out, "");
  EXPECT_EQ(ran.err.rfind("TessarelReport: unknown option '--frobnicate'\r\n\r\n"
                          "Usage: TessarelReport [--drives] [OUTPUT] [--prom FILE] [--trace FILE]\r\n"
                          "                      [--replay FILE] [--target 4kn]\r\n",
                          0),
            0u)
      << ran.err;
  EXPECT_EQ(ran.status, 3u);
}

TEST(ReportEndToEnd, VersionAndDrives) {
  EXPECT_EQ(RunDemoReport("--version").out, "TessarelReport 1.02\r\n");
  const Ran drives = RunDemoReport("--drives");
  EXPECT_NE(drives.out.find("\r\n\r\nDrv No  Drive Name"), std::string::npos) << drives.out;
  EXPECT_NE(drives.out.find("storage descriptor SSD  \r\n"), std::string::npos);
  EXPECT_EQ(drives.status, 1u);
}

}  // namespace
