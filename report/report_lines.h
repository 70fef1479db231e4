// The one-line outputs, for the tools admins already run: a summary line (what an Intune
// remediation keeps: the last line, at most 2,048 characters) and a monitoring plugin's
// status line with its performance data (Nagios, Icinga, Naemon).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/findings.h"
#include "report/report_words.h"

namespace report {

// An image check's images, counted apart from the partitions inside them, each by its own
// verdict; and the partitions' misaligned and undetermined.
struct ImageCounts {
  size_t total = 0, misaligned = 0, undetermined = 0;
  size_t partitionsMisaligned = 0, partitionsUndetermined = 0;
};

// With --target: one target's word, and how many disks (a machine's) or images are not
// ready for it, of how many.
struct TargetCount {
  const char* target = nullptr;
  size_t notReady = 0, of = 0;
  bool images = false;
};

// What a run found, counted for one line: its volumes (or an image check's partitions),
// the misaligned and the undetermined ones with their items ("D: disk 0 at 63: move to 64
// after shrinking 1 sector"), and why the list is incomplete, where it is. For images the
// items are the images' and the partitions' together, and the names are the images'.
struct Tally {
  const char* one = "volume";
  const char* many = "volumes";
  size_t total = 0;
  std::vector<std::string> misaligned, misalignedNames;
  std::vector<std::string> undetermined, undeterminedNames;
  std::string incomplete;  // empty where the list came whole
  std::string nothing;     // why nothing was judged, where nothing was: no pass
  std::optional<ImageCounts> images;
  std::vector<TargetCount> targets;
  size_t notReadyForAny = 0;  // the disks or images not ready for one target named at least
};

Tally TallyOf(const Findings& findings);

constexpr size_t kMostLineCharacters = 2048;

// "OK: 18 volumes aligned", "MISALIGNED: 7 of 21 volumes; D: ...; and 3 more",
// "UNDETERMINED: ...", "INCOMPLETE: ..."; at most 2,048 characters and a line feed.
std::string SummaryLine(const Tally& tally);
// "ERROR: " and why the program could not run.
std::string SummaryError(const std::string& why);

// The plugin's line ("TESSAREL WARNING - 7 of 21 volumes misaligned: D:, G: | misaligned=7;0;;0;
// undetermined=1;;;0; volumes=21;;;0;") and its status: 0 OK, 1 WARNING (2 CRITICAL with
// `critical`) where something is misaligned, 3 UNKNOWN where something is undetermined or
// the list is incomplete.
struct PluginOutput {
  std::string line;
  int status = 0;
};
PluginOutput NagiosLine(const Tally& tally, bool critical);
// "TESSAREL UNKNOWN - " and why the program could not run, with status 3.
PluginOutput NagiosError(const std::string& why);

}  // namespace report
