#include "app/report_program.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "app/metrics_file.h"
#include "app/report_options.h"
#include "app/report_machine.h"
#include "app/startup_check.h"
#include "image/image_list.h"
#include "image/sweep.h"
#include "platform/backend.h"
#include "platform/file_identity.h"
#include "inspect/scan.h"
#include "platform/ansi_text.h"
#include "platform/run_stamp.h"
#include "report/report_compliance.h"
#include "report/report_csv.h"
#include "report/report_images.h"
#include "report/report_json.h"
#include "report/report_lines.h"
#include "report/report_metrics.h"
#include "report/report_records.h"
#include "report/report_text.h"
#include "res/version.h"

namespace {

// Why drive 0 did not open, for the person at the console.
std::string RawAccessAdvice(uint32_t error) {
  const std::string number = "Windows error " + std::to_string(error);
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return number + " (not found): this machine has no physical drive 0.";
    case ERROR_SHARING_VIOLATION:
      return number + " (sharing violation): another program holds physical drive 0.";
    default:
      return number + ".";
  }
}

int Status(report::ExitStatus status) { return static_cast<int>(status); }

// The outputs read on other machines carry names as Unicode has them: decoded, whole, by
// the system from its ANSI code page, in which the A functions gave them.
// Each name decoded once a run, however many outputs and places write it.
TextDecoder SystemDecoder() {
  const uint32_t codePage = AskCodePage();
  auto decoded = std::make_shared<std::map<std::string, std::u16string>>();
  return [codePage, decoded](const std::string& text) {
    auto found = decoded->find(text);
    if (found == decoded->end()) found = decoded->emplace(text, DecodeAnsi(codePage, text)).first;
    return found->second;
  };
}

// The program cannot run: why, in `lines`, where the output's reader looks for it.
int CannotRun(Output output, const std::string& lines, std::string* out, std::string* err) {
  std::string line = lines;
  while (!line.empty() && line.back() == '\n') line.pop_back();
  for (char& c : line)
    if (c == '\n') c = ' ';
  if (output == Output::Summary)
    *out += report::SummaryError(line);
  else if (output == Output::Nagios)
    *out += report::NagiosError(line).line;
  else
    *err += lines;
  return Status(report::ExitStatus::CannotRun);
}

// The outputs that name the computer and decode names as Unicode.
bool ForOtherMachines(const Options& options) {
  return options.output == Output::Json || options.output == Output::Csv ||
         options.output == Output::JsonLines || options.output == Output::Compliance ||
         !options.metrics.empty();
}

// The status the text gives: a replay that left questions unanswered is undetermined at least.
int TextStatus(report::ExitStatus status, const ReportMachine& machine) {
  const int s = Status(status);
  if (s == Status(report::ExitStatus::CannotRun) || machine.Unanswered().empty()) return s;
  return std::max(s, Status(report::ExitStatus::Undetermined));
}

// The report in the form asked for, and its exit status (the plugin's, for --nagios; 0 for
// the compliance line); with --prom, the metrics file written besides.
int Print(const Options& options, const ReportTexts& texts, const ReportMachine& machine,
          const report::Findings& findings, report::RunFacts run, std::string* out,
          std::string* err) {
  std::string printed;
  const report::ExitStatus exit = report::ExitStatusOf(findings);
  int status = Status(exit);
  switch (options.output) {
    case Output::Summary:
      printed = report::SummaryLine(report::TallyOf(findings));
      break;
    case Output::Nagios: {
      const report::PluginOutput plugin =
          report::NagiosLine(report::TallyOf(findings), options.critical);
      printed = plugin.line;
      status = plugin.status;
      break;
    }
    case Output::Compliance:
      printed = report::ComplianceLine(report::ComplianceOf(findings), findings.mode.elevation);
      status = 0;
      break;
    case Output::JsonLines: {
      // The records first: the names they decode may be questions a replay cannot answer,
      // which the run record's exit status counts.
      const std::string records = report::Records(findings, run);
      run.exitStatus = TextStatus(exit, machine);
      printed = report::RunRecord(findings.mode, run) + records;
      break;
    }
    case Output::Json:
      printed = report::Json(findings);
      break;
    case Output::Csv:
      printed = report::Csv(findings);
      break;
    default:
      if (options.outputNamed || options.metrics.empty())
        printed = report::Text(findings, texts.headings, options.drives);
  }
  if (!options.metrics.empty()) {
    run.exitStatus = TextStatus(exit, machine);
    std::string why;
    if (!WriteReplacing(options.metrics, report::Metrics(findings, run), &why)) {
      const std::string line = "cannot write the metrics to " + options.metrics + ": " + why;
      if (options.output == Output::Summary || options.output == Output::Nagios)
        return CannotRun(options.output, line, out, err);
      *err += "TessarelReport: " + line + "\n";
      status = Status(report::ExitStatus::CannotRun);
    }
  }
  *out += printed;
  return status;
}

// The start-up checks, the whole scan and the report, on the machine behind the door.
int Scan(const Options& options, const ReportTexts& texts, const ReportMachine& machine,
         std::string* out, std::string* err) {
  const StartupCheck check = CheckStartup();
  report::Findings findings;
  report::RunMode& mode = findings.mode;
  switch (check.refusal) {
    case StartupRefusal::NotNt:
      return CannotRun(options.output, texts.notNt + "\n", out, err);
    case StartupRefusal::NoRawAccess:
      // Access denied is what a standard user, or a policy, meets: the drives and volumes
      // still answer the requests that only ask. Anything else is no machine to report on.
      if (check.error != ERROR_ACCESS_DENIED)
        return CannotRun(options.output,
                         texts.noAccess + "\n" + RawAccessAdvice(check.error) + "\n", out, err);
      mode.rawAccess = false;
      mode.refusal = check.error;
      break;
    case StartupRefusal::None:
      break;
  }
  mode.elevation = AskElevation();
  if (ForOtherMachines(options)) {
    mode.computer = AskComputerName();
    mode.decode = SystemDecoder();
  }
  // Asked on every run, whatever the output: a trace then holds the time for any replay.
  report::RunFacts run;
  run.stamp = StampRun();

  findings.machine = CScan(mode.rawAccess ? AccessMode::Raw : AccessMode::QueryOnly).Run();
  findings.targets = options.targets;
  FindSectorSizeMoves(*findings.machine, options.Names(Target::Sectors4Kn));
  run.complete = findings.machine->listing.complete;
  return Print(options, texts, machine, findings, run, out, err);
}

// What a sweep shows on a console: "\r", the count and the file, within one line of 79
// columns that the next overwrites.
std::string ProgressLine(size_t done, size_t total, const std::string& path) {
  constexpr size_t kColumns = 79;
  const std::string head = "Checking " + std::to_string(std::min(done + 1, total)) + " of " +
                           std::to_string(total) + ": ";
  std::string shown = path;
  if (head.size() + shown.size() > kColumns)
    shown = "..." + shown.substr(shown.size() - (kColumns - head.size() - 3));
  std::string line = head + shown;
  line.resize(std::max(line.size(), kColumns), ' ');
  return "\r" + line.substr(0, kColumns);
}

// Every file of a sweep: each --image, each list's lines, each folder's disk files; false
// with why where a list cannot be read.
bool SweepCandidates(const Options& options, std::vector<SweepCandidate>* candidates,
                     SweepListing* listing, std::string* why) {
  for (const std::string& path : options.images)
    candidates->push_back({path, path, "", AskFileIdentity(path), 0, false});
  for (const std::string& file : options.imageLists) {
    const ImageList list = ReadImageList(file);
    if (!list.read) {
      *why = "cannot read the image list " + file + ": " + list.why;
      return false;
    }
    for (const ListedImage& listed : list.images)
      candidates->push_back({listed.path, listed.shown, listed.refused,
                             listed.refused.empty() ? AskFileIdentity(listed.path) : std::nullopt,
                             0, false});
  }
  *listing = ListFolders(options.imageDirs, options.recurse);
  for (FoundFile& found : listing->files)
    candidates->push_back({found.path, found.path, "", found.identity, found.writeTime, found.generic});
  return true;
}

// The images of a sweep, each counted once, with what the sweep found beside them; false
// with why where a list cannot be read.
bool SweepFindings(const Options& options, const ProgressSink& progress,
                   report::Findings* findings, std::string* why) {
  // A second line behind the guard's rules: a sweep opens no device.
  const sys::FilesOnly filesOnly;
  std::vector<SweepCandidate> candidates;
  SweepListing listing;
  if (!SweepCandidates(options, &candidates, &listing, why)) return false;
  SweepProgress told;
  if (progress)
    told = [&](size_t done, size_t total, const std::string& path) {
      progress(ProgressLine(done, total, path));
    };
  SweptImages swept = SweepImages(std::move(candidates), options.image, options.targets, told);
  if (progress) progress("\r" + std::string(79, ' ') + "\r");
  Sweep& sweep = swept.sweep;
  sweep.lists = options.imageLists;
  sweep.roots = options.imageDirs;
  sweep.recurse = options.recurse;
  sweep.notExamined = std::move(listing.notExamined);
  sweep.links.insert(sweep.links.begin(), listing.links.begin(), listing.links.end());
  findings->images = std::move(swept.images);
  findings->sweep = std::move(sweep);
  return true;
}

// Each image named, checked offline; no drive is opened.
int CheckImages(const Options& options, const ReportTexts& texts, const ReportMachine& machine,
                const ProgressSink& progress, std::string* out, std::string* err) {
  report::Findings findings;
  findings.targets = options.targets;
  if (!options.Sweeps())
    for (const std::string& path : options.images)
      findings.images.push_back(FindImage(path, options.image, options.targets));
  std::string why;
  if (options.Sweeps() && !SweepFindings(options, progress, &findings, &why)) {
    if (options.output == Output::Summary || options.output == Output::Nagios)
      return CannotRun(options.output, why, out, err);
    *err += "TessarelReport: " + why + "\n";
    return Status(report::ExitStatus::CannotRun);
  }
  report::RunMode& mode = findings.mode;
  if (ForOtherMachines(options)) {
    mode.elevation = AskElevation();
    mode.computer = AskComputerName();
    mode.decode = SystemDecoder();
  }
  // Asked on every run, whatever the output: a trace then holds the time for any replay.
  report::RunFacts run;
  run.stamp = StampRun();
  run.complete = findings.Complete();
  return Print(options, texts, machine, findings, run, out, err);
}

}  // namespace

int RunReport(const std::vector<std::string>& args, const ReportTexts& texts, std::string* out,
              std::string* err) {
  return RunReport(args, texts, out, err, nullptr);
}

int RunReport(const std::vector<std::string>& args, const ReportTexts& texts, std::string* out,
              std::string* err, const ProgressSink& progress) {
  Options options;
  std::string bad;
  if (!ParseOptions(args, &options, &bad)) {
    const Output oneLine = OneLineOutput(args);
    if (oneLine != Output::Text) return CannotRun(oneLine, bad, out, err);
    *err += "TessarelReport: " + bad + "\n\n" + Usage();
    return Status(report::ExitStatus::CannotRun);
  }
  if (options.help) {
    *out += Usage();
    return 0;
  }
  if (options.version) {
    *out += "TessarelReport " TESSAREL_VERSION "\n";
    return 0;
  }

  ReportMachine machine;
  std::string opened;
  if (!machine.Open(options.replay, options.trace, &opened))
    return CannotRun(options.output, opened, out, err);
  std::optional<sys::Using> door;
  if (sys::Backend* backend = machine.Backend()) door.emplace(*backend);
  int status = !options.ChecksImages() ? Scan(options, texts, machine, out, err)
                                      : CheckImages(options, texts, machine, progress, out, err);
  door.reset();

  if (!machine.CloseTrace(err)) status = Status(report::ExitStatus::CannotRun);
  const std::vector<std::string> unanswered = machine.Unanswered();
  // The one-line outputs keep standard error empty; the plugin's status stays its own, and
  // the compliance line's is 0 whenever the scan ran.
  const bool oneLine = options.output == Output::Summary || options.output == Output::Nagios;
  const bool raises = options.output != Output::Nagios && options.output != Output::Compliance;
  if (!unanswered.empty() && !oneLine) {
    *err += "TessarelReport: the trace holds no answer for " + std::to_string(unanswered.size()) +
            " questions:\n";
    for (const std::string& question : unanswered) *err += "  " + question + "\n";
  }
  if (!unanswered.empty() && raises && status != Status(report::ExitStatus::CannotRun))
    status = std::max(status, Status(report::ExitStatus::Undetermined));
  return status;
}
