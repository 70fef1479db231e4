// A sweep of folders on the simulated machine, as Windows lists them: what it cannot list,
// spell or read is never a pass; junctions are followed once; a disk Windows will not share
// holds its checkpoint's base unexamined; progress leaves the output as it was.
#include "image/sweep.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/report_program.h"
#include "sim_fixture.h"

namespace {

constexpr const char* kCheckpoint = "C:\\VMs\\vm_6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9.avhdx";

class SweepTest : public SimTest {
 protected:
  SweepTest() { machine.majorVersion = 10; }

  // A disk file holding one NTFS file system of 4 KiB clusters from sector 0: aligned.
  void AlignedDisk(const std::string& path) {
    sim::File& file = machine.files[path];
    file.extents[0] = sim::BuildNtfsBootSector(512, 8, 0);
    file.size = 1 << 20;
  }

  int Run(std::vector<std::string> args, std::string* out, const ProgressSink& progress = nullptr) {
    const ReportTexts texts = {{"Drive", "Drv No", "Drive Name", "Offset"}, "", ""};
    std::string err;
    out->clear();
    const int status = RunReport(args, texts, out, &err, progress);
    EXPECT_EQ(err, "");
    return status;
  }
};

// Whatever the sweep could not list, spell or read keeps the run from passing.
TEST_F(SweepTest, WhatTheSweepCannotReadIsNeverAPass) {
  const struct {
    const char* what;
    std::function<void(sim::Machine&)> add;
    int status;
    const char* summary;
  } cases[] = {
      {"an aligned disk", nullptr, 0, "OK: 1 image aligned; 1 partition"},
      {"a folder Windows will not list",
       [](sim::Machine& m) { m.folders["C:\\VMs\\locked"].listable = false; }, 2,
       "INCOMPLETE: the sweep is incomplete (C:\\VMs\\locked: Windows refused to list it "
       "(Windows error 5)); 0 of 1 partition misaligned"},
      {"a name the code page cannot spell",
       [](sim::Machine& m) { m.files["C:\\VMs\\?????.vhdx"].size = 512; }, 2,
       "UNDETERMINED: 1 of 2 images; 0 of 1 partition; C:\\VMs\\?????.vhdx not examined: its "
       "name cannot be spelled in this system's code page"},
      {"a VHD Set", [](sim::Machine& m) { m.files["C:\\VMs\\shared.vhds"].size = 512; }, 2,
       "UNDETERMINED: 1 of 2 images; 0 of 1 partition; C:\\VMs\\shared.vhds not examined: a VHD "
       "Set, which Tessarel does not read: its disk's data lies in the .avhdx files it names"},
      {"a .img of zeros, no disk, beside it",
       [](sim::Machine& m) { m.files["C:\\VMs\\blank.img"].size = 1 << 20; }, 0,
       "OK: 1 image aligned; 1 partition"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    machine.files.clear();
    machine.folders.clear();
    AlignedDisk("C:\\VMs\\a.vhdx");
    if (c.add) c.add(machine);
    std::string out;
    EXPECT_EQ(Run({"--image-dir", "C:\\VMs", "--recurse", "--summary"}, &out), c.status);
    EXPECT_EQ(out, std::string(c.summary) + "\n");
    // The compliance line and the run record (whose `complete` the metrics write) agree.
    const std::string complete = c.summary[0] == 'I' ? "false" : "true";
    EXPECT_EQ(Run({"--image-dir", "C:\\VMs", "--recurse", "--intune-compliance"}, &out), 0);
    EXPECT_NE(out.find("\"TessarelComplete\":" + complete), std::string::npos) << out;
    Run({"--image-dir", "C:\\VMs", "--recurse", "--jsonl"}, &out);
    EXPECT_NE(out.substr(0, out.find('\n')).find("\"complete\":" + complete), std::string::npos);
  }
  // A folder of nothing, or none at all: nothing judged, no pass.
  machine.files.clear();
  machine.folders.clear();
  machine.folders["C:\\Empty"] = {};
  std::string out;
  EXPECT_EQ(Run({"--image-dir", "C:\\Empty", "--summary"}, &out), 2);
  EXPECT_EQ(out, "UNDETERMINED: no disk file to check: the folders hold none\n");
  EXPECT_EQ(Run({"--image-dir", "C:\\Gone", "--summary"}, &out), 2);
  EXPECT_EQ(out.rfind("INCOMPLETE: the sweep is incomplete (C:\\Gone: it was not found", 0), 0u)
      << out;
}

// A sweep holds as many disk files as a list may name; past them it stops, incomplete.
TEST_F(SweepTest, ASweepStopsIncompleteWhereItsFindingsWouldOutgrowTheRun) {
  for (int i = 0; i <= 16384; ++i) machine.files["C:\\Many\\" + std::to_string(i) + ".img"];
  std::string out;
  EXPECT_EQ(Run({"--image-dir", "C:\\Many", "--summary"}, &out), 2);
  EXPECT_EQ(out, "INCOMPLETE: the sweep is incomplete (C:\\Many: the sweep holds 16,384 disk files "
                 "already: sweep the folders under it apart); 0 of 0 partitions misaligned\n");
  ExpectNothingLeft();
}

// Junctions and mount points are followed, each folder once; without --recurse, none.
TEST_F(SweepTest, LinksAreFollowedOnceAndLoopsEnd) {
  AlignedDisk("C:\\VMs\\a.vhdx");
  AlignedDisk("D:\\Store\\b.vhdx");
  machine.folders["C:\\VMs\\loop"].linkTo = "C:\\VMs";
  machine.folders["C:\\VMs\\store"].linkTo = "D:\\Store";
  std::string out;
  EXPECT_EQ(Run({"--image-dir", "C:\\VMs\\", "--recurse"}, &out), 0);
  EXPECT_NE(out.find("Image C:\\VMs\\a.vhdx\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Image C:\\VMs\\store\\b.vhdx\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  2 disk files found: 2 disks, 0 folded into them"), std::string::npos);
  EXPECT_NE(out.find("Links\n  C:\\VMs\\loop: the same as C:\\VMs, not read again\n"
                     "  C:\\VMs\\store: followed\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(Run({"--image-dir", "C:\\VMs", "--summary"}, &out), 0);
  EXPECT_EQ(out, "OK: 1 image aligned; 1 partition\n");
  ExpectNothingLeft();
}

// A running machine's checkpoint is refused in use; its base is listed under it, unread.
TEST_F(SweepTest, AnInUseCheckpointHoldsItsBaseUnexamined) {
  AlignedDisk("C:\\VMs\\vm.vhdx");
  machine.files[kCheckpoint].size = 4 << 20;
  machine.files[kCheckpoint].inUse = true;
  std::string out;
  EXPECT_EQ(Run({"--image-dir", "C:\\VMs", "--json"}, &out), 2);
  EXPECT_NE(out.find("\"code\": \"in-use\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"path\": \"C:\\\\VMs\\\\vm.vhdx\",\n        \"as\": \"in-use-parent\""),
            std::string::npos)
      << out;
  for (const sim::Call& open : machine.Calls("CreateFileA"))
    EXPECT_TRUE(open.path != "C:\\VMs\\vm.vhdx" || open.access == 0) << "asked who it is, unread";
  ExpectNothingLeft();
}

TEST(SweepNames, CheckpointsAndExtensions) {
  const struct {
    const char* path;
    const char* base;  // none: not a checkpoint's name
  } checkpoints[] = {
      {"C:\\VMs\\vm_6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9.avhdx", "C:\\VMs\\vm.vhdx"},
      {"C:\\VMs\\my_vm_6f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9.AVHD", "C:\\VMs\\my_vm.vhd"},
      {"C:\\VMs\\vm_{6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}.avhdx", "C:\\VMs\\vm.vhdx"},
      {"C:\\VMs\\vm_6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F.avhdx", nullptr},
      {"C:\\VMs\\vm_6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9.vhdx", nullptr},
      {"C:\\VMs\\vm.avhdx", nullptr},
      {"C:\\V_6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9\\vm.avhdx", nullptr},
  };
  for (const auto& c : checkpoints) {
    const std::optional<std::string> base = CheckpointBase(c.path);
    EXPECT_EQ(base.value_or("none"), c.base ? c.base : "none") << c.path;
  }
  bool generic = false;
  for (const char* disk : {"a.VHD", "a.vhdx", "a.avhd", "a.AVHDX", "a.vmdk", "a.qcow2", "a.qcow",
                           "a.vdi", "a.img", "a.RAW"})
    EXPECT_TRUE(HasDiskExtension(disk)) << disk;
  for (const char* other : {"a.vhds", "a.iso", "a.vhdx.bak", "vhdx", "a.vmx", "a.qcow3"})
    EXPECT_FALSE(HasDiskExtension(other)) << other;
  EXPECT_TRUE(HasDiskExtension("x.Img", &generic) && generic);
  EXPECT_TRUE(HasDiskExtension("x.vhd", &generic) && !generic);
}

// Progress goes to the console alone, one line overwritten, and is cleared at the end: the
// report is the same with it and without.
TEST_F(SweepTest, ProgressLeavesTheReportAsItWas) {
  AlignedDisk("C:\\VMs\\a.vhdx");
  AlignedDisk("C:\\VMs\\b.vhdx");
  std::string shown, with, without;
  EXPECT_EQ(Run({"--image-dir", "C:\\VMs"}, &with, [&](const std::string& s) { shown += s; }), 0);
  EXPECT_EQ(Run({"--image-dir", "C:\\VMs"}, &without), 0);
  EXPECT_EQ(with, without);
  const std::string blank = "\r" + std::string(79, ' ') + "\r";
  ASSERT_EQ(shown.size(), 2 * 80 + blank.size());
  EXPECT_EQ(shown.substr(0, 30), "\rChecking 1 of 2: C:\\VMs\\a.vhd");
  EXPECT_EQ(shown.substr(80, 30), "\rChecking 2 of 2: C:\\VMs\\b.vhd");
  EXPECT_EQ(shown.substr(160), blank);
}

}  // namespace
