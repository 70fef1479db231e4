// The names a disk file records for its parent: none makes Tessarel open a path on another
// computer or a device, a relative one stays under the root the person named, and every
// name is joined in UTF-16, so that a code page's trail byte 0x5C is never a separator.
#include <gtest/gtest.h>

#include <cstring>

#include "image/disk_image.h"
#include "image/image_check.h"
#include "image/parent_name.h"
#include "platform/read_only.h"
#include "image_headers.h"
#include "sim_fixture.h"

namespace {

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

// Names a file may give, and why each is not opened (nullptr: it may be).
const struct NameCase {
  const char16_t* name;
  const char* why;
} kNames[] = {
    {u"..\\base\\parent.vhd", nullptr},
    {u"base.qcow2", nullptr},
    {u"C:\\VMs\\base.vhdx", nullptr},
    {u"c:/VMs/base.vhdx", nullptr},
    {u"\\VMs\\base.vhdx", nullptr},
    {u"\\\\?\\C:\\VMs\\base.vhdx", nullptr},
    {u"\\\\?\\Volume{0a1b2c3d-0000-4000-8000-00000000beef}\\VMs\\base.vhdx", nullptr},
    {u"\\\\server\\share\\base.img", "another computer"},
    {u"//server/share/base.img", "another computer"},
    {u"\\/server/share/base.img", "another computer"},
    {u"\\\\?\\UNC\\server\\share\\base.img", "another computer"},
    {u"\\\\host@SSL\\DavWWWRoot\\base.img", "another computer"},
    {u"\\\\host@SSL@8443\\x.vhd", "another computer"},
    {u"\\\\.\\PhysicalDrive0", "a device"},
    {u"//./PhysicalDrive0", "a device"},
    {u"\\\\.\\C:", "a device"},
    {u"\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition0", "a device"},
    {u"\\\\?\\PhysicalDrive0", "a device"},
    {u"\\\\?\\Volume{0a1b2c3d-0000-4000-8000-00000000beef}", "a device"},
    {u"\\\\?\\Volume{0a1b2c3d-0000-4000-8000-00000000beef}\\", "a device"},
    {u"\\\\?\\C:\\", "a device"},
    {u"\\\\?\\C:/VMs/base.vhdx", "a device"},
    {u"\\??\\C:\\VMs\\base.vhdx", "object space"},
    {u"base.vhd:hidden", "stream"},
    {u"C:\\VMs\\base.vhd:$DATA", "stream"},
    {u"1:\\base.vhd", "stream"},
    {u"C:base.vhd", "current folder"},
    {u"C:", "current folder"},
    {u"CON", "a device"},
    {u"..\\nul.vhd", "a device"},
    {u"C:\\VMs\\COM1", "a device"},
    {u"lpt9 .img", "a device"},
    {u"conin$", "a device"},
    {u"CONSOLE.vhd", nullptr},
    {u"COM10", nullptr},
    {u"base\u0001.vhd", "control character"},
    {u"base.vhd\nx", "control character"},
};

TEST(ParentNameTest, NamesFromInsideAFileThatAreNeverOpened) {
  for (const NameCase& c : kNames) {
    SCOPED_TRACE(Narrow(c.name));
    const std::optional<std::string> why = WhyParentNameRefused(c.name);
    if (c.why == nullptr) {
      EXPECT_FALSE(why.has_value()) << *why;
    } else {
      ASSERT_TRUE(why.has_value());
      EXPECT_NE(why->find(c.why), std::string::npos) << *why;
    }
  }
}

TEST(ParentNameTest, RelativeNamesStayUnderTheRootThePersonNamed) {
  const struct {
    const char16_t* child;
    const char16_t* name;
    const char16_t* path;
  } cases[] = {
      {u"C:\\VMs\\vm\\child.vhd", u"..\\base\\parent.vhd", u"C:\\VMs\\base\\parent.vhd"},
      {u"C:\\VMs\\vm\\child.vhd", u".\\parent.vhd", u"C:\\VMs\\vm\\parent.vhd"},
      {u"C:\\child.vhd", u"..\\x", u"C:\\x"},
      {u"C:\\child.vhd", u"..\\..\\..\\x", u"C:\\x"},
      {u"\\\\server\\share\\vm\\child.vhdx", u"..\\..\\..\\other\\share\\x",
       u"\\\\server\\share\\other\\share\\x"},
      {u"\\\\server\\share\\vm\\child.vhdx", u"..\\base.vhdx", u"\\\\server\\share\\base.vhdx"},
      {u"\\\\?\\UNC\\server\\share\\child.vhdx", u"..\\..\\x", u"\\\\?\\UNC\\server\\share\\x"},
      {u"\\\\server\\share\\vm\\child.vhdx", u"\\base.vhdx", u"\\\\server\\share\\base.vhdx"},
      {u"C:\\VMs\\child.vhdx", u"\\base.vhdx", u"C:\\base.vhdx"},
      {u"deep/a/b/x.qcow2", u"../../../../../../../../../x.qcow2", u"../../../../../../x.qcow2"},
      {u"child.qcow2", u"../x.qcow2", u"..\\x.qcow2"},
      {u"chain/vm/top.qcow2", u"../base/base.qcow2", u"chain/base/base.qcow2"},
      {u"chain/vm/top.qcow2", u"mid.qcow2", u"chain/vm/mid.qcow2"},
      {u"D:child.vhd", u"..\\x.vhd", u"D:..\\x.vhd"},
      {u"C:\\VMs\\child.vhdx", u"D:\\Other\\base.vhdx", u"D:\\Other\\base.vhdx"},
      {u"C:\\VMs\\child.vhdx", u"\\\\?\\D:\\Other\\..\\base.vhdx", u"D:\\base.vhdx"},
      {u"C:\\VMs\\child.vhdx",
       u"\\\\?\\Volume{0a1b2c3d-0000-4000-8000-00000000beef}\\VMs\\..\\base.vhdx",
       u"\\\\?\\Volume{0a1b2c3d-0000-4000-8000-00000000beef}\\base.vhdx"},
      {u"C:\\\u30bd\\child.qcow2", u"\u30bd/base.qcow2", u"C:\\\u30bd\\\u30bd\\base.qcow2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.child) + " + " + Narrow(c.name));
    ASSERT_FALSE(WhyParentNameRefused(c.name).has_value());
    EXPECT_EQ(Narrow(ResolveParentName(c.child, c.name)), Narrow(c.path));
  }
}

// A QCOW2 over a backing file named `name` (UTF-8), the name at byte 400.
sim::Bytes Qcow2Over(const std::string& name) {
  return Qcow2Header([&](sim::Bytes& h) {
    Be64(h, 8, 400);
    Be32(h, 16, static_cast<uint32_t>(name.size()));
    std::memcpy(&h[400], name.data(), name.size());
  });
}

class ParentOpenTest : public SimTest {
 protected:
  void PutQcow2(const std::string& path, const std::string& backing) {
    sim::File& f = machine.files[path];
    f.size = 2 << 20;
    f.extents = {{0, Qcow2Over(backing)}};
  }
  std::vector<std::string> Opened() const { return OpenedPaths(); }
};

// Each name refused is never asked of the machine: the only open is the child's own.
TEST_F(ParentOpenTest, NoRefusedNameReachesTheDoor) {
  for (const NameCase& c : kNames) {
    if (c.why == nullptr) continue;
    const std::string name = Narrow(c.name);  // ASCII: its UTF-8 is its bytes
    SCOPED_TRACE(name);
    machine.ClearLog();
    PutQcow2("C:\\VMs\\child.qcow2", name);
    const ImageCheck check = CheckImage("C:\\VMs\\child.qcow2", {});
    EXPECT_EQ(check.refusal, ImageRefusal::Differencing);
    EXPECT_NE(check.refusalWords.find("which Tessarel does not open"), std::string::npos)
        << check.refusalWords;
    EXPECT_EQ(Opened(), std::vector<std::string>{"C:\\VMs\\child.qcow2"});
  }
  ExpectNothingLeft();
}

// Where a format gives several places, a forbidden one is skipped like a missing one, and
// named only where no later place finds the parent.
TEST_F(ParentOpenTest, AForbiddenPlaceIsSkippedLikeAMissingOne) {
  sim::Bytes mbr(512, 0);
  mbr[510] = 0x55, mbr[511] = 0xAA;
  sim::File& parent = machine.files["C:\\VMs\\base\\parent.img"];
  parent.size = 1 << 20;
  parent.extents = {{0, mbr}};
  const struct {
    std::vector<std::u16string> names;
    const char* words;  // nullptr: the parent is found
    std::vector<std::string> opened;
  } cases[] = {
      {{u"\\\\server\\share\\parent.img", u"..\\base\\parent.img"},
       nullptr,
       {"C:\\VMs\\base\\parent.img"}},
      {{u"\\\\.\\PhysicalDrive0", u"gone.img"},
       "its parent was not found at C:\\VMs\\vm\\gone.img; it is also named "
       "\"\\\\.\\PhysicalDrive0\", "
       "a device, not a file, which Tessarel does not open from a name inside a disk file",
       {"C:\\VMs\\vm\\gone.img"}},
      {{u"\\\\server\\share\\parent.img"},
       "its parent is named only as \"\\\\server\\share\\parent.img\", on another computer, which "
       "Tessarel does not open from a name inside a disk file",
       {}},
  };
  for (const auto& c : cases) {
    machine.ClearLog();
    const ParentFound found = OpenParentAtFirst("C:\\VMs\\vm\\child.vhd", c.names, {}, nullptr);
    if (c.words == nullptr) {
      EXPECT_EQ(found.refusal.refusal, ImageRefusal::None) << found.refusal.detail;
      EXPECT_NE(found.guest, nullptr);
    } else {
      EXPECT_EQ(found.refusal.detail, c.words);
    }
    EXPECT_EQ(Opened(), c.opened);
  }
  ExpectNothingLeft();
}

// On a Japanese system ソ is 0x83 0x5C: the parent "ソ/base.qcow2" is opened as the folder
// ソ beside the child, not split at its trail byte.
TEST_F(ParentOpenTest, ATrailByteIsNoSeparator) {
  machine.codePage = 932;
  PutQcow2("C:\\VMs\\child.qcow2", "\xE3\x82\xBD/base.qcow2");
  machine.ClearLog();
  const ImageCheck check = CheckImage("C:\\VMs\\child.qcow2", {});
  EXPECT_EQ(Opened(),
            (std::vector<std::string>{"C:\\VMs\\child.qcow2", "C:\\VMs\\\x83\x5C\\base.qcow2"}));
  EXPECT_NE(check.refusalWords.find("C:\\VMs\\\x83\x5C\\base.qcow2"), std::string::npos)
      << check.refusalWords;
}

// A run that checks files opens no device, whoever names it.
TEST_F(ParentOpenTest, ARunOfFilesOpensNoDevice) {
  sim::AddAtaDrive(machine, 0, "M", "", "", 0x4000, 0);
  for (const char* path : {"\\\\.\\PhysicalDrive0",
                           "\\\\.\\C:", "\\\\?\\Volume{0a1b2c3d-0000-0000-0000-100000000000}"}) {
    SCOPED_TRACE(path);
    machine.ClearLog();
    const ImageCheck check = CheckImage(path, {});
    EXPECT_EQ(check.refusal, ImageRefusal::CannotOpen);
    EXPECT_TRUE(Opened().empty());
  }
  // A share a person names is a file, not a device.
  EXPECT_TRUE(IsReadOnlyOpen("\\\\sofs\\vms\\x.vhdx", GENERIC_READ, 3, OPEN_EXISTING, 0,
                             OpenScope::FilesOnly));
}

}  // namespace
