// The application manifests in the programs' files: the window program asks for
// administrative rights, the console program and the demos run as invoked; the two window
// programs draw at the display's DPI; all declare Vista to 11 and no version 6 of the
// common controls.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

enum class Dpi { Unaware, Aware };

std::string Manifest(const char* level, Dpi dpi) {
  const std::string awareness =
      dpi == Dpi::Unaware
          ? ""
          : "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
            "    <windowsSettings>\n"
            "      <dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">"
            "true</dpiAware>\n"
            "      <dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
            "PerMonitorV2, System</dpiAwareness>\n"
            "    </windowsSettings>\n"
            "  </application>\n";
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
             "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
             "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
             "    <security>\n"
             "      <requestedPrivileges>\n"
             "        <requestedExecutionLevel level=\"") +
         level +
         "\" uiAccess=\"false\"/>\n"
         "      </requestedPrivileges>\n"
         "    </security>\n"
         "  </trustInfo>\n" +
         awareness +
         "  <compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">\n"
         "    <application>\n"
         "      <supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>\n"  // Vista
         "      <supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>\n"  // 7
         "      <supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>\n"  // 8
         "      <supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>\n"  // 8.1
         "      <supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>\n"  // 10, 11
         "    </application>\n"
         "  </compatibility>\n"
         "</assembly>\n";
}

// The manifest of a program beside this one: resource 1 of type RT_MANIFEST, English.
std::string ManifestOf(const char* program) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string file(path);
  file = file.substr(0, file.find_last_of("\\/") + 1) + program;
  HMODULE module = ::LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_NE(module, nullptr) << file;
  if (module == nullptr) return "";
  std::string text;
  if (HRSRC found = ::FindResourceExA(module, RT_MANIFEST, MAKEINTRESOURCEA(1),
                                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))) {
    const auto* bytes = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    text.assign(bytes, ::SizeofResource(module, found));
  }
  ::FreeLibrary(module);
  return text;
}

TEST(ManifestTest, EachProgramsRightsAndAwareness) {
  const struct {
    const char* program;
    const char* level;
    Dpi dpi;
  } programs[] = {
      {"Tessarel.exe", "requireAdministrator", Dpi::Aware},
      {"TessarelDemo.exe", "asInvoker", Dpi::Aware},
      {"TessarelReport.exe", "asInvoker", Dpi::Unaware},
      {"TessarelReportDemo.exe", "asInvoker", Dpi::Unaware},
  };
  for (const auto& p : programs)
    EXPECT_EQ(ManifestOf(p.program), Manifest(p.level, p.dpi)) << p.program;
}

}  // namespace
