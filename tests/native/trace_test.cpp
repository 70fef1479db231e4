// Field traces: what a machine answered, recorded and replayed through the console report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/report_program.h"
#include "json/json_line.h"
#include "platform/file_identity.h"
#include "platform/sys.h"
#include "sim/lab.h"
#include "sim_fixture.h"
#include "trace/field_trace.h"

namespace {

const ReportTexts kTexts = {{"Drive", "Drv No", "Drive Name", "Offset"}, "NOT NT", "NO ACCESS"};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void Spill(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

struct Ran {
  int status;
  std::string out, err;
};
Ran Report(std::vector<std::string> args) {
  Ran ran;
  ran.status = RunReport(args, kTexts, &ran.out, &ran.err);
  return ran;
}

std::string Temp(const char* name) { return ::testing::TempDir() + name; }

class TraceTest : public SimTest {};

// Every fixture, recorded from a machine of its kind or edited by hand, replays to the
// report kept beside it.
TEST(TraceFixtureTest, EachReplaysToTheReportKeptBesideIt) {
  const struct {
    const char* name;
    int status;
  } fixtures[] = {{"gpt-nvme", 1},
                  {"past-2tib-encrypted", 0},
                  {"clone", 1},
                  {"dynamic-spanned", 1},
                  {"exfat", 1},
                  {"folder-mounts", 1},
                  {"many-disks-with-gaps", 1},
                  {"searched-by-content", 1},
                  {"edited-partition-start", 0},
                  {"edited-extents-start", 0}};
  for (const auto& [name, status] : fixtures) {
    SCOPED_TRACE(name);
    const std::string base = std::string(TRACES_DIR) + "/" + name;
    const std::string expected = Slurp(base + ".txt");
    ASSERT_FALSE(expected.empty());
    const Ran ran = Report({"--drives", "--target", "4kn", "--replay", base + ".jsonl"});
    EXPECT_EQ(ran.out, expected);
    EXPECT_EQ(ran.err, "");
    EXPECT_EQ(ran.status, status);
  }
}

TEST_F(TraceTest, ARecordingReplaysToTheSameReportAndIsTheSameBytesTwice) {
  sim::BuildLab(machine);
  for (const char* option : {"--drives", "--json"}) {
    SCOPED_TRACE(option);
    const Ran live = Report({option, "--trace", Temp("first.jsonl")});
    Report({option, "--trace", Temp("second.jsonl")});
    const std::string trace = Slurp(Temp("first.jsonl"));
    EXPECT_EQ(trace, Slurp(Temp("second.jsonl")));
    EXPECT_EQ(trace.find("VirtualAlloc"), std::string::npos) << "memory is no question";
    EXPECT_EQ(
        trace.rfind("{\"program\": \"TessarelReport\", \"version\": \"1.02\", \"windows\": ", 0),
        0u);

    // Answered by what is asked, not by the order of the lines: grouped by function (equal
    // questions keep their order), the calls replay the same.
    std::vector<std::string> lines;
    std::istringstream in(trace);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    std::stable_sort(lines.begin() + 1, lines.end(),
                     [](const std::string& a, const std::string& b) {
                       return a.substr(0, a.find(',')) < b.substr(0, b.find(','));
                     });
    std::string grouped;
    for (const std::string& l : lines) grouped += l + "\n";
    ASSERT_NE(grouped, trace);
    Spill(Temp("grouped.jsonl"), grouped);
    for (const std::string& file : {Temp("first.jsonl"), Temp("grouped.jsonl")}) {
      const Ran replayed = Report({option, "--replay", file});
      EXPECT_EQ(replayed.out, live.out);
      EXPECT_EQ(replayed.status, live.status);
      EXPECT_EQ(replayed.err, "");
    }
  }
}

TEST_F(TraceTest, ATraceCutInHalfTellsWhatItLacks) {
  sim::BuildLab(machine);
  Report({"--trace", Temp("whole.jsonl")});
  const std::string whole = Slurp(Temp("whole.jsonl"));
  const std::string half = whole.substr(0, whole.find('\n', whole.size() / 2) + 1);
  Spill(Temp("half.jsonl"), half);
  const size_t asked = machine.Log().size();
  const Ran ran = Report({"--replay", Temp("half.jsonl")});
  EXPECT_EQ(machine.Log().size(), asked) << "a replay asks the trace, not the machine";
  EXPECT_GE(ran.status, 2);
  EXPECT_NE(ran.err.find("TessarelReport: the trace holds no answer for "), std::string::npos);
  EXPECT_NE(ran.err.find("\n  GetDriveTypeA T:\\\n"), std::string::npos) << ran.err;
}

// A trace line's call, path, access, request code and request bytes (0 or empty for those
// it has not).
struct Asked {
  std::string call, path, in;
  uint64_t access = 0, code = 0;
};
using Drop = bool (*)(const Asked&);

// The trace without the first call `drop` matches (an open with every call on its handle),
// its first line naming `format` (1: none, as 1.02 wrote it).
std::string Edited(const std::string& trace, uint32_t format, Drop drop) {
  std::istringstream in(trace);
  std::string header, why;
  std::getline(in, header);
  const std::string named = format == 1 ? "" : ", \"format\": " + std::to_string(format);
  std::string out = header.substr(0, header.find(", \"format\"")) + named + "}\n";
  std::string handle;  // the dropped open's, as its lines write it
  for (std::string text; std::getline(in, text);) {
    JsonLine line;
    Asked asked;
    uint64_t number = 0;
    EXPECT_TRUE(JsonLine::Parse(text, &line, &why)) << why;
    line.Text("call", &asked.call, &why);
    line.Text("path", &asked.path, &why);
    line.Text("in", &asked.in, &why);
    line.Number("access", ~0ull, &asked.access, &why);
    line.Number("code", ~0ull, &asked.code, &why);
    if (handle.empty() && drop(asked)) {
      const bool opens = asked.call == "CreateFileA" || asked.call == "OpenProcessToken";
      handle = opens && line.Number("handle", ~0ull, &number, &why)
                   ? "\"handle\": " + std::to_string(number) + ","
                   : "dropped";
      continue;
    }
    if (!handle.empty() && text.find(handle) != std::string::npos) continue;
    out += text + "\n";
  }
  EXPECT_FALSE(handle.empty()) << "nothing was dropped";
  return out;
}

// A trace answers as failing, without listing them, only the questions its program did not
// ask yet: each call says from which format on it is asked, whatever format this version
// writes (a trace of a later version's format included).
TEST_F(TraceTest, OnlyQuestionsAskedSinceALaterFormatAreExcused) {
  sim::BuildLab(machine);
  Report({"--trace", Temp("lab.jsonl")});
  const std::string lab = Slurp(Temp("lab.jsonl"));
  const Drop table = [](const Asked& a) { return a.code == IOCTL_DISK_GET_DRIVE_LAYOUT_EX; };
  const Drop token = [](const Asked& a) { return a.call == "OpenProcessToken"; };
  const Drop bootSector = [](const Asked& a) {
    return a.path.find("ef15") != std::string::npos && a.access == GENERIC_READ;
  };
  const Drop seekPenalty = [](const Asked& a) {
    return a.code == IOCTL_STORAGE_QUERY_PROPERTY && a.in.rfind("07000000", 0) == 0;
  };
  const Drop windowsView = [](const Asked& a) { return a.call == "GetFileInformationByHandleEx"; };
  const struct {
    const char* what;
    uint32_t format;
    Drop drop;
    bool listed;
  } cases[] = {
      {"format 2 without its first table", 2, table, true},
      {"1.02's without a table it never asked for", 1, table, false},
      {"format 2 without its token", 2, token, true},
      {"1.02's without a token", 1, token, false},
      {"format 2 without an EFI partition's boot sector", 2, bootSector, false},
      {"format 3 without an EFI partition's boot sector", 3, bootSector, true},
      {"format 3 without a seek penalty", 3, seekPenalty, false},
      {"format 4 without a seek penalty", 4, seekPenalty, true},
      {"format 3 without Windows' view of a volume", 3, windowsView, false},
      {"format 4 without Windows' view of a volume", 4, windowsView, true},
      {"a later format without its first table", trace::kTraceFormat + 1, table, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Spill(Temp("edited.jsonl"), Edited(lab, c.format, c.drop));
    const Ran ran = Report({"--replay", Temp("edited.jsonl")});
    EXPECT_EQ(ran.err.find("the trace holds no answer") != std::string::npos, c.listed) << ran.err;
    if (c.drop != bootSector) continue;
    EXPECT_NE(ran.out.find("34          2014        undetermined 1K          no letter or folder\n"
                           "    undetermined: its boot sector could not be read\n"),
              std::string::npos)
        << ran.out;
  }
}

// The computer's name, asked from format 5 on: a recording replays the recorded name; an
// older trace's JSON names none, and lists nothing missing.
TEST_F(TraceTest, TheComputersNameReplaysAsRecordedAndOlderTracesNameNone) {
  sim::BuildLab(machine);
  Report({"--json", "--trace", Temp("named.jsonl")});
  const std::string named = Slurp(Temp("named.jsonl"));
  machine.computerName = "ELSEWHERE";
  EXPECT_NE(Report({"--json", "--replay", Temp("named.jsonl")})
                .out.find("\"computer\": \"TESSAREL-LAB\""),
            std::string::npos);
  const Drop name = [](const Asked& a) { return a.call == "GetComputerNameA"; };
  for (const uint32_t format : {4u, 5u}) {
    SCOPED_TRACE(format);
    Spill(Temp("unnamed.jsonl"), Edited(named, format, name));
    const Ran ran = Report({"--json", "--replay", Temp("unnamed.jsonl")});
    EXPECT_EQ(ran.err.find("the trace holds no answer") != std::string::npos, format == 5)
        << ran.err;
    EXPECT_NE(ran.out.find("\"computer\": null"), std::string::npos);
  }
}

// The time, asked from format 7 on: a recording replays the recorded time wherever and
// whenever it is replayed; an older trace answers the Unix epoch and lists nothing; a trace
// of format 7 without it lists it.
TEST_F(TraceTest, TheTimeReplaysAsRecordedAndOlderTracesAsTheEpoch) {
  sim::BuildLab(machine);
  const auto time = [](const std::string& records) {
    const size_t at = records.find("\"time\":\"");
    return at == std::string::npos ? "" : records.substr(at + 8, 20);
  };
  EXPECT_EQ(time(Report({"--jsonl", "--trace", Temp("timed.jsonl")}).out), "2026-03-02T09:30:00Z");
  const std::string timed = Slurp(Temp("timed.jsonl"));
  machine.systemTime += 864000000000;  // a day later
  EXPECT_EQ(time(Report({"--jsonl", "--replay", Temp("timed.jsonl")}).out), "2026-03-02T09:30:00Z");
  const Drop clock = [](const Asked& a) { return a.call == "GetSystemTimeAsFileTime"; };
  for (const uint32_t format : {6u, 7u}) {
    SCOPED_TRACE(format);
    Spill(Temp("untimed.jsonl"), Edited(timed, format, clock));
    const Ran ran = Report({"--jsonl", "--replay", Temp("untimed.jsonl")});
    EXPECT_EQ(ran.err.find("GetSystemTimeAsFileTime") != std::string::npos, format == 7) << ran.err;
    EXPECT_EQ(time(ran.out), format == 7 ? "1601-01-01T00:00:00Z" : "1970-01-01T00:00:00Z");
  }
}

// The code page and the system's decoding, asked from format 6 on: a recording on a Japanese
// machine replays its names as recorded wherever it is replayed; a trace of format 5,
// which asked neither, replays as 1252 with the report it gave then, and lists nothing.
TEST_F(TraceTest, CodePagesReplayAsRecordedAndOlderTracesAsCp1252) {
  sim::BuildLab(machine);
  machine.codePage = 932;
  machine.computerName = "\x83\x5C\x83\x74\x83\x67";  // ソフト: a trail byte 0x5C
  const std::string japanese = Report({"--json", "--trace", Temp("932.jsonl")}).out;
  EXPECT_NE(japanese.find("\"computer\": \"\\u30BD\\u30D5\\u30C8\""), std::string::npos);
  machine.codePage = 1252;
  EXPECT_EQ(Report({"--json", "--replay", Temp("932.jsonl")}).out, japanese);

  machine.computerName = "Z\xDCRICH";
  const Ran recorded = Report({"--csv", "--trace", Temp("1252.jsonl")});
  std::istringstream in(Slurp(Temp("1252.jsonl")));
  std::string older, line;
  std::getline(in, line);
  older = line.substr(0, line.find(", \"format\"")) + ", \"format\": 5}\n";
  while (std::getline(in, line))
    if (line.find("\"GetACP\"") == std::string::npos &&
        line.find("\"MultiByteToWideChar\"") == std::string::npos)
      older += line + "\n";
  Spill(Temp("older.jsonl"), older);
  const Ran replayed = Report({"--csv", "--replay", Temp("older.jsonl")});
  EXPECT_EQ(replayed.err, "");
  EXPECT_EQ(replayed.out, recorded.out);
  EXPECT_NE(replayed.out.find("Z\xC3\x9CRICH,"), std::string::npos) << "Ü as UTF-8";
}

TEST_F(TraceTest, ATraceReplayedAndRecordedAgainHoldsTheSameCalls) {
  sim::BuildLab(machine);
  Report({"--drives", "--trace", Temp("recorded.jsonl")});
  const Ran again =
      Report({"--drives", "--replay", Temp("recorded.jsonl"), "--trace", Temp("again.jsonl")});
  EXPECT_EQ(again.err, "");
  EXPECT_EQ(Slurp(Temp("again.jsonl")), Slurp(Temp("recorded.jsonl")));
}

TEST_F(TraceTest, ATraceThatCannotBeWrittenEndsTheReportWithThree) {
#ifdef _WIN32
  GTEST_SKIP() << "no device that takes no bytes";
#else
  sim::BuildLab(machine);
  const Ran ran = Report({"--trace", "/dev/full"});
  EXPECT_EQ(ran.status, 3);
  EXPECT_EQ(ran.err, "TessarelReport: the trace /dev/full could not be written\n");
#endif
}

// A device that says it read more than the buffer holds.
class OverclaimingMachine : public sim::Machine {
 public:
  BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED o) override {
    const BOOL ok = sim::Machine::ReadFile(h, buffer, size, read, o);
    if (ok && read != nullptr) *read += 100;
    return ok;
  }
};

TEST(TraceClaimTest, AReadThatClaimsMoreThanItsBufferKeepsTheBufferAndReplaysTheSame) {
  OverclaimingMachine overclaiming;
  sim::BuildLab(overclaiming);
  g_drives.Clear();
  Ran live;
  {
    const sim::Installation installed(overclaiming);
    live = Report({"--drives", "--trace", Temp("claims.jsonl")});
  }
  // Each read line keeps the device's claim and the buffer's bytes, no more.
  std::istringstream lines(Slurp(Temp("claims.jsonl")));
  int reads = 0;
  for (std::string text; std::getline(lines, text);) {
    JsonLine line;
    std::string call, out, why;
    uint64_t size = 0, read = 0;
    ASSERT_TRUE(JsonLine::Parse(text, &line, &why)) << why;
    if (!line.Text("call", &call, &why) || call != "ReadFile") continue;
    ASSERT_TRUE(line.Number("size", ~0ull, &size, &why) &&
                line.Number("read", ~0ull, &read, &why) && line.Text("out", &out, &why))
        << why;
    EXPECT_EQ(read, size + 100);
    EXPECT_EQ(out.size(), 2 * size);
    ++reads;
  }
  EXPECT_GT(reads, 0);
  g_drives.Clear();
  const Ran replayed = Report({"--drives", "--replay", Temp("claims.jsonl")});
  EXPECT_EQ(replayed.err, "");
  EXPECT_EQ(replayed.out, live.out);
  EXPECT_EQ(replayed.status, live.status);
}

TEST(TraceReaderTest, AMalformedTraceIsRefusedNamingItsLine) {
  const std::string header =
      "{\"program\": \"TessarelReport\", \"version\": \"1.02\", \"windows\": \"x\"}\n";
  const std::string open =
      "{\"call\": \"CreateFileA\", \"path\": \"\\\\\\\\.\\\\C:\", \"access\": 1, \"share\": 3, "
      "\"disposition\": 3, \"flags\": 0, \"handle\": 1, \"error\": 0}\n";
  const struct {
    const char* name;
    std::string text;
    const char* said;
  } cases[] = {
      {"empty", "", "line 1: empty"},
      {"junk", "MZ\x90\x03 not a trace\n", "line 1: not a JSON object"},
      {"no header", open, "line 1: no \"program\""},
      {"bad JSON", header + "{\"call\": \"GetDriveTypeA\", \"path\" \"C:\\\\\"}\n",
       "line 2: no ':'"},
      {"a truncated line", header + open.substr(0, 40), "line 2: cut short"},
      {"bad hex",
       header + open +
           "{\"call\": \"ReadFile\", \"handle\": 1, \"position\": 0, \"size\": 512, "
           "\"result\": 1, \"out\": \"0g\", \"read\": 1, \"error\": 0}\n",
       "line 3: \"out\" is not hex"},
      {"a huge length",
       header + open +
           "{\"call\": \"ReadFile\", \"handle\": 1, \"position\": 0, \"size\": 1, "
           "\"result\": 1, \"out\": \"0000\", \"read\": 2, \"error\": 0}\n",
       "line 3: \"out\" is not hex of at most 1 bytes"},
      {"a count past 32 bits",
       header + open +
           "{\"call\": \"GetDriveTypeA\", \"path\": \"C:\\\\\", "
           "\"result\": 4294967296, \"error\": 0}\n",
       "line 3: \"result\" is out of range"},
      {"an unknown function", header + "{\"call\": \"WriteFile\", \"error\": 0}\n",
       "line 2: unknown function \"WriteFile\""},
      {"a handle never opened",
       header + "{\"call\": \"CloseHandle\", \"handle\": 7, \"result\": 1, "
                "\"error\": 0}\n",
       "line 2: handle 7 was never opened"},
      {"a nested value", header + "{\"call\": [1], \"error\": 0}\n", "line 2: a nested value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_EQ(trace::FieldTrace::Load(c.text, &error), nullptr);
    EXPECT_EQ(error.rfind(c.said, 0), 0u) << error;
    Spill(Temp("malformed.jsonl"), c.text);
    const Ran ran = Report({"--replay", Temp("malformed.jsonl")});
    EXPECT_EQ(ran.status, 3);
    EXPECT_EQ(ran.out, "");
    EXPECT_EQ(ran.err,
              "TessarelReport: " + Temp("malformed.jsonl") + " is no trace: " + error + "\n");
  }
}

}  // namespace

// A trace of 1.02 asked for no token: whether it ran elevated is unknown, and no gap.
TEST(TraceFixtureTest, ATraceOf102LeavesTheElevationUnknown) {
  const Ran ran =
      Report({"--json", "--replay", std::string(TRACES_DIR) + "/edited-partition-start.jsonl"});
  EXPECT_EQ(ran.err, "");
  EXPECT_NE(ran.out.find("\"elevated\": null,\n  \"rawAccess\": true,\n"), std::string::npos);
}

// A folder's listing recorded and replayed: each entry's bytes, the end, and the handle's
// close, as the machine gave them; a file's and a folder's identity (before Windows 8, by
// their index), likewise.
TEST(TraceFolderTest, AListingReplaysAsRecorded) {
  sim::Machine machine;
  machine.files["D:\\VMs\\a.vhdx"].size = 1 << 20;
  machine.folders["D:\\VMs\\old"] = {};
  const auto list = [](sys::Backend& backend) {
    const sys::Using door(backend);
    std::string listed;
    WIN32_FIND_DATAA found = {};
    HANDLE find = sys::FindFirstFileA("D:\\VMs\\*", &found);
    if (find == INVALID_HANDLE_VALUE) return std::string("none");
    do listed += std::string(found.cFileName) + " " + std::to_string(found.dwFileAttributes) + " " +
                 std::to_string(found.nFileSizeLow) + ";";
    while (sys::FindNextFileA(find, &found));
    listed += std::to_string(sys::GetLastError());
    listed += sys::FindClose(find) ? " closed" : "";
    for (const char* path : {"D:\\VMs\\a.vhdx", "D:\\VMs"}) {
      const std::optional<FileIdentity> id = AskFileIdentity(path);
      listed += id ? " " + std::to_string(id->volume) + ":" + std::to_string(id->id[0]) : " none";
    }
    return listed;
  };
  const std::string path = Temp("folders.jsonl");
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::string live;
  {
    trace::FieldTrace recorder(machine, out, "test", "10.0");
    live = list(recorder);
  }
  std::fclose(out);
  EXPECT_EQ(live.substr(0, 52), ". 16 0;.. 16 0;a.vhdx 128 1048576;old 16 0;18 closed");
  EXPECT_EQ(live.find("none"), std::string::npos) << live;
  std::string why;
  const std::unique_ptr<trace::FieldTrace> replay = trace::FieldTrace::Load(Slurp(path), &why);
  ASSERT_NE(replay, nullptr) << why;
  EXPECT_EQ(list(*replay), live);
  EXPECT_TRUE(replay->Unanswered().empty());
}
