#include "app/report_program.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "app/metrics_file.h"
#include "app/report_machine.h"
#include "app/startup_check.h"
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

const char kUsage[] =
    "Usage: TessarelReport [--drives] [OUTPUT] [--prom FILE] [--trace FILE] [--replay FILE]\n"
    "       TessarelReport --image FILE [--image FILE ...] [--grid BYTES]\n"
    "                      [--sector-size 512|4096] [--target azure|hyperv]\n"
    "                      [OUTPUT] [--prom FILE]\n"
    "       TessarelReport --help | --version\n"
    "\n"
    "OUTPUT is one of --json, --csv, --jsonl, --summary, --nagios [--critical] and\n"
    "--intune-compliance; without one the report is text.\n"
    "\n"
    "Reports whether each partition on this machine's fixed disks lies on the\n"
    "physical-sector grid of its disk. Run it from an elevated command prompt for a\n"
    "full report. Without administrative rights (or when a security policy refuses\n"
    "write access to the disks) it says so in its first line and judges what Windows\n"
    "lets any user ask: FAT and exFAT volumes, whose data area takes reading, are then\n"
    "undetermined.\n"
    "\n"
    "  --drives         list the physical drives after the volumes (the JSON always\n"
    "                   holds them)\n"
    "  --json           print one JSON document instead of the text\n"
    "  --csv            print CSV instead: a line per volume, piece, volume not\n"
    "                   examined and partition (UTF-8 with a byte-order mark)\n"
    "  --summary        print one line: OK, MISALIGNED, UNDETERMINED, INCOMPLETE or\n"
    "                   ERROR, then what; nothing on standard error\n"
    "  --nagios         print a monitoring plugin's status line and performance data,\n"
    "                   and exit 0 OK, 1 WARNING (misaligned), 3 UNKNOWN\n"
    "  --critical       with --nagios: misaligned is CRITICAL, exit 2\n"
    "  --jsonl          print JSON lines for log pipelines: a run record, then one per\n"
    "                   volume, piece, volume not examined and partition\n"
    "  --intune-compliance\n"
    "                   print the one line of JSON Intune's custom compliance reads,\n"
    "                   and exit 0 whenever the scan ran\n"
    "  --prom FILE      also write the metrics in Prometheus's text format to FILE\n"
    "                   (through FILE.tmp, renamed over it); alone, print nothing\n"
    "  --trace FILE     also write every question the program asks this machine, and\n"
    "                   its answer, to FILE, to report a problem. FILE then holds the\n"
    "                   drives' serial numbers, the volumes' names and paths, and the\n"
    "                   sectors read: each volume's first sector and, where the system\n"
    "                   names no disk, the sectors at the same place on other disks,\n"
    "                   which can hold user data\n"
    "  --replay FILE    answer from the trace in FILE instead of this machine; what\n"
    "                   the trace does not hold is listed on standard error, and the\n"
    "                   exit status is 2 at least\n"
    "  --image FILE     check the disk image FILE (raw, VHD or VHDX) instead of this\n"
    "                   machine: its container and the partitions inside, judged\n"
    "                   against the grid the guest's host writes in; no drive is\n"
    "                   opened and no administrative rights are needed\n"
    "  --grid BYTES     that grid: a power of two from 512 to 1048576 (default 4096)\n"
    "  --sector-size N  the logical sector size of the disk in a raw image, 512 or\n"
    "                   4096, where its table and boot sectors do not tell it (a VHD's\n"
    "                   is 512, a VHDX names its own)\n"
    "  --target T       also say whether each image is ready for T: azure (a fixed\n"
    "                   VHD of whole MiB) or hyperv (a VHD or VHDX whose blocks are\n"
    "                   aligned); the exit status stays the alignment's\n"
    "  --help           print this text (also /?, -? and -h)\n"
    "  --version        print the program's version\n"
    "\n"
    "Exit status: 0 every volume aligned (or no fixed volume), 1 a volume is\n"
    "misaligned, 2 none misaligned but one undetermined or not examined, 3 the\n"
    "report could not run or could not be written. Without administrative rights\n"
    "the status follows the verdicts in the same way. For images: 0 all aligned, 1\n"
    "something misaligned, 2 something undetermined or an image refused.\n";

// What the report prints: the text, or one of the forms other tools read.
enum class Output { Text, Json, Csv, JsonLines, Summary, Nagios, Compliance };
const struct {
  const char* option;
  Output output;
} kOutputs[] = {{"--json", Output::Json},         {"--csv", Output::Csv},
                {"--jsonl", Output::JsonLines},   {"--summary", Output::Summary},
                {"--nagios", Output::Nagios},     {"--intune-compliance", Output::Compliance}};

struct Options {
  bool drives = false, help = false, version = false, critical = false;
  Output output = Output::Text;
  bool outputNamed = false;  // an output option was given: --prom alone prints nothing
  std::string trace, replay, metrics;  // files
  std::vector<std::string> images;
  ImageOptions image;
  std::optional<Target> target;  // what the disk files are checked for besides
};

// The one-line outputs are read by tools that keep one line: even a refusal is said there.
Output OneLineOutput(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (arg == "--summary" || arg == "--nagios")
      return arg == "--summary" ? Output::Summary : Output::Nagios;
  return Output::Text;
}

// A grid a guest's host may write in: a power of two from 512 bytes to 1 MiB, in digits.
std::optional<uint32_t> GridOf(const std::string& text) {
  if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const unsigned long bytes = std::stoul(text);
  if (bytes < 512 || bytes > 1048576 || (bytes & (bytes - 1)) != 0) return std::nullopt;
  return static_cast<uint32_t>(bytes);
}

// False with what is wrong with the arguments.
bool Parse(const std::vector<std::string>& args, Options* options, std::string* bad) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--trace" || arg == "--replay" || arg == "--image" || arg == "--prom") {
      if (i + 1 == args.size() || args[i + 1].empty()) {
        *bad = "option '" + arg + "' needs a file";
        return false;
      }
      if (arg == "--image")
        options->images.push_back(args[++i]);
      else if (arg == "--prom")
        options->metrics = args[++i];
      else
        (arg == "--trace" ? options->trace : options->replay) = args[++i];
    } else if (arg == "--grid") {
      options->image.grid = i + 1 < args.size() ? GridOf(args[++i]) : std::nullopt;
      if (!options->image.grid) {
        *bad = "option '--grid' needs a power of two from 512 to 1048576";
        return false;
      }
    } else if (arg == "--target") {
      const std::string target = i + 1 < args.size() ? args[++i] : "";
      if (target != "azure" && target != "hyperv") {
        *bad = "option '--target' needs azure or hyperv";
        return false;
      }
      options->target = target == "azure" ? Target::Azure : Target::HyperV;
    } else if (arg == "--sector-size") {
      const std::string size = i + 1 < args.size() ? args[++i] : "";
      if (size != "512" && size != "4096") {
        *bad = "option '--sector-size' needs 512 or 4096";
        return false;
      }
      options->image.sectorSize = static_cast<uint32_t>(std::stoul(size));
    } else if (const auto named = std::find_if(std::begin(kOutputs), std::end(kOutputs),
                                               [&](const auto& o) { return arg == o.option; });
               named != std::end(kOutputs)) {
      if (options->output != Output::Text && options->output != named->output) {
        *bad =
            "options '--json', '--csv', '--jsonl', '--summary', '--nagios' and "
            "'--intune-compliance' exclude each other";
        return false;
      }
      options->output = named->output;
      options->outputNamed = true;
    } else if (arg == "--critical")
      options->critical = true;
    else if (arg == "--drives")
      options->drives = true;
    else if (arg == "--help" || arg == "/?" || arg == "-?" || arg == "-h")
      options->help = true;
    else if (arg == "--version")
      options->version = true;
    else {
      *bad = "unknown option '" + arg + "'";
      return false;
    }
  }
  // Images are checked instead of the machine: nothing of the machine to list, record or
  // replay.
  if (!options->images.empty() &&
      (options->drives || !options->trace.empty() || !options->replay.empty())) {
    *bad =
        "option '--image' goes with '--grid', '--sector-size', '--target', '--prom' and the output "
        "options only";
    return false;
  }
  if (options->critical && options->output != Output::Nagios) {
    *bad = "option '--critical' goes with '--nagios' only";
    return false;
  }
  if (options->image.grid && options->images.empty()) {
    *bad = "option '--grid' goes with '--image' only";
    return false;
  }
  if (options->image.sectorSize && options->images.empty()) {
    *bad = "option '--sector-size' goes with '--image' only";
    return false;
  }
  if (options->target && options->images.empty()) {
    *bad = "option '--target' goes with '--image' only";
    return false;
  }
  return true;
}

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
TextDecoder SystemDecoder() {
  const uint32_t codePage = AskCodePage();
  return [codePage](const std::string& text) { return DecodeAnsi(codePage, text); };
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

  report::MachineFindings& found = findings.machine.emplace();
  CScan scan(mode.rawAccess ? AccessMode::Raw : AccessMode::QueryOnly);
  while (!scan.Finished())
    if (auto row = scan.Step()) found.rows.push_back(std::move(*row));
  found.skipped = scan.Skipped();
  found.listing = scan.Listing();
  found.drives = &g_drives;
  run.complete = found.listing.complete;
  return Print(options, texts, machine, findings, run, out, err);
}

// Each image named, checked offline; no drive is opened.
int CheckImages(const Options& options, const ReportTexts& texts, const ReportMachine& machine,
                std::string* out, std::string* err) {
  report::Findings findings;
  for (const std::string& path : options.images) {
    report::ImageFinding image{CheckImage(path, options.image), std::nullopt};
    if (options.target) image.target = CheckTarget(image.check, *options.target);
    findings.images.push_back(std::move(image));
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
  return Print(options, texts, machine, findings, run, out, err);
}

}  // namespace

int RunReport(const std::vector<std::string>& args, const ReportTexts& texts, std::string* out,
              std::string* err) {
  Options options;
  std::string bad;
  if (!Parse(args, &options, &bad)) {
    const Output oneLine = OneLineOutput(args);
    if (oneLine != Output::Text) return CannotRun(oneLine, bad, out, err);
    *err += "TessarelReport: " + bad + "\n\n" + kUsage;
    return Status(report::ExitStatus::CannotRun);
  }
  if (options.help) {
    *out += kUsage;
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
  int status = options.images.empty() ? Scan(options, texts, machine, out, err)
                                      : CheckImages(options, texts, machine, out, err);
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
