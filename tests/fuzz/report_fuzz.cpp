// The report formats against any rows and drive table: hostile names (40 bytes of any
// value), any data start. The JSON must always parse; the text must keep its columns.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_codec.h"
#include "findings_of.h"
#include "json_check.h"
#include "report/report_compliance.h"
#include "report/report_csv.h"
#include "report/report_json.h"
#include "report/report_lines.h"
#include "report/report_metrics.h"
#include "report/report_records.h"
#include "report/report_text.h"
#include "sim/code_pages.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1)
    lines.push_back(text.substr(from, at - from));
  FUZZ_CHECK(from == text.size());  // the last line ends with its line feed too
  return lines;
}

// The line is the cells in order, each padded to its width (and, with a gap, never
// touching the next), nothing else; no cell holds a character that would break the layout.
void CheckLayout(const std::string& line, const std::vector<std::string>& cells,
                 const std::vector<int>& widths, size_t gap) {
  size_t at = 0;
  for (size_t c = 0; c < cells.size(); ++c) {
    for (char ch : cells[c]) FUZZ_CHECK(static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F);
    FUZZ_CHECK(line.compare(at, cells[c].size(), cells[c]) == 0);
    at += cells[c].size();
    size_t width = static_cast<size_t>(widths[c]);
    if (c + 1 < cells.size()) width = std::max(width, cells[c].size() + gap);
    for (size_t pad = cells[c].size(); pad < width; ++pad)
      FUZZ_CHECK(at < line.size() && line[at++] == ' ');
  }
  FUZZ_CHECK(at == line.size());
}

}  // namespace

namespace {

// Well-formed UTF-8: no stray continuation byte, no overlong form, no surrogate.
bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t n = b < 0x80                ? 1
                     : b >= 0xC2 && b < 0xE0 ? 2
                     : b >= 0xE0 && b < 0xF0 ? 3
                     : b >= 0xF0 && b < 0xF5 ? 4
                                             : 0;
    if (n == 0 || i + n > text.size()) return false;
    uint32_t c = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      const auto t = static_cast<unsigned char>(text[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[n] || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) return false;
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzReader in(data, size);
  std::vector<ScanRow> codedRows;
  in.List(codedRows, 30, [&](ScanRow& row) { fuzz::CodeRow(in, row); });
  std::vector<SkippedVolume> codedSkipped;
  in.List(codedSkipped, 8, [&](SkippedVolume& v) { fuzz::CodeSkipped(in, v); });
  DriveTable drives;
  fuzz::CodeDriveTable(in, drives);
  report::Findings findings =
      MachineFindingsOf(std::move(codedRows), std::move(codedSkipped), drives);
  const std::vector<ScanRow>& rows = findings.machine->rows;
  const std::vector<SkippedVolume>& skipped = findings.machine->skipped;
  report::VolumeHeadings headings = {"Drive", "Drv No", "Drive Name", "Offset"};

  const std::string json = report::Json(findings);
  FUZZ_CHECK(IsValidJson(json));

  // The first column fits the longest name and a space.
  std::vector<int> widths = {8, 8, 32, 12, 12};
  for (const ScanRow& row : rows)
    widths[0] = std::max(widths[0], static_cast<int>(report::VolumeCells(row)[0].size() + 1));
  // A line per volume, then one per piece of a volume over several.
  const std::vector<std::string> lines = Lines(report::VolumeText(headings, rows, drives, skipped));
  size_t line = 1;
  for (const ScanRow& row : rows) {
    const auto cells = report::VolumeCells(row);
    FUZZ_CHECK(line < lines.size());
    CheckLayout(lines[line++],
                {cells[0], cells[1], cells[2], cells[3], report::VerdictWord(row.verdict)}, widths,
                1);
    for (size_t i = 0; row.extents.size() > 1 && i < row.extents.size(); ++i) {
      FUZZ_CHECK(line < lines.size() && lines[line].compare(0, 2, "  ") == 0);
      ++line;
    }
    // Then why it is undetermined, and what would align it, each on lines of its own.
    if (report::UndeterminedWords(row.reason) != nullptr) {
      FUZZ_CHECK(line < lines.size() && lines[line].rfind("    undetermined: ", 0) == 0);
      ++line;
    }
    for (const std::string& advice : Lines(report::AdviceLines(row.advice))) {
      FUZZ_CHECK(line < lines.size() && lines[line] == advice && advice.rfind("    ", 0) == 0);
      ++line;
    }
    // And where Windows' own view differs, why.
    if (row.windowsDisagrees != WindowsDisagrees::None) {
      FUZZ_CHECK(line < lines.size() && lines[line].rfind("    Windows calls ", 0) == 0);
      ++line;
    }
  }
  // Then a line for each volume not examined.
  FUZZ_CHECK(line + skipped.size() == lines.size());
  for (; line < lines.size(); ++line)
    FUZZ_CHECK(lines[line].find("  not examined: ") != std::string::npos);

  // The clipboard's table, from the same cells: touching where a cell fills its column.
  for (const ScanRow& row : rows) {
    const auto cells = report::VolumeCells(row);
    std::string clipboard;
    report::AppendFixedWidthLine(clipboard, {cells[0], cells[1], cells[2], cells[3]},
                                 report::VolumeWidths());
    const std::vector<std::string> one = Lines(clipboard);
    FUZZ_CHECK(one.size() == 1);
    CheckLayout(one[0], {cells[0], cells[1], cells[2], cells[3]}, {8, 8, 32, 12}, 0);
  }

  const std::vector<std::string> driveLines = Lines(report::DriveText(headings, drives));
  FUZZ_CHECK(driveLines.size() == drives.Listed().size() + 1);

  // CSV: after its byte-order mark, records of 21 fields, each ended by CRLF outside quotes.
  report::RunMode mode;
  in.Text(mode.computer, 40);
  // Names in any ANSI code page, each decoded whole: the CSV stays UTF-8 and the JSON JSON.
  uint8_t page;
  in.U8(page);
  const uint32_t codePage = sim::kCodePageTables[page % sim::kCodePageTableCount].codePage;
  mode.decode = [codePage](const std::string& text) {
    return *sim::DecodeCodePage(codePage, text);
  };
  findings.mode = mode;
  FUZZ_CHECK(IsValidJson(report::Json(findings)));
  const std::string csv = report::Csv(findings);
  FUZZ_CHECK(csv.compare(0, 3, "\xEF\xBB\xBF") == 0);
  FUZZ_CHECK(IsUtf8(csv));
  size_t fields = 1, records = 0;
  bool quoted = false;
  for (size_t i = 3; i < csv.size(); ++i) {
    if (csv[i] == '"') quoted = !quoted;
    if (quoted) continue;
    if (csv[i] == ',') ++fields;
    if (csv[i] == '\n') {
      FUZZ_CHECK(csv[i - 1] == '\r' && fields == 32);
      fields = 1;
      ++records;
    }
  }
  FUZZ_CHECK(!quoted && csv.back() == '\n' && records >= 1 + rows.size() + skipped.size());
  // The one-line outputs: one line each, within what Intune keeps.
  const report::Tally tally = report::TallyOf(findings);
  for (const std::string& line :
       {report::SummaryLine(tally), report::NagiosLine(tally, mode.computer.empty()).line}) {
    FUZZ_CHECK(line.find('\n') == line.size() - 1 &&
               line.size() <= report::kMostLineCharacters + 1);
  }
  FUZZ_CHECK(report::NagiosLine(tally, false).line.find(" | misaligned=") != std::string::npos);

  // The fleet outputs: every JSON line parses; every metrics line is a comment or a sample
  // whose label values are closed and escaped, within UTF-8; the compliance line is one.
  report::RunFacts run;
  in.Int(run.stamp.fileTime);
  run.stamp.runId = "00000000-0000-4000-8000-000000000000";
  const std::vector<std::string> recordLines =
      Lines(report::RunRecord(mode, run) + report::Records(findings, run));
  FUZZ_CHECK(recordLines.size() >= 1 + rows.size() + skipped.size());
  for (const std::string& record : recordLines) FUZZ_CHECK(IsValidJson(record + "\n"));
  const std::string metrics = report::Metrics(findings, run);
  FUZZ_CHECK(IsUtf8(metrics) && metrics.find('\r') == std::string::npos);
  for (const std::string& metric : Lines(metrics)) {
    if (metric.rfind("# HELP tessarel_", 0) == 0 || metric.rfind("# TYPE tessarel_", 0) == 0)
      continue;
    FUZZ_CHECK(metric.rfind("tessarel_", 0) == 0);
    size_t at = metric.find_first_of("{ ");
    FUZZ_CHECK(at != std::string::npos);
    if (metric[at] == '{') {
      // name="value" pairs, a value's quote or backslash escaped, up to the closing brace.
      ++at;
      while (metric[at] != '}') {
        const size_t equals = metric.find("=\"", at);
        FUZZ_CHECK(equals != std::string::npos);
        for (at = equals + 2; metric[at] != '"'; ++at) {
          FUZZ_CHECK(at + 1 < metric.size() && metric[at] != '\n');
          if (metric[at] == '\\') FUZZ_CHECK(std::string("\\\"n").find(metric[++at]) != std::string::npos);
        }
        ++at;
        if (metric[at] == ',') ++at;
        FUZZ_CHECK(at < metric.size());
      }
      ++at;
    }
    FUZZ_CHECK(metric[at] == ' ' && at + 1 < metric.size());
    FUZZ_CHECK(metric.find_first_not_of("-0123456789", at + 1) == std::string::npos);
  }
  const std::string compliance = report::ComplianceLine(
      report::ComplianceOf(findings), Elevation::Elevated);
  FUZZ_CHECK(compliance.find('\n') == compliance.size() - 1 && IsValidJson(compliance));
  return 0;
}
