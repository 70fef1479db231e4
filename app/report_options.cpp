#include "app/report_options.h"

#include <algorithm>
#include <cstdlib>

#include "image/image_format.h"

namespace {

constexpr size_t kWidth = 79;  // a console of 80 columns, whose last one would wrap
constexpr size_t kIndent = 19;  // where an option's words begin

const struct {
  const char* option;
  Output output;
  const char* help;
} kOutputs[] = {
    {"--json", Output::Json, "print one JSON document instead of the text"},
    {"--csv", Output::Csv,
     "print CSV instead: a line per volume, piece, volume not examined and partition (UTF-8 "
     "with a byte-order mark)"},
    {"--jsonl", Output::JsonLines,
     "print JSON lines for log pipelines: a run record, then one per volume, piece, volume "
     "not examined and partition"},
    {"--summary", Output::Summary,
     "print one line: OK, MISALIGNED, UNDETERMINED, INCOMPLETE or ERROR, then what; nothing "
     "on standard error"},
    {"--nagios", Output::Nagios,
     "print a monitoring plugin's status line and performance data, and exit 0 OK, 1 "
     "WARNING (misaligned), 3 UNKNOWN"},
    {"--intune-compliance", Output::Compliance,
     "print the one line of JSON Intune's custom compliance reads, and exit 0 whenever the "
     "scan ran"},
};
constexpr const char* kCriticalHelp = "with --nagios: misaligned is CRITICAL, exit 2";

// `words` filled greedily into lines of kWidth, the first after `first`'s last line, the
// others after `indent` spaces.
std::string Wrapped(const std::string& first, size_t indent, const std::string& words) {
  std::string text = first, line;
  size_t at = 0;
  while (at < words.size()) {
    const size_t end = std::min(words.find(' ', at), words.size());
    const std::string word = words.substr(at, end - at);
    const size_t lineStart = text.rfind('\n');
    const size_t column = (lineStart == std::string::npos ? text.size() : text.size() - lineStart - 1) +
                          (line.empty() ? 0 : line.size() + 1);
    if (!line.empty() && column + word.size() > kWidth) {
      text += line + "\n" + std::string(indent, ' ');
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    at = end + 1;
  }
  return text + line + "\n";
}

// "  --drives         list the physical drives ..."; an option as wide as the column has
// its words on the next line.
std::string OptionLines(const std::string& option, const std::string& help) {
  std::string head = "  " + option;
  head += head.size() < kIndent ? std::string(kIndent - head.size(), ' ')
                                : "\n" + std::string(kIndent, ' ');
  return Wrapped(head, kIndent, help);
}

// "raw, VHDX, VHD, QCOW2, VMDK or VDI": the formats this program reads.
std::string FormatsRead() {
  std::vector<std::string> words = {"raw"};
  for (size_t i = 0; i < kImageFormatCount; ++i)
    if (kImageFormats[i].word != nullptr) words.push_back(kImageFormats[i].word);
  std::string list;
  for (size_t i = 0; i < words.size(); ++i)
    list += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
  return list;
}

// "'--json', '--csv', ... and '--intune-compliance'", or with [--critical] after --nagios.
std::string OutputList(const char* quote, bool withCritical) {
  std::string list;
  const size_t count = std::size(kOutputs);
  for (size_t i = 0; i < count; ++i) {
    list += (i == 0 ? "" : i + 1 == count ? " and " : ", ") + std::string(quote) +
            kOutputs[i].option + quote;
    if (withCritical && kOutputs[i].output == Output::Nagios) list += " [--critical]";
  }
  return list;
}

// A file after an option that takes one; false where there is none.
bool TakeFile(const std::vector<std::string>& args, size_t& i, Options* options,
              std::string* bad) {
  const std::string& arg = args[i];
  if (i + 1 == args.size() || args[i + 1].empty()) {
    *bad = "option '" + arg + "' needs a " + (arg == "--image-dir" ? "folder" : "file");
    return false;
  }
  if (arg == "--image-dir")
    options->imageDirs.push_back(args[++i]);
  else if (arg == "--image")
    options->images.push_back(args[++i]);
  else if (arg == "--image-list")
    options->imageLists.push_back(args[++i]);
  else
    (arg == "--prom" ? options->metrics : arg == "--trace" ? options->trace : options->replay) =
        args[++i];
  return true;
}

// A grid a guest's host may write in: a power of two from 512 bytes to 1 MiB, in digits.
std::optional<uint32_t> GridOf(const std::string& text) {
  if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const unsigned long bytes = std::strtoul(text.c_str(), nullptr, 10);
  if (bytes < 512 || bytes > 1048576 || (bytes & (bytes - 1)) != 0) return std::nullopt;
  return static_cast<uint32_t>(bytes);
}

// The value after --grid, --target or --sector-size; false where it is none they take.
bool TakeValue(const std::vector<std::string>& args, size_t& i, Options* options,
               std::string* bad) {
  const std::string& arg = args[i];
  const std::string value = i + 1 < args.size() ? args[++i] : "";
  if (arg == "--grid") {
    options->image.grid = GridOf(value);
    if (!options->image.grid) *bad = "option '--grid' needs a power of two from 512 to 1048576";
  } else if (arg == "--target") {
    if (value == "azure" || value == "hyperv" || value == "4kn") {
      const Target target = value == "azure"    ? Target::Azure
                            : value == "hyperv" ? Target::HyperV
                                                : Target::Sectors4Kn;
      if (!options->Names(target)) options->targets.push_back(target);
      options->image.toPhysical4Kn = options->Names(Target::Sectors4Kn);
    } else {
      *bad = "option '--target' needs azure, hyperv or 4kn";
    }
  } else if (value == "512" || value == "4096") {
    options->image.sectorSize = value == "512" ? 512u : 4096u;
  } else {
    *bad = "option '--sector-size' needs 512 or 4096";
  }
  return bad->empty();
}

// One option at args[i], with what it takes after it.
bool TakeOne(const std::vector<std::string>& args, size_t& i, Options* options,
             std::string* bad) {
  const std::string& arg = args[i];
  if (arg == "--trace" || arg == "--replay" || arg == "--image" || arg == "--image-list" ||
      arg == "--image-dir" || arg == "--prom")
    return TakeFile(args, i, options, bad);
  if (arg == "--grid" || arg == "--target" || arg == "--sector-size")
    return TakeValue(args, i, options, bad);
  const auto named = std::find_if(std::begin(kOutputs), std::end(kOutputs),
                                  [&](const auto& o) { return arg == o.option; });
  if (named != std::end(kOutputs)) {
    if (options->output != Output::Text && options->output != named->output) {
      *bad = "options " + OutputList("'", false) + " exclude each other";
      return false;
    }
    options->output = named->output;
    options->outputNamed = true;
  } else if (arg == "--critical") {
    options->critical = true;
  } else if (arg == "--drives") {
    options->drives = true;
  } else if (arg == "--recurse") {
    options->recurse = true;
  } else if (arg == "--help" || arg == "/?" || arg == "-?" || arg == "-h") {
    options->help = true;
  } else if (arg == "--version") {
    options->version = true;
  } else {
    *bad = "unknown option '" + arg + "'";
    return false;
  }
  return true;
}

// The options that go only with others; false with the first that is alone.
bool Combined(const Options& options, std::string* bad) {
  const bool images = options.ChecksImages();
  // Images are checked instead of the machine: nothing of the machine to list, record or
  // replay.
  if (images && (options.drives || !options.trace.empty() || !options.replay.empty()))
    *bad = std::string("option '") +
           (!options.images.empty()       ? "--image"
            : !options.imageLists.empty() ? "--image-list"
                                          : "--image-dir") +
           "' goes with '--grid', '--sector-size', '--target', '--prom' and the output options "
           "only";
  else if (options.recurse && options.imageDirs.empty())
    *bad = "option '--recurse' goes with '--image-dir' only";
  else if (options.critical && options.output != Output::Nagios)
    *bad = "option '--critical' goes with '--nagios' only";
  else if (options.image.grid && !images)
    *bad = "option '--grid' goes with '--image', '--image-list' or '--image-dir' only";
  else if (options.image.sectorSize && !images)
    *bad = "option '--sector-size' goes with '--image', '--image-list' or '--image-dir' only";
  else if ((options.Names(Target::Azure) || options.Names(Target::HyperV)) && !images)
    *bad = "option '--target' goes with '--image', '--image-list' or '--image-dir' only";
  return bad->empty();
}

// Each option with what it does, in the usage's order.
std::string OptionList() {
  std::string text = OptionLines(
      "--drives", "list the physical drives after the volumes (the JSON always holds them)");
  for (const auto& output : kOutputs) {
    text += OptionLines(output.option, output.help);
    if (output.output == Output::Nagios) text += OptionLines("--critical", kCriticalHelp);
  }
  const struct {
    const char* option;
    std::string help;
  } rest[] = {
      {"--prom FILE",
       "also write the metrics in Prometheus's text format to FILE (through FILE.tmp, renamed "
       "over it); alone, print nothing"},
      {"--trace FILE",
       "also write every question the program asks this machine, and its answer, to FILE, to "
       "report a problem. FILE then holds the drives' serial numbers, the volumes' names and "
       "paths, and the sectors read: each volume's first sector and, where the system names no "
       "disk, the sectors at the same place on other disks, which can hold user data"},
      {"--replay FILE",
       "answer from the trace in FILE instead of this machine; what the trace does not hold is "
       "listed on standard error, and the exit status is 2 at least"},
      {"--image FILE",
       "check the disk image FILE (" + FormatsRead() +
           ") instead of this machine: its container and the partitions inside, judged against "
           "the grid the guest's host writes in; no drive is opened and no administrative rights "
           "are needed"},
      {"--image-list LIST",
       "check each disk image LIST names, one path a line (UTF-16 or UTF-8, as PowerShell "
       "writes them, or the system's code page); blank lines and lines starting with # are "
       "skipped, a relative path is taken from LIST's folder, and a path on another computer "
       "or a device is not opened. With lists or folders, a disk is counted once: the parents "
       "of a chain and the extents of a split disk found with it are folded under it"},
      {"--image-dir DIR",
       "check every disk image in the folder DIR (the files named .vhd, .vhdx, .avhd, .avhdx, "
       ".vmdk, .qcow2, .qcow, .vdi, .img or .raw), each judged by what it holds; a .img or .raw "
       "that holds no disk is listed apart"},
      {"--recurse", "and in every folder under DIR, through junctions and mount points"},
      {"--grid BYTES", "that grid: a power of two from 512 to 1048576 (default 4096)"},
      {"--sector-size N",
       "the logical sector size of the disk in a raw image, 512 or 4096, where its table and "
       "boot sectors do not tell it (a VHD's is 512, a VHDX names its own)"},
      {"--target T",
       "also say whether each image is ready for T: azure (a fixed VHD of whole MiB), hyperv "
       "(a VHD or VHDX whose blocks are aligned), or 4kn, for each disk or image: a physical "
       "disk of 4096-byte logical sectors, which needs UEFI firmware to start it and an EFI "
       "system partition of 260 MiB; may be repeated. The JSON, CSV and records always hold "
       "each disk's move to the other logical sector size; the text shows it with 4kn. The "
       "exit status stays the alignment's"},
      {"--help", "print this text (also /?, -? and -h)"},
      {"--version", "print the program's version"},
  };
  for (const auto& option : rest) text += OptionLines(option.option, option.help);
  return text;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* bad) {
  for (size_t i = 0; i < args.size(); ++i)
    if (!TakeOne(args, i, options, bad)) return false;
  return Combined(*options, bad);
}

Output OneLineOutput(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (arg == "--summary" || arg == "--nagios")
      return arg == "--summary" ? Output::Summary : Output::Nagios;
  return Output::Text;
}

std::string Usage() {
  std::string text =
      "Usage: TessarelReport [--drives] [OUTPUT] [--prom FILE] [--trace FILE]\n"
      "                      [--replay FILE] [--target 4kn]\n"
      "       TessarelReport --image FILE [--image FILE ...] [--image-list LIST]\n"
      "                      [--image-dir DIR [--recurse]]\n"
      "                      [--grid BYTES] [--sector-size 512|4096]\n"
      "                      [--target azure|hyperv|4kn ...]\n"
      "                      [OUTPUT] [--prom FILE]\n"
      "       TessarelReport --help | --version\n\n";
  text += Wrapped("", 0, "OUTPUT is one of " + OutputList("", true) +
                             "; without one the report is text.");
  text += Wrapped("\n", 0,
                  "Reports whether each partition on this machine's fixed disks lies on the "
                  "physical-sector grid of its disk. Run it from an elevated command prompt for "
                  "a full report. Without administrative rights (or when a security policy "
                  "refuses write access to the disks) it says so in its first line and judges "
                  "what Windows lets any user ask: FAT and exFAT volumes, whose data area takes "
                  "reading, are then undetermined.");
  text += "\n" + OptionList();
  return text + Wrapped("\n", 0,
                        "Exit status: 0 every volume aligned (or no fixed volume), 1 a volume is "
                        "misaligned, 2 none misaligned but one undetermined or not examined, 3 "
                        "the report could not run or could not be written. Without administrative "
                        "rights the status follows the verdicts in the same way. For images: 0 "
                        "all aligned, 1 something misaligned, 2 something undetermined or an "
                        "image refused.");
}
