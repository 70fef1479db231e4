#include "app/report_program.h"

#include "app/startup_check.h"
#include "inspect/scan.h"
#include "platform/win32types.h"
#include "res/version.h"

namespace {

const char kUsage[] =
    "Usage: TessarelReport [--drives] [--json]\n"
    "       TessarelReport --help | --version\n"
    "\n"
    "Reports whether each partition on this machine's fixed disks lies on the\n"
    "physical-sector grid of its disk. Run it from an elevated command prompt.\n"
    "\n"
    "  --drives   list the physical drives after the volumes (the JSON always\n"
    "             holds them)\n"
    "  --json     print one JSON document instead of the text\n"
    "  --help     print this text (also /?, -? and -h)\n"
    "  --version  print the program's version\n"
    "\n"
    "Exit status: 0 every volume aligned (or no fixed volume), 1 a volume is\n"
    "misaligned, 2 none misaligned but one undetermined or not examined, 3 the\n"
    "report could not run or could not be written.\n";

struct Options {
  bool drives = false, json = false, help = false, version = false;
};

// False with the first argument that is no option of the program.
bool Parse(const std::vector<std::string>& args, Options* options, std::string* bad) {
  for (const std::string& arg : args) {
    if (arg == "--drives")
      options->drives = true;
    else if (arg == "--json")
      options->json = true;
    else if (arg == "--help" || arg == "/?" || arg == "-?" || arg == "-h")
      options->help = true;
    else if (arg == "--version")
      options->version = true;
    else {
      *bad = arg;
      return false;
    }
  }
  return true;
}

// Why drive 0 did not open, for the person at the console.
std::string RawAccessAdvice(uint32_t error) {
  const std::string number = "Windows error " + std::to_string(error);
  switch (error) {
    case ERROR_ACCESS_DENIED:
      return number + " (access denied): run TessarelReport from an elevated command prompt.";
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

}  // namespace

int RunReport(const std::vector<std::string>& args, const ReportTexts& texts, std::string* out,
              std::string* err) {
  Options options;
  std::string bad;
  if (!Parse(args, &options, &bad)) {
    *err += "TessarelReport: unknown option '" + bad + "'\n\n" + kUsage;
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

  const StartupCheck check = CheckStartup();
  switch (check.refusal) {
    case StartupRefusal::NotNt:
      *err += texts.notNt + "\n";
      return Status(report::ExitStatus::CannotRun);
    case StartupRefusal::NoRawAccess:
      *err += texts.noAccess + "\n" + RawAccessAdvice(check.error) + "\n";
      return Status(report::ExitStatus::CannotRun);
    case StartupRefusal::None:
      break;
  }

  std::vector<ScanRow> rows;
  CScan scan;
  while (!scan.Finished())
    if (auto row = scan.Step()) rows.push_back(std::move(*row));

  if (options.json) {
    *out += report::Json(rows, scan.Skipped(), g_drives);
  } else {
    *out += report::VolumeText(texts.headings, rows, g_drives, scan.Skipped());
    if (options.drives) {
      *out += '\n';
      *out += report::DriveText(texts.headings, g_drives);
    }
  }
  return Status(report::ExitStatusOf(rows, scan.Skipped()));
}
