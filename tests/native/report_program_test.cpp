#include "app/report_program.h"

#include "json_check.h"
#include "lab_report.h"
#include "sim/lab.h"
#include "sim_fixture.h"

namespace {

const ReportTexts kTexts = {{"Drive", "Drv No", "Drive Name", "Offset"}, "NOT NT", "NO ACCESS"};

class ReportProgramTest : public SimTest {
 protected:
  int Run(std::vector<std::string> args) {
    out.clear();
    err.clear();
    return RunReport(args, kTexts, &out, &err);
  }
  std::string out, err;
};

TEST_F(ReportProgramTest, LabReportAndItsStatus) {
  sim::BuildLab(machine);
  EXPECT_EQ(Run({}), 1);
  EXPECT_EQ(out, kLabReport);
  EXPECT_EQ(err, "");
  ExpectNothingLeft();
}

TEST_F(ReportProgramTest, DrivesFollowTheVolumes) {
  sim::BuildLab(machine);
  EXPECT_EQ(Run({"--drives"}), 1);
  const std::string drives = out.substr(sizeof kLabReport - 1);
  EXPECT_EQ(out.substr(0, sizeof kLabReport - 1), kLabReport);
  EXPECT_EQ(drives.substr(0, 2), "\nD");
  EXPECT_NE(drives.find("\n5       NVMe VOLANTE VX2 1TB                                            "
                        "0         4096              storage descriptor\n"),
            std::string::npos)
      << drives;
  EXPECT_NE(drives.find("\n4       VITRELLE PORTA-DISK 2T                                          "
                        "Unknown   Unknown           none              \n"),
            std::string::npos)
      << drives;
  // A blank line, the heading, drives 0 to 8, and 10 to 12 past the gap at 9.
  EXPECT_EQ(std::count(drives.begin(), drives.end(), '\n'), 1 + 1 + 9 + 3);
  EXPECT_NE(drives.find("\n12      KESTREL KD3000-512E"), std::string::npos);
}

TEST_F(ReportProgramTest, JsonHoldsEveryVolumeWithItsVerdict) {
  sim::BuildLab(machine);
  EXPECT_EQ(Run({"--json"}), 1);
  EXPECT_TRUE(IsValidJson(out));
  EXPECT_NE(out.find("\"letter\": \"N\",\n      \"drive\": 6,\n      \"driveName\": "
                     "\"KESTREL KD8000-512E\",\n      \"dataStart\": 5000000000,\n      "
                     "\"verdict\": \"aligned\""),
            std::string::npos);
  size_t volumes = 0;
  for (size_t at = out.find("\"letter\""); at != std::string::npos;
       at = out.find("\"letter\"", at + 1))
    ++volumes;
  EXPECT_EQ(volumes, 15u);
}

TEST_F(ReportProgramTest, StatusFollowsTheWorstVerdict) {
  // Only the aligned volumes of the lab: 0. Then an undetermined one too: 2.
  sim::BuildLab(machine);
  for (char l : {'D', 'G', 'H', 'M', 'Q', 'R', 'S'}) machine.letters.erase(l);
  EXPECT_EQ(Run({}), 0);
  sim::BuildLab(machine);
  for (char l : {'D', 'G', 'M', 'Q', 'R', 'S'}) machine.letters.erase(l);
  EXPECT_EQ(Run({}), 2);
  // No volumes at all: nothing misaligned or undetermined.
  sim::Machine empty;
  sim::Installation in(empty);
  sim::AddAtaDrive(empty, 0, "D0", "", "", 0x4000, 0);
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(out, "Drive   Drv No  Drive Name                      Offset      Alignment   \n");
}

TEST_F(ReportProgramTest, ASecondRunInOneProcessReportsOnlyItsOwnMachine) {
  // The second machine: drive 0 now answers IDENTIFY with zeros, which is no identity.
  auto secondMachine = [](sim::Machine& m) {
    sim::BuildLab(m);
    m.drives[0].smart.data.fill(0);
  };
  for (const char* option : {"--drives", "--json"}) {
    SCOPED_TRACE(option);
    std::string fresh;
    {
      sim::Machine m;
      sim::Installation in(m);
      secondMachine(m);
      g_drives.Clear();  // as a new process starts
      Run({option});
      fresh = out;
    }
    sim::Machine first;
    sim::Installation in(first);
    sim::BuildLab(first);
    Run({option});
    sim::Machine second;
    sim::Installation in2(second);
    secondMachine(second);
    Run({option});
    EXPECT_EQ(out, fresh);
  }
  EXPECT_NE(out.find("\"letter\": \"C\",\n      \"drive\": 0,\n      \"driveName\": \"\",\n      "
                     "\"dataStart\": 2048,\n      \"verdict\": \"undetermined\""),
            std::string::npos)
      << out;
}

TEST_F(ReportProgramTest, OptionsThatNeedNoScan) {
  sim::BuildLab(machine);
  EXPECT_EQ(Run({"--bogus"}), 3);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err.rfind("Usage: TessarelReport", 0), 0u);
  EXPECT_EQ(Run({"--json", "-x"}), 3);
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_EQ(out.rfind("Usage: TessarelReport", 0), 0u);
  EXPECT_EQ(err, "");
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out, "TessarelReport 1.02\n");
  EXPECT_TRUE(machine.Log().empty()) << "no device asked";
}

TEST_F(ReportProgramTest, RefusalsGoToStandardError) {
  sim::BuildLab(machine);
  machine.platformId = VER_PLATFORM_WIN32_WINDOWS;
  EXPECT_EQ(Run({}), 3);
  EXPECT_EQ(err, "NOT NT\n");
  EXPECT_EQ(out, "");
  EXPECT_TRUE(machine.Calls("CreateFileA").empty());

  machine.platformId = VER_PLATFORM_WIN32_NT;
  machine.drives[0].open = sim::Open::ReadOnly;  // readable, but not writable: not elevated
  EXPECT_EQ(Run({"--json"}), 3);
  EXPECT_EQ(err, "NO ACCESS\n");
  EXPECT_EQ(out, "");
  ExpectNothingLeft();
}

}  // namespace
