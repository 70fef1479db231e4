// The console program's command line: what it may hold, what it asks for, and the usage
// made from the same tables.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "image/image_check.h"
#include "image/image_target.h"

// What the report prints: the text, or one of the forms other tools read.
enum class Output { Text, Json, Csv, JsonLines, Summary, Nagios, Compliance };

struct Options {
  bool drives = false, help = false, version = false, critical = false;
  Output output = Output::Text;
  bool outputNamed = false;  // an output option was given: --prom alone prints nothing
  std::string trace, replay, metrics;  // files
  std::vector<std::string> images;
  std::vector<std::string> imageLists;  // files of paths, one a line
  std::vector<std::string> imageDirs;   // folders of disk files
  bool recurse = false;                 // and every folder under them
  ImageOptions image;
  std::vector<Target> targets;  // what the disks are checked for besides, each once

  bool Names(Target target) const {
    return std::find(targets.begin(), targets.end(), target) != targets.end();
  }

  // Disk files are checked instead of the machine.
  bool ChecksImages() const {
    return !images.empty() || !imageLists.empty() || !imageDirs.empty();
  }
  // A sweep: each disk counted once, its chain's parents and extents folded under it.
  bool Sweeps() const { return !imageLists.empty() || !imageDirs.empty(); }
};

// False with what is wrong with the arguments.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* bad);
// The one-line outputs are read by tools that keep one line: even a refusal is said there.
Output OneLineOutput(const std::vector<std::string>& args);
// What --help prints, and what follows a refusal.
std::string Usage();
