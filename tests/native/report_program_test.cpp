#include "app/report_program.h"
#include "report/report_lines.h"

#include <csignal>
#include <fstream>
#include <sstream>
#include <cstdio>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "app/report_output.h"

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
  const std::string all = out.substr(sizeof kLabReport - 1);
  const std::string drives = all.substr(0, all.find("\nFree space"));
  EXPECT_EQ(out.substr(0, sizeof kLabReport - 1), kLabReport);
  EXPECT_EQ(drives.substr(0, 2), "\nD");
  EXPECT_NE(drives.find("\n5       NVMe VOLANTE VX2 1TB                                            "
                        "0         4096              storage descriptor SSD  \n"),
            std::string::npos)
      << drives;
  EXPECT_NE(drives.find("\n4       VITRELLE PORTA-DISK 2T                                          "
                        "Unknown   Unknown           none                    \n"),
            std::string::npos)
      << drives;
  // The size the drive reports, past 4 KiB too.
  EXPECT_NE(drives.find("\n15      NVMe VOLANTE VX7 2TB                                            "
                        "0         16384             storage descriptor SSD  \n"),
            std::string::npos)
      << drives;
  // A blank line, the heading, drives 0 to 8, and 10 to 16 past the gap at 9.
  EXPECT_EQ(std::count(drives.begin(), drives.end(), '\n'), 1 + 1 + 9 + 7);
  EXPECT_NE(drives.find("\n12      KESTREL KD3000-512E"), std::string::npos);
}

// The lab as the console reports it without raw access: the verdicts the queries can give
// stand; FAT and exFAT, whose data area takes reading, say why they are undetermined.
constexpr char kQueryOnlyLab[] =
    "Drive        Drv No  Drive Name                      Offset      Alignment   Partition aligned to\n"
    "C:           0       KESTREL KD4000-512E             2048        aligned     1M\n"
    "D:           0       KESTREL KD4000-512E             63          misaligned  512\n"
    "    move to sector 64 (1 sector, 512 bytes later) after shrinking it by 1 sector; no room at 2048, on 1 MiB\n"
    "E:           1       KESTREL KD2000-SHIFT            63          aligned     512\n"
    "F:           2       ORMOLU OM500 CLASSIC                        undetermined 512\n"
    "    undetermined: its data area needs administrative rights to read\n"
    "    Windows calls its partition aligned: it judges where the partition starts, Tessarel where the data area begins\n"
    "G:           3       KESTREL KD1000-512E                         misaligned  1M\n"
    "    format with clusters of 4096 bytes\n"
    "    Windows calls its partition aligned: it does not judge clusters smaller than the physical sector\n"
    "H:           4       VITRELLE PORTA-DISK 2T          2048        undetermined 1M\n"
    "    undetermined: the drive reported nothing about its physical sectors\n"
    "    Windows calls its partition aligned, but the drive's storage stack reports no physical sector beyond the logical one\n"
    "L:           5       NVMe VOLANTE VX2 1TB            2048        aligned     1M\n"
    "M:           5       NVMe VOLANTE VX2 1TB            1026047     misaligned  512\n"
    "    move to sector 1026048 (1 sector, 512 bytes later), on 1 MiB\n"
    "N:           6       KESTREL KD8000-512E             5000000000  aligned     256K\n"
    "O:           6       KESTREL KD8000-512E             2048        aligned     1M\n"
    "P:           7       ORMOLU OM1000 CLASSIC           63          aligned     512\n"
    "Q:           8       KESTREL KD2000-512E             63          misaligned  512\n"
    "    move to sector 64 (1 sector, 512 bytes later), or to 2048 on 1 MiB\n"
    "R:           10      SWIFTLY PORTA-SSD 1T                        undetermined 1M\n"
    "    undetermined: its data area needs administrative rights to read\n"
    "    Windows calls its partition aligned: it judges where the partition starts, Tessarel where the cluster heap begins\n"
    "S:           11      KESTREL KD3000-512E             1050624     misaligned  1M\n"
    "  1/2        11      KESTREL KD3000-512E             1050624     aligned     \n"
    "  2/2        12      KESTREL KD3000-512E             2099199     misaligned  \n"
    "    Windows calls the volume aligned: for a volume over several disks it answers once, for the largest of them\n"
    "T:           11      KESTREL KD3000-512E             264192      aligned     1M\n"
    "U:           13      KESTREL KD2000-DUAL             239616      aligned     1M\n"
    "V:           2       ORMOLU OM500 CLASSIC            206848      aligned     1M\n"
    "X:           14      SWIFTLY PORTA-HDD 2T            2048        aligned     1M\n"
    "Y:           15      NVMe VOLANTE VX7 2TB            2048        aligned     1M\n"
    "Z:           16      KESTREL KD6000-4KN              256         aligned     1M\n"
    "C:\\SQL\\Data\\ 3       KESTREL KD1000-512E             4194367     misaligned  512\n"
    "    move to sector 4194368 (1 sector, 512 bytes later), or to 4196352 on 1 MiB\n"
    "C:\\VM\\       15      NVMe VOLANTE VX7 2TB            206856      misaligned  4K\n"
    "    move to sector 206880 (24 sectors, 12288 bytes later), or to 208896 on 1 MiB\n"
    "W:  not examined: partition start (Windows error 1, incorrect function)\n"
    "\n"
    "Partitions without a letter or folder\n"
    "Drv No  Part  Type                Start       Length      Alignment    Aligned to  Holds\n"
    "2       3     NTFS/exFAT          411648      2097152     aligned      1M          no volume found\n"
    "6       3     EFI system          34          2014        undetermined 1K          no letter or folder\n"
    "    undetermined: its data area needs administrative rights to read\n"
    "11      1     LDM metadata        34          2014                     1K          holds other volumes\n"
    "11      2     LDM data            2048        4194304                  1M          holds other volumes\n"
    "12      1     LDM metadata        34          2014                     1K          holds other volumes\n"
    "12      2     LDM data            2048        4194304                  1M          holds other volumes\n"
    "13      1     EFI system          2048        204800      undetermined 1M          no letter or folder\n"
    "    undetermined: its data area needs administrative rights to read\n"
    "13      2     Microsoft reserved  206848      32768                    1M          no volume\n"
    "13      4     Linux file system   100239679   2097152     misaligned   512         no volume\n"
    "    move to sector 100239680 (1 sector, 512 bytes later), or to 100241408 on 1 MiB\n"
    "14      2     Linux               4196352     4194304     aligned      1M          no volume\n"
    "14      3     Linux swap          8390719     2097152     misaligned   512         no volume\n"
    "    move to sector 8390720 (1 sector, 512 bytes later) after shrinking it by 1 sector, or to 8392704 on 1 MiB after shrinking it by 1985 sectors\n";

// Every lab report the docs print, marked "<!-- lab report: ARGS -->" before its block (ARGS
// the console's arguments; "standard": as a standard user), is what the console prints for
// the lab; one marked "<!-- excerpt -->" too is a run of its lines.
TEST(ReportDocsTest, TheLabReportsTheDocsPrintAreThePrograms) {
  int checked = 0;
  for (const char* doc : {"README.md", "docs/console.md"}) {
    std::ifstream in(std::string(SOURCE_DIR) + "/" + doc, std::ios::binary);
    ASSERT_TRUE(in.good()) << doc;
    std::stringstream whole;
    whole << in.rdbuf();
    const std::string text = whole.str();
    for (size_t at = text.find("<!-- lab report"); at != std::string::npos;
         at = text.find("<!-- lab report", at + 1)) {
      const size_t close = text.find("-->", at);
      std::string args = text.substr(at + 15, close - at - 15);
      args.erase(0, args.find_first_not_of(": "));
      args.erase(args.find_last_not_of(' ') + 1);
      const bool excerpt = text.compare(close + 3, 16, "<!-- excerpt -->") == 0;
      const size_t begin = text.find("```\n", close) + 4;
      const std::string block = text.substr(begin, text.find("```\n", begin) - begin);
      SCOPED_TRACE(std::string(doc) + ", " + (args.empty() ? "no arguments" : args));
      sim::Machine machine;
      sim::Installation in(machine);
      sim::BuildLab(machine);
      std::vector<std::string> run;
      if (args == "standard")
        machine.user = sim::User::Standard;
      else
        for (std::istringstream words(args); words >> args;) run.push_back(args);
      std::string out, err;
      RunReport(run, kTexts, &out, &err);
      if (excerpt)
        EXPECT_NE(out.find(block), std::string::npos) << block;
      else
        EXPECT_EQ(block, out);
      ++checked;
    }
  }
  EXPECT_GE(checked, 3);
}

// Who runs the console decides how it opens devices; it says so first, and in the JSON.
TEST(ReportModeTest, WithoutRawAccessItJudgesWhatTheQueriesTellAndSaysSo) {
  constexpr char kNotElevated[] =
      "Not elevated: FAT and exFAT volumes are judged by their clusters only; run TessarelReport "
      "from an elevated command prompt for a full report.\n";
  const struct {
    const char* who;
    sim::User user;
    bool policy;
    DWORD windows;  // major version: before 6 the token cannot say
    const char* firstLine;
    const char* mode;  // the JSON's "elevated" and "rawAccess"
    const char* report;
  } cases[] = {
      {"administrator", sim::User::ElevatedAdministrator, false, 10, "",
       "true,\n  \"rawAccess\": true", kLabReport},
      {"standard user", sim::User::Standard, false, 10, kNotElevated,
       "false,\n  \"rawAccess\": false", kQueryOnlyLab},
      {"standard user on XP", sim::User::Standard, false, 5, kNotElevated,
       "null,\n  \"rawAccess\": false", kQueryOnlyLab},
      {"administrator under a policy", sim::User::ElevatedAdministrator, true, 10,
       "Windows refused write access to the disks although this prompt is elevated (error 5): a "
       "security policy such as Controlled Folder Access blocks it. FAT and exFAT volumes are "
       "judged by their clusters only.\n",
       "true,\n  \"rawAccess\": false", kQueryOnlyLab},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.who);
    sim::Machine machine;
    sim::Installation in(machine);
    sim::BuildLab(machine);
    machine.user = c.user;
    machine.policyBlocksDriveWrites = c.policy;
    machine.majorVersion = c.windows;
    std::string out, err;
    EXPECT_EQ(RunReport({}, kTexts, &out, &err), 1);
    // Windows before 8 gives no view of its own.
    EXPECT_EQ(out, c.firstLine + (c.windows < 6 ? WithoutWindowsView(c.report) : c.report));
    EXPECT_EQ(err, "");
    out.clear();
    RunReport({"--json"}, kTexts, &out, &err);
    EXPECT_NE(out.find(std::string("\"elevated\": ") + c.mode + ",\n"), std::string::npos) << out;
    // Without raw access nothing is read, and nothing but drive 0's first open asks for more
    // than access 0.
    if (c.report == kLabReport) continue;
    EXPECT_TRUE(machine.Calls("ReadFile").empty());
    const auto opens = machine.Calls("CreateFileA");
    EXPECT_EQ(std::count_if(opens.begin(), opens.end(), [](const sim::Call& o) { return o.access; }),
              2);  // one for each run
    EXPECT_EQ(machine.OpenHandles(), 0);
  }
}

// Windows 7 has no FileStorageInfo: the report is Tessarel's alone, as it was before it
// asked Windows' view; no row gains a line, and each volume's view is null.
TEST_F(ReportProgramTest, OnWindows7WindowsGivesNoViewAndNoRowGainsALine) {
  sim::BuildLab(machine);
  machine.majorVersion = 6;
  machine.minorVersion = 1;
  machine.buildNumber = 7601;
  EXPECT_EQ(Run({}), 1);
  EXPECT_EQ(out, WithoutWindowsView(kLabReport));
  EXPECT_NE(std::string(kLabReport), WithoutWindowsView(kLabReport));
  Run({"--json"});
  const auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = out.find(what); at != std::string::npos; at = out.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("\"windows\": {"), 0u);
  EXPECT_EQ(count("\"windows\": null"), count("\"placedBy\": "));
  EXPECT_EQ(count("\"windows\": null"), lab::Rows().size());
  ExpectNothingLeft();
}

// A storage stack that gives the sector sizes but computes neither offset has no word on
// alignment: no row gains a line, and the JSON's two words are null, not false.
TEST_F(ReportProgramTest, AStackThatCannotComputeTheOffsetsSaysNothingOfAlignment) {
  sim::BuildLab(machine);
  for (auto& [number, drive] : machine.drives) drive.storageOffsetsUnknown = true;
  EXPECT_EQ(Run({}), 1);
  EXPECT_EQ(out, WithoutWindowsView(kLabReport));
  Run({"--json"});
  const auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = out.find(what); at != std::string::npos; at = out.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("\"partitionAligned\": null"), lab::Rows().size());
  EXPECT_EQ(count("\"deviceAligned\": null"), lab::Rows().size());
  EXPECT_EQ(count("\"partitionAlignmentOffset\": null"), lab::Rows().size());
  ExpectNothingLeft();
}

// Each output on each kind of machine: the text's exit status for the text, the JSON, the
// CSV and the summary; the plugin's for --nagios. The one-line outputs say even a refusal
// on their one line, and nothing on standard error.
TEST(ReportOutputsTest, EachOutputSaysTheSameWithItsStatus) {
  const auto lab = [](sim::Machine& m) { sim::BuildLab(m); };
  const auto aligned = [](sim::Machine& m) {
    sim::AddAtaDrive(m, 0, "D0", "", "", 0x6003, 0x4000);
    sim::PlaceVolume(m, sim::VolumeLayout{});  // C: NTFS at 2048
  };
  const auto unknown = [](sim::Machine& m) {
    sim::AddStorageDrive(m, 0, "USB", "BRIDGE", 512, 512);
    m.drives[0].alignment.supported = false;
    sim::PlaceVolume(m, sim::VolumeLayout{});
  };
  const auto incomplete = [](sim::Machine& m) {
    sim::AddAtaDrive(m, 0, "D0", "", "", 0x6003, 0x4000);
    sim::PlaceVolume(m, sim::VolumeLayout{});
    m.enumerationOk = false;
  };
  const auto notNt = [](sim::Machine& m) { m.platformId = 1; };
  const char* kLabSummary =
      "MISALIGNED: 8 of 23 volumes; D: disk 0 at 63: move to 64 after shrinking 1 sector; G: disk "
      "3: format with 4096-byte clusters; M: disk 5 at 1026047: move to 1026048; Q: disk 8 at 63: "
      "move to 64; R: disk 10: format again with clusters of at least 4096 bytes; S: disk 11 at "
      "1050624; C:\\SQL\\Data\\ disk 3 at 4194367: move to 4194368; C:\\VM\\ disk 15 at 206856: move "
      "to 206880\n";
  const char* kLabPlugin =
      " - 8 of 23 volumes misaligned: D:, G:, M:, Q:, R:, S:, C:\\SQL\\Data\\, C:\\VM\\ | ";
  const struct {
    const char* what;
    void (*build)(sim::Machine&);
    std::vector<std::string> args;
    int status;
    std::string out;  // the whole output; for the text, JSON and CSV only how it begins
  } cases[] = {
      {"lab, text", lab, {}, 1, "Drive        Drv No"},
      {"lab, JSON", lab, {"--json"}, 1, "{\n  \"program\": \"Tessarel\""},
      {"lab, CSV", lab, {"--csv"}, 1, "\xEF\xBB\xBF" "computer,kind,name,drive,partition,"},
      {"lab, summary", lab, {"--summary"}, 1, kLabSummary},
      {"lab, plugin", lab, {"--nagios"}, 1,
       std::string("TESSAREL WARNING") + kLabPlugin +
           "misaligned=8;0;;0; undetermined=2;;;0; volumes=23;;;0;\n"},
      {"lab, plugin, critical", lab, {"--nagios", "--critical"}, 2,
       std::string("TESSAREL CRITICAL") + kLabPlugin +
           "misaligned=8;;0;0; undetermined=2;;;0; volumes=23;;;0;\n"},
      {"aligned, summary", aligned, {"--summary"}, 0, "OK: 1 volume aligned\n"},
      {"aligned, plugin", aligned, {"--nagios"}, 0,
       "TESSAREL OK - 1 volume aligned | misaligned=0;0;;0; undetermined=0;;;0; volumes=1;;;0;\n"},
      {"undetermined, summary", unknown, {"--summary"}, 2,
       "UNDETERMINED: 1 of 1 volume; C: disk 0: the drive reported nothing about its physical "
       "sectors\n"},
      {"undetermined, plugin", unknown, {"--nagios", "--critical"}, 3,
       "TESSAREL UNKNOWN - 1 of 1 volume undetermined: C: | misaligned=0;;0;0; "
       "undetermined=1;;;0; volumes=1;;;0;\n"},
      {"incomplete, summary", incomplete, {"--summary"}, 2,
       "INCOMPLETE: the list of volumes is incomplete (Windows error 5, access denied); 0 of "
       "1 volume misaligned\n"},
      {"incomplete, plugin", incomplete, {"--nagios"}, 3,
       "TESSAREL UNKNOWN - the list of volumes is incomplete (Windows error 5, access denied) | "
       "misaligned=0;0;;0; undetermined=0;;;0; volumes=1;;;0;\n"},
      {"not NT, summary", notNt, {"--summary"}, 3, "ERROR: NOT NT\n"},
      {"not NT, plugin", notNt, {"--nagios"}, 3, "TESSAREL UNKNOWN - NOT NT\n"},
      {"a bad option, summary", aligned, {"--summary", "--frob"}, 3,
       "ERROR: unknown option '--frob'\n"},
      {"two outputs, plugin", aligned, {"--nagios", "--json"}, 3,
       "TESSAREL UNKNOWN - options '--json', '--csv', '--jsonl', '--summary', '--nagios' and "
       "'--intune-compliance' exclude each other\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Machine machine;
    sim::Installation in(machine);
    c.build(machine);
    std::string out, err;
    EXPECT_EQ(RunReport(c.args, kTexts, &out, &err), c.status);
    const bool oneLine = c.args.size() > 0 && (c.args[0] == "--summary" || c.args[0] == "--nagios");
    if (oneLine) {
      EXPECT_EQ(out, c.out);
      EXPECT_EQ(err, "");
      EXPECT_LE(out.size(), report::kMostLineCharacters + 1);
    } else {
      EXPECT_EQ(out.rfind(c.out, 0), 0u) << out.substr(0, 80);
    }
  }
  // Without a one-line output, a refusal comes with the usage.
  std::string out, err;
  EXPECT_EQ(RunReport({"--json", "--csv"}, kTexts, &out, &err), 3);
  EXPECT_NE(err.find("exclude each other\n\nUsage:"), std::string::npos);
  err.clear();
  EXPECT_EQ(RunReport({"--csv", "--critical"}, kTexts, &out, &err), 3);
  EXPECT_NE(err.find("option '--critical' goes with '--nagios' only"), std::string::npos);
}

// A summary of many misaligned volumes ends at the last whole item that leaves room for
// how many more there are, within the 2,048 characters Intune keeps.
TEST(SummaryLineTest, ALongLineEndsAtAWholeItemAndSaysHowManyMore) {
  for (const size_t items : {10u, 400u}) {
    report::Tally tally;
    tally.total = items;
    for (size_t i = 0; i < items; ++i) {
      tally.misaligned.push_back("C:\\Volumes\\" + std::string(i % 7 * 5, 'x') + std::to_string(i) +
                                 " disk 0 at 63: move to 64");
      tally.misalignedNames.push_back("v" + std::to_string(i));
    }
    const std::string line = report::SummaryLine(tally);
    SCOPED_TRACE(line.substr(line.size() > 60 ? line.size() - 60 : 0));
    ASSERT_LE(line.size(), report::kMostLineCharacters + 1);
    const size_t more = line.rfind("; and ");
    const size_t shown = std::count(line.begin(), line.end(), ';') - (more != std::string::npos);
    if (items == 10) {
      EXPECT_EQ(more, std::string::npos);
      EXPECT_EQ(shown, items);
    } else {
      ASSERT_NE(more, std::string::npos);
      EXPECT_EQ(line.substr(more), "; and " + std::to_string(items - shown) + " more\n");
      const std::string& last = tally.misaligned[shown - 1];  // whole, just before the count
      EXPECT_EQ(line.rfind("; " + last + "; and ", more), more - 2 - last.size());
      EXPECT_GT(line.size() + tally.misaligned[shown].size() + 2, report::kMostLineCharacters - 20);
    }
  }
}

// Readiness for 4 KiB sectors is said beside the alignment, never in it: each output's exit
// status is the same with --target 4kn, the volumes the same, and the text only gains its
// section at the end; a second --target 4kn is the first.
TEST_F(ReportProgramTest, TheTargetChangesNoStatusAndNoVerdict) {
  sim::BuildLab(machine);
  for (const std::string form : {"", "--drives", "--json", "--csv", "--summary", "--nagios", "--jsonl"}) {
    SCOPED_TRACE(form);
    std::vector<std::string> args;
    if (!form.empty()) args.push_back(form);
    const int status = Run(args);
    const std::string without = out;
    args.insert(args.end(), {"--target", "4kn"});
    EXPECT_EQ(Run(args), status);
    const std::string with = out;
    args.insert(args.end(), {"--target", "4kn"});
    Run(args);
    if (form != "--jsonl") {  // each run has its own id
      EXPECT_EQ(out, with);
    }
    if (form.empty() || form == "--drives") {
      EXPECT_EQ(with.rfind(without + "\nReady for 4 KiB sectors (--target 4kn)\n", 0), 0u);
    }
    if (form == "--json") {
      const auto volumes = [](const std::string& json) {
        return json.substr(json.find("\"volumes\""), json.find("\"drives\"") - json.find("\"volumes\""));
      };
      EXPECT_EQ(volumes(with), volumes(without));
      EXPECT_NE(with.find("\"targets\": [\n    \"4kn\"\n  ]"), std::string::npos);
    }
  }
}

// CSV for Windows PowerShell's Import-Csv: UTF-8 with its byte-order mark (a folder's name
// in code page 1252 comes out as UTF-8), CRLF, a field with a comma quoted.
TEST_F(ReportProgramTest, CsvIsUtf8WithAByteOrderMarkAndCrlf) {
  sim::AddAtaDrive(machine, 0, "D0", "", "", 0x6003, 0x4000);
  sim::VolumeLayout folder;
  folder.letter = 0;
  folder.volumeName = "\\\\?\\Volume{5e55a2e1-0000-4000-8000-00000000f01d}\\";
  folder.mountPaths = {"C:\\Donn\xE9" "es, 2024\\"};
  sim::PlaceVolume(machine, folder);
  EXPECT_EQ(Run({"--csv"}), 0);
  EXPECT_EQ(out,
            "\xEF\xBB\xBF"
            "computer,kind,name,drive,partition,partitionStart,dataStart,verdict,reason,onMiB,"
            "moveTo,fits,shrinkBy,moveToMiB,moveToMiBFits,moveToMiBShrinkBy,clusterBytes,format,"
            "targetReady,targetFix,alignedTo,regionStart,regionLength,onGrid,firstOnGrid,"
            "roomAtGrid,firstOnMiB,roomAtMiB,canCreate,sectorSizeTo,sectorSizeMove,sectorSizeMoveItems\r\n"
            "SIMULATED,volume,\"C:\\Donn\xC3\xA9" "es, 2024\\\",0,1,2048,2048,aligned,,true,,,,,,,,,,,"
            "1048576,,,,,,,,,,,\r\n"
            // The drive's free regions: the head, and the rest of the disk.
            "SIMULATED,free,D0,0,,,,,,false,,,,,,,,,,,,1,2047,false,8,2040,,,true,,,\r\n"
            "SIMULATED,free,D0,0,,,,,,true,,,,,,,,,,,,2099200,4292868096,true,2099200,4292868096,"
            "2099200,4292868096,true,,,\r\n"
            // The drive's move to 4096-byte sectors: its NTFS records 512.
            "SIMULATED,drive,D0,0,,,,,,,,,,,,,,,,,,,,,,,,,,4096,needs-reformat,the partition table "
            "must be written again in 4096-byte sectors; the data can then move block for block; "
            "partition 1 (NTFS) records 512-byte sectors: it must be formatted again\r\n");
}

// The rule is ExitStatusOf's (report_text_test); here, that an empty machine's report is
// its heading and status 0.
TEST_F(ReportProgramTest, NoVolumesAtAllIsStatusZero) {
  // No volumes at all: nothing misaligned or undetermined.
  sim::Machine empty;
  sim::Installation in(empty);
  sim::AddAtaDrive(empty, 0, "D0", "", "", 0x4000, 0);
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(out, "Drive   Drv No  Drive Name                      Offset      Alignment   Partition aligned to\n");
}

// A call that Windows fails, at each step where it makes the report give up: the volume
// not examined names what Windows said; a list of volumes cut short says so, whatever
// the verdicts, with exit status 2.
TEST_F(ReportProgramTest, WhatWindowsSaidIsNamedWhereTheReportGivesUp) {
  sim::BuildLab(machine);
  Run({});
  const std::vector<sim::Call> clean = machine.Log();
  // The first call named op on path, at or after the first call on after (if any).
  auto indexOf = [&](const char* op, const std::string& path, const std::string& after = "") {
    size_t i = 0;
    while (!after.empty() && i < clean.size() && clean[i].path != after) ++i;
    while (i < clean.size() && !(clean[i].op == op && (path.empty() || clean[i].path == path))) ++i;
    return static_cast<int>(i);
  };
  // C:'s partition: named with C: once C: was placed; before, it may be any volume's.
  const std::string partition =
      "\n0       1     NTFS/exFAT          2048        2097152     aligned      1M          ";
  const struct {
    const char* what;
    int call;
    const char* line;
    const char* holds;
  } cases[] = {
      {"sizes", indexOf("GetDiskFreeSpaceA", "C:\\"),
       "C:  not examined: sizes (Windows error 21, not ready)\n", "no volume found"},
      {"device open", indexOf("CreateFileA", "\\\\.\\C:"),
       "C:  not examined: device open (Windows error 32, sharing violation)\n", "no volume found"},
      {"first sector", indexOf("ReadFile", "", "\\\\.\\C:"),
       "C:  not examined: first sector (Windows error 23, the device's data error (CRC))\n",
       "C: not examined: first sector (Windows error 23, the device's data error (CRC))"},
      {"volume list", indexOf("FindNextVolumeA", ""),
       "The list of volumes is incomplete: Windows error 21, not ready; volumes mounted only in "
       "folders may be missing.\n",
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Machine m;
    const sim::Installation in(m);
    sim::BuildLab(m);
    m.failCall = c.call;
    const int status = Run({});
    EXPECT_NE(out.find(c.line), std::string::npos) << out;
    if (c.holds != nullptr) {
      EXPECT_NE(out.find(partition + c.holds + "\n"), std::string::npos) << out;
    }
    EXPECT_EQ(status, std::string(c.what) == "volume list" ? 2 : 1);
  }
}

// A USB stick Windows shows as removable has no row, but its partition holds its letter:
// it is not a partition without a volume.
TEST_F(ReportProgramTest, ARemovableLetterIsNamedOnItsPartition) {
  sim::AddAtaDrive(machine, 0, "KESTREL KD4000-512E", "S", "F", 0x6003, 0x4000);
  sim::VolumeLayout c;
  c.bootSector = sim::BuildNtfsBootSector(512, 8, 2048);
  sim::PlaceVolume(machine, c);
  sim::AddStorageDrive(machine, 1, "SWIFTLY", "STICK 64G", 512, 4096);
  sim::VolumeLayout stick;
  stick.letter = 'E';
  stick.drive = 1;
  stick.startSector = 63;
  stick.fileSystem = "FAT32";
  stick.bootSector = sim::BuildFatBootSector({});
  stick.type = DRIVE_REMOVABLE;
  sim::PlaceVolume(machine, stick);
  EXPECT_EQ(Run({}), 0) << "a removable volume is no row, and no verdict of the report";
  EXPECT_NE(out.find("\n1       1     FAT32               63          2097152     misaligned   "
                     "512         E: (not a fixed volume)\n"
                     "    move to sector 64 (1 sector, 512 bytes later), or to 2048 on 1 MiB\n"),
            std::string::npos)
      << out;
}

TEST_F(ReportProgramTest, ASecondRunInOneProcessReportsOnlyItsOwnMachine) {
  // The second machine: drive 0 now answers IDENTIFY with zeros, which is no identity.
  auto secondMachine = [](sim::Machine& m) {
    sim::BuildLab(m);
    m.drives[0].smart.data.fill(0);
    m.drives[0].alignment.supported = false;
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
  EXPECT_NE(out.find("\"drive\": 0,\n      \"driveName\": \"\",\n      "
                     "\"dataStart\": 2048,\n      \"verdict\": \"undetermined\""),
            std::string::npos)
      << out;
}

TEST_F(ReportProgramTest, OptionsThatNeedNoScan) {
  sim::BuildLab(machine);
  for (const char* bad : {"--bogus", "-x", "/h", "--JSON"}) {
    EXPECT_EQ(Run({"--json", bad}), 3);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err.rfind(std::string("TessarelReport: unknown option '") + bad + "'\n\nUsage:", 0),
              0u)
        << err;
  }
  EXPECT_EQ(Run({"--json", "--replay"}), 3);
  EXPECT_EQ(err.rfind("TessarelReport: option '--replay' needs a file\n\nUsage:", 0), 0u) << err;
  for (const char* help : {"--help", "/?", "-?", "-h"}) {
    EXPECT_EQ(Run({help}), 0) << help;
    EXPECT_EQ(out.rfind("Usage: TessarelReport", 0), 0u);
    EXPECT_EQ(err, "");
  }
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out, "TessarelReport 1.02\n");
  EXPECT_TRUE(machine.Log().empty()) << "no device asked";
  // The JSON always holds the drives: --drives beside it is no error.
  EXPECT_EQ(Run({"--drives", "--json"}), 1);
  EXPECT_TRUE(IsValidJson(out));
}

TEST_F(ReportProgramTest, RefusalsGoToStandardErrorWithWhatWindowsSaid) {
  sim::BuildLab(machine);
  machine.platformId = VER_PLATFORM_WIN32_WINDOWS;
  EXPECT_EQ(Run({}), 3);
  EXPECT_EQ(err, "NOT NT\n");
  EXPECT_EQ(out, "");
  EXPECT_TRUE(machine.Calls("CreateFileA").empty());

  machine.platformId = VER_PLATFORM_WIN32_NT;
  const struct {
    sim::Open open;
    const char* said;
  } cases[] = {
      {sim::Open::NotFound, "Windows error 2 (not found): this machine has no physical drive 0.\n"},
      {sim::Open::SharingViolation,
       "Windows error 32 (sharing violation): another program holds physical drive 0.\n"},
  };
  for (const auto& c : cases) {
    machine.drives[0].open = c.open;
    EXPECT_EQ(Run({"--json"}), 3);
    EXPECT_EQ(err, std::string("NO ACCESS\n") + c.said);
    EXPECT_EQ(out, "");
  }
  ExpectNothingLeft();
}

#ifndef _WIN32
// What reaches the reader decides the status: a report that could not be written is a
// failure, whatever it said.
TEST(ReportOutputTest, AReportThatDoesNotReachItsReaderEndsWithThree) {
  std::signal(SIGPIPE, SIG_IGN);          // a pipe whose reader has gone: a failed write, not death
  const std::string report(100000, 'x');  // more than any stream buffer holds
  const struct {
    const char* name;
    std::FILE* (*open)();
    int status;
  } cases[] = {
      {"a file", [] { return std::tmpfile(); }, 1},
      {"a full disk", [] { return std::fopen("/dev/full", "w"); }, 3},
      {"a closed stream",
       [] {
         std::FILE* f = std::tmpfile();
         ::close(::fileno(f));
         return f;
       },
       3},
      {"a pipe whose reader has gone",
       [] {
         int ends[2];
         if (::pipe(ends) != 0) return static_cast<std::FILE*>(nullptr);
         ::close(ends[0]);
         return ::fdopen(ends[1], "w");
       },
       3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::FILE* err = std::tmpfile();  // first: a closed stream's number must stay unused
    std::FILE* out = c.open();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(WriteReport(out, err, report, "a message\n", 1), c.status);
    std::rewind(err);
    char said[200] = {};
    const size_t n = std::fread(said, 1, sizeof said - 1, err);
    const std::string text(said, n);
    EXPECT_EQ(text.rfind("a message\n", 0), 0u);
    if (c.status == 3)
      EXPECT_EQ(text.find("TessarelReport: the report could not be written: "), 10u) << text;
    else
      EXPECT_EQ(text, "a message\n");
    std::fclose(out);
    std::fclose(err);
  }
}
#endif

}  // namespace
