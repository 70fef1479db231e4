// A comctl32.dll planted beside the window programs, as in a Downloads folder, is never
// loaded, even with Wine told to prefer a DLL it finds there over its own, as Windows
// does for every DLL that is not a known DLL.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "program_beside.h"

namespace {

// Wine's load order of one DLL for one program: "native,builtin" prefers a DLL it finds
// beside the program, as Windows does for any DLL that is not a known DLL; "" loads none.
// Kept in the registry, which each new process reads (a variable set here would not reach
// a child); removed after.
class WineLoadOrder {
 public:
  WineLoadOrder(const std::string& program, const char* dll, const std::string& order)
      : m_key("Software\\Wine\\AppDefaults\\" + program) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, (m_key + "\\DllOverrides").c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
      return;
    ::RegSetValueExA(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(order.c_str()),
                     static_cast<DWORD>(order.size() + 1));
    ::RegCloseKey(key);
  }
  ~WineLoadOrder() {
    ::RegDeleteKeyA(HKEY_CURRENT_USER, (m_key + "\\DllOverrides").c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, m_key.c_str());
  }
  WineLoadOrder(const WineLoadOrder&) = delete;
  WineLoadOrder& operator=(const WineLoadOrder&) = delete;

 private:
  std::string m_key;
};

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

BOOL CALLBACK IsOfProcess(HWND hwnd, LPARAM process) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(hwnd, &owner);
  return owner != static_cast<DWORD>(process);  // stops the enumeration at the first
}

// Starts program from folder and lets it run until its window has finished its report
// or it has ended by itself; then closes it. Returns its exit code, and in *window
// whether it showed any window.
DWORD RunUntilReportOrEnd(const std::string& folder, const char* program, bool* window) {
  *window = false;
  std::string command = "\"" + folder + "\\" + program + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process)) {
    ADD_FAILURE() << command;
    return ~0u;
  }
  const DWORD start = ::GetTickCount();
  HWND report = nullptr;
  while (::WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT &&
         ::GetTickCount() - start < kDeadlineMs) {
    *window = *window || !::EnumWindows(IsOfProcess, static_cast<LPARAM>(process.dwProcessId));
    report = ::FindWindowA(nullptr, "Partition Offset Information");
    HWND copy = report ? ::GetDlgItem(report, 1003) : nullptr;
    if (copy != nullptr && ::IsWindowVisible(copy)) {
      ::PostMessageA(report, WM_CLOSE, 0, 0);
      break;
    }
  }
  EXPECT_EQ(::WaitForSingleObject(process.hProcess, kDeadlineMs), WAIT_OBJECT_0) << program;
  DWORD code = ~0u;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return code;
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
    const WineLoadOrder prefer(program, "comctl32", "native,builtin");
    const bool control = program == std::string("imports_comctl32.exe");
    ::DeleteFileA(marker.c_str());
    ASSERT_FALSE(Exists(marker));
    const std::string built = ProgramBeside(control ? "planted\\imports_comctl32.exe" : program);
    ASSERT_TRUE(::CopyFileA(built.c_str(), (folder + "\\" + program).c_str(), FALSE));
    bool window = false;
    RunUntilReportOrEnd(folder, program, &window);
    if (control)
      EXPECT_TRUE(Exists(marker)) << "Wine did not prefer the planted DLL: the test proves nothing";
    else
      EXPECT_FALSE(Exists(marker)) << "the planted comctl32.dll was loaded";
  }
}

// comctl32 is always in the system folder; where it still cannot be loaded, the window
// program ends with 1 before any window, and says nothing.
TEST(PlantedDll, WithoutComctl32TheWindowProgramEndsWithOneAndNoWindow) {
  const WineLoadOrder none("TessarelDemo.exe", "comctl32", "");
  const std::string program = ProgramBeside("TessarelDemo.exe");
  bool window = true;
  EXPECT_EQ(RunUntilReportOrEnd(program.substr(0, program.find_last_of('\\')), "TessarelDemo.exe",
                                &window),
            1u);
  EXPECT_FALSE(window);
}

}  // namespace
