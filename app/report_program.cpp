#include "app/report_program.h"

#include "app/startup_check.h"
#include "inspect/scan.h"
#include "res/version.h"

namespace {

const char kUsage[] =
    "Usage: TessarelReport [--drives] [--json]\n"
    "       TessarelReport --help | --version\n"
    "\n"
    "Reports whether each partition on this machine's fixed disks lies on the\n"
    "physical-sector grid of its disk. Run it from an elevated command prompt.\n"
    "\n"
    "  --drives   list the physical drives after the volumes\n"
    "  --json     print one JSON document instead of the text\n"
    "  --help     print this text\n"
    "  --version  print the program's version\n"
    "\n"
    "Exit status: 0 every volume aligned (or none), 1 a volume is misaligned,\n"
    "2 none misaligned but one undetermined, 3 the report could not run.\n";

struct Options {
  bool drives = false, json = false, help = false, version = false;
};

bool Parse(const std::vector<std::string>& args, Options* options) {
  for (const std::string& arg : args) {
    if (arg == "--drives")
      options->drives = true;
    else if (arg == "--json")
      options->json = true;
    else if (arg == "--help")
      options->help = true;
    else if (arg == "--version")
      options->version = true;
    else
      return false;
  }
  return true;
}

int Status(report::ExitStatus status) { return static_cast<int>(status); }

}  // namespace

int RunReport(const std::vector<std::string>& args, const ReportTexts& texts, std::string* out,
              std::string* err) {
  Options options;
  if (!Parse(args, &options)) {
    *err += kUsage;
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

  switch (CheckStartup()) {
    case StartupRefusal::NotNt:
      *err += texts.notNt + "\n";
      return Status(report::ExitStatus::CannotRun);
    case StartupRefusal::NoRawAccess:
      *err += texts.noAccess + "\n";
      return Status(report::ExitStatus::CannotRun);
    case StartupRefusal::None:
      break;
  }

  std::vector<ScanRow> rows;
  CScan scan;
  while (!scan.Finished())
    if (auto row = scan.Step()) rows.push_back(std::move(*row));

  if (options.json) {
    *out += report::Json(rows, g_drives);
  } else {
    *out += report::VolumeText(texts.headings, rows, g_drives);
    if (options.drives) {
      *out += '\n';
      *out += report::DriveText(texts.headings, g_drives);
    }
  }
  return Status(report::ExitStatusOf(rows));
}
