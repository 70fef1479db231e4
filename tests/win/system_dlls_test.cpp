// DLLs come from the system folder only: a DLL beside the program is found by neither
// route of loading, nor by name once the search is restricted; comctl32 is found in the
// system folder by both.
#include <gtest/gtest.h>

#include <string>

#include "platform/system_dlls.h"

namespace {

// A resource DLL the build puts beside the test program, and nowhere else.
constexpr char kBeside[] = "without_devinfo.dll";

std::string Beside(const char* name) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path);
  return dir.substr(0, dir.find_last_of("\\/") + 1) + name;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST(SystemDlls, BothRoutesLoadFromTheSystemFolderOnly) {
  HMODULE control = ::LoadLibraryExA(Beside(kBeside).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(control, nullptr) << "the DLL beside the program exists";
  ::FreeLibrary(control);
  char system[MAX_PATH] = {};
  ASSERT_GT(::GetSystemDirectoryA(system, MAX_PATH), 0u);

  const struct {
    const char* route;
    HMODULE (*load)(const char*);
  } routes[] = {{"search flag", LoadSystemLibrary}, {"full path", LoadSystemLibraryByPath}};
  for (const auto& route : routes) {
    SCOPED_TRACE(route.route);
    EXPECT_EQ(route.load(kBeside), nullptr);
    HMODULE comctl = route.load("comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(comctl, path, MAX_PATH);
    EXPECT_EQ(Lower(path), Lower(std::string(system) + "\\comctl32.dll"));
    ::FreeLibrary(comctl);
  }
}

TEST(SystemDlls, ARestrictedSearchPassesOverTheProgramsFolder) {
  HMODULE before = ::LoadLibraryA(kBeside);
  ASSERT_NE(before, nullptr) << "found beside the program while the search is Windows' default";
  ::FreeLibrary(before);
  RestrictDllSearchToSystemFolder();
  EXPECT_EQ(::LoadLibraryA(kBeside), nullptr);
  EXPECT_NE(::LoadLibraryA(Beside(kBeside).c_str()), nullptr) << "a full path still loads";
}

}  // namespace
