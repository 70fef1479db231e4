// Names in the system's ANSI code page: the JSON and the CSV carry them as Unicode has
// them, decoded whole (a trail byte 0x5C is no backslash); the text keeps their bytes.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/report_program.h"
#include "json/json_writer.h"
#include "platform/ansi_text.h"
#include "sim/code_pages.h"
#include "sim/lab.h"
#include "sim_fixture.h"
#include "test_machines.h"

namespace {

const ReportTexts kTexts = {{"Drive", "Drv No", "Drive Name", "Offset"}, "NOT NT", "NO ACCESS"};

class CodePageTest : public SimTest {
 protected:
  std::string Run(std::vector<std::string> args) {
    std::string out, err;
    RunReport(args, kTexts, &out, &err);
    EXPECT_EQ(err, "");
    return out;
  }
};

// A name as the JSON writes it: every character outside ASCII as its \u escape.
std::string Escaped(const char16_t* name) {
  std::string out = "\"";
  for (; *name != 0; ++name) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(*name));
    out += *name == u'\\' ? "\\\\" : *name < 0x80 ? std::string(1, char(*name)) : escape;
  }
  return out + "\"";
}

// The lab on a Russian, a Polish, a Japanese and a Chinese Windows: its computer's name and
// the folder its SQL volume is mounted in, in that code page's bytes.
TEST_F(CodePageTest, NamesLeaveAsUnicodeHasThemAndTheTextKeepsItsBytes) {
  // What each of test_machines::kCodePageLabs's names is, in UTF-16 and in UTF-8.
  const struct {
    const char16_t* computer16;
    const char16_t* folder16;
    const char* computerUtf8;
    const char* folderUtf8;
  } cases[] = {
      {u"СЕРВЕР", u"C:\\Данные\\", u8"СЕРВЕР", u8"C:\\Данные\\"},
      {u"KRAKÓW", u"C:\\Zażółć\\", u8"KRAKÓW", u8"C:\\Zażółć\\"},
      {u"サーバ", u"C:\\ソフト\\", u8"サーバ", u8"C:\\ソフト\\"},
      {u"数据", u"C:\\数据\\", u8"数据", u8"C:\\数据\\"},
      {u"ZÜRICH", u"C:\\Données\\", u8"ZÜRICH", u8"C:\\Données\\"},
  };
  static_assert(std::size(cases) == std::size(test_machines::kCodePageLabs));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const test_machines::CodePageLab& lab = test_machines::kCodePageLabs[i];
    SCOPED_TRACE(lab.codePage);
    sim::Machine machine;
    sim::Installation installed(machine);
    test_machines::BuildCodePageLab(machine, lab);
    const std::string json = Run({"--json"});
    EXPECT_NE(json.find("\"computer\": " + Escaped(c.computer16)), std::string::npos) << json;
    EXPECT_NE(json.find("\"name\": " + Escaped(c.folder16)), std::string::npos) << json;
    const std::string csv = Run({"--csv"});
    EXPECT_NE(csv.find(std::string("\r\n") + c.computerUtf8 + ",volume," + c.folderUtf8 + ","),
              std::string::npos)
        << csv;
    EXPECT_NE(Run({}).find(std::string(lab.folder) + " "), std::string::npos);
  }
}

// A path's folder is cut between whole characters: in 932 the ソ of ソフト is 0x83 0x5C, and
// that 0x5C is no backslash; in 1252 every 0x5C is one.
TEST_F(CodePageTest, AFolderIsCutBetweenWholeCharacters) {
  const struct {
    uint32_t codePage;
    const char* path;
    const char* folder;
  } cases[] = {
      {932, "C:\\\x83\x5C\x83\x74\x83\x67\\disk.img", "C:\\\x83\x5C\x83\x74\x83\x67\\"},
      {932, "C:\\VMs\\\x83\x5C", "C:\\VMs\\"},
      {932, "\x83\x5C.img", ""},
      {1252, "C:\\VMs\\\x83\x5C", "C:\\VMs\\\x83\\"},
      {1252, "D:disk.img", "D:"},
      {1252, "disk.img", ""},
      {936, "E:/\xCA\xFD\xBE\xDD/a.vmdk", "E:/\xCA\xFD\xBE\xDD/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    machine.codePage = c.codePage;
    EXPECT_EQ(FolderOf(c.path), c.folder);
  }
}

}  // namespace
