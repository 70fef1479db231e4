// A comctl32.dll planted beside the window programs, as in a Downloads folder, is never
// loaded, even with Wine told to prefer a DLL it finds there over its own, as Windows
// does for every DLL that is not a known DLL.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "program_beside.h"

namespace {

// Tells Wine to prefer a DLL it finds beside program over its own, as Windows does for
// any DLL that is not a known DLL: Wine's per-program load order, in the registry (each
// new process reads it; a variable set here would not reach a child). Removed after.
class PreferNativeDll {
 public:
  PreferNativeDll(const std::string& program, const char* dll)
      : m_key("Software\\Wine\\AppDefaults\\" + program) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, (m_key + "\\DllOverrides").c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
      return;
    static const char order[] = "native,builtin";
    ::RegSetValueExA(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order);
    ::RegCloseKey(key);
  }
  ~PreferNativeDll() {
    ::RegDeleteKeyA(HKEY_CURRENT_USER, (m_key + "\\DllOverrides").c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, m_key.c_str());
  }
  PreferNativeDll(const PreferNativeDll&) = delete;
  PreferNativeDll& operator=(const PreferNativeDll&) = delete;

 private:
  std::string m_key;
};

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts program from folder and lets it run until its window has finished its report
// or it has ended by itself; then closes it.
void RunUntilReportOrEnd(const std::string& folder, const char* program) {
  std::string command = "\"" + folder + "\\" + program + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder.c_str(), &startup, &process))
      << command;
  const DWORD start = ::GetTickCount();
  HWND report = nullptr;
  while (::WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT &&
         ::GetTickCount() - start < kDeadlineMs) {
    report = ::FindWindowA(nullptr, "Partition Offset Information");
    HWND copy = report ? ::GetDlgItem(report, 1003) : nullptr;
    if (copy != nullptr && ::IsWindowVisible(copy)) {
      ::PostMessageA(report, WM_CLOSE, 0, 0);
      break;
    }
  }
  EXPECT_EQ(::WaitForSingleObject(process.hProcess, kDeadlineMs), WAIT_OBJECT_0) << program;
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
}

TEST(PlantedDll, AComctl32BesideTheWindowProgramsIsNotLoaded) {
  // The first program imports comctl32 as the window programs once did: the stand-in
  // must load there, or the test could not tell a safe program from a lucky one.
  const std::string folder = ProgramBeside("planted-run");
  const std::string marker = folder + "\\planted-dll-loaded";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  ASSERT_TRUE(::CopyFileA(ProgramBeside("planted\\comctl32.dll").c_str(),
                          (folder + "\\comctl32.dll").c_str(), FALSE));
  for (const char* program : {"imports_comctl32.exe", "Tessarel.exe", "TessarelDemo.exe"}) {
    SCOPED_TRACE(program);
    const PreferNativeDll prefer(program, "comctl32");
    const bool control = program == std::string("imports_comctl32.exe");
    ::DeleteFileA(marker.c_str());
    ASSERT_FALSE(Exists(marker));
    const std::string built = ProgramBeside(control ? "planted\\imports_comctl32.exe" : program);
    ASSERT_TRUE(::CopyFileA(built.c_str(), (folder + "\\" + program).c_str(), FALSE));
    RunUntilReportOrEnd(folder, program);
    if (control)
      EXPECT_TRUE(Exists(marker)) << "Wine did not prefer the planted DLL: the test proves nothing";
    else
      EXPECT_FALSE(Exists(marker)) << "the planted comctl32.dll was loaded";
  }
}

}  // namespace
