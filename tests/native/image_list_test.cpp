#include "image/image_list.h"

#include <gtest/gtest.h>

#include "app/report_program.h"
#include "sim_fixture.h"

namespace {

using ImageListTest = SimTest;

// The same list as each PowerShell writes it, and in the system's code page (1252, whose é
// is no UTF-8): the same lines, each without its CR.
TEST_F(ImageListTest, EveryEncodingGivesTheSameLines) {
  const std::u16string name = u"C:\\VMs\\\u00E9t\u00E9.vhdx";
  const std::vector<std::u16string> lines = {u"# disks", u"", name, u"rel\\b.vhdx"};
  const std::string utf8 = "# disks\r\n\r\nC:\\VMs\\\xC3\xA9t\xC3\xA9.vhdx\r\nrel\\b.vhdx\r\n";
  std::string utf16 = "\xFF\xFE";
  for (const std::u16string& line : lines)
    for (char16_t c : line + u"\r\n") utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"UTF-16LE with a mark (Windows PowerShell 5)", utf16},
      {"UTF-8 with a mark", "\xEF\xBB\xBF" + utf8},
      {"UTF-8 without one (PowerShell 7)", utf8},
      {"the ANSI code page", "# disks\r\n\r\nC:\\VMs\\\xE9t\xE9.vhdx\r\nrel\\b.vhdx"},
  };
  for (const auto& c : cases) EXPECT_EQ(ListLines(c.bytes, 1252), lines) << c.what;
}

// Each line as the door takes it, from the list's own folder; what is not opened says why,
// with its line's number.
TEST_F(ImageListTest, PathsAreTakenFromTheListsFolderAndNeverFromAnotherComputer) {
  sim::File& list = machine.files["C:\\Lists\\host.txt"];
  const std::string text =
      "# Get-VM | Get-VMHardDiskDrive\r\n  \r\ndisk.vhdx\r\n..\\VMs\\a.vhdx\r\nD:\\b.vhdx\r\n"
      "\\\\server\\share\\c.vhdx\r\n\\\\.\\PhysicalDrive0\r\n\xD0\xB6.vhdx\r\n";
  list.extents[0] = sim::Bytes(text.begin(), text.end());
  list.size = text.size();
  const ImageList read = ReadImageList("C:\\Lists\\host.txt");
  ASSERT_TRUE(read.read);
  const struct {
    size_t line;
    const char* path;
    const char* refused;  // the words' start
  } expected[] = {
      {3, "C:\\Lists\\disk.vhdx", ""},
      {4, "C:\\VMs\\a.vhdx", ""},
      {5, "D:\\b.vhdx", ""},
      {6, "", "named in the list on another computer"},
      {7, "", "named in the list a device"},
      {8, "", "its name cannot be spelled in this system's code page"},
  };
  ASSERT_EQ(read.images.size(), std::size(expected));
  for (size_t i = 0; i < read.images.size(); ++i) {
    EXPECT_EQ(read.images[i].line, expected[i].line);
    EXPECT_EQ(read.images[i].path, expected[i].path);
    EXPECT_EQ(read.images[i].refused.rfind(expected[i].refused, 0), 0u) << read.images[i].refused;
  }
  for (const std::string& opened : OpenedPaths()) EXPECT_EQ(opened, "C:\\Lists\\host.txt");
  // Each listed file's findings stay for the report: a list names at most 16,384.
  std::string many;
  for (int i = 0; i <= 16384; ++i) many += "a.vhdx\n";
  list.extents[0] = sim::Bytes(many.begin(), many.end());
  list.size = many.size();
  const ImageList tooMany = ReadImageList("C:\\Lists\\host.txt");
  EXPECT_FALSE(tooMany.read);
  EXPECT_EQ(tooMany.why.rfind("it names more than 16,384 disk files", 0), 0u) << tooMany.why;
  ExpectNothingLeft();
}

// Every line is an image of the run: one naming nothing is refused, never skipped; a list
// that cannot be read is no run, and one that names nothing is no pass.
TEST_F(ImageListTest, ALineNamingNothingIsARefusedImage) {
  sim::File& list = machine.files["C:\\l.txt"];
  const std::string text = "missing.vhdx\n\\\\server\\x.vhdx\n";
  list.extents[0] = sim::Bytes(text.begin(), text.end());
  list.size = text.size();
  const ReportTexts texts = {{"Drive", "Drv No", "Drive Name", "Offset"}, "", ""};
  std::string out, err;
  EXPECT_EQ(RunReport({"--image-list", "C:\\l.txt", "--summary"}, texts, &out, &err), 2);
  EXPECT_EQ(out.rfind("UNDETERMINED: 2 of 2 images", 0), 0u) << out;
  out.clear();
  EXPECT_EQ(RunReport({"--image-list", "C:\\none.txt"}, texts, &out, &err), 3);
  EXPECT_NE(err.find("TessarelReport: cannot read the image list C:\\none.txt"), std::string::npos)
      << err;
  // A list of comments only checks nothing: never a pass.
  sim::File& comments = machine.files["C:\\c.txt"];
  comments.extents[0] = sim::Bytes{'#', '\n'};
  comments.size = 2;
  out.clear();
  EXPECT_EQ(RunReport({"--image-list", "C:\\c.txt", "--summary"}, texts, &out, &err), 2);
  EXPECT_EQ(out, "UNDETERMINED: no disk file to check: the lists name none\n");
}

}  // namespace
