// What one run found, which every output reads: what the scan of a machine found
// (inspect/scan.h) and what the check of each disk file found (image/image_finding.h), each
// made by its acquirer, with how the run went.
#pragma once

#include <algorithm>
#include <optional>
#include <vector>

#include "image/image_finding.h"
#include "image/sweep.h"
#include "inspect/scan.h"
#include "report/report_words.h"

namespace report {

struct Findings {
  RunMode mode;
  std::optional<MachineFindings> machine;  // none for a run over disk files alone
  std::vector<ImageFinding> images;
  // A run over lists or folders: what the sweep found beside the disks.
  std::optional<Sweep> sweep;
  // Each target --target named, in the order named.
  std::vector<Target> targets;
  bool Names(Target target) const {
    return std::find(targets.begin(), targets.end(), target) != targets.end();
  }
  // The run checked disk files: its outputs speak of images (even of none).
  bool ChecksImages() const { return !machine || !images.empty(); }
  // Whether every volume Windows listed was taken, and every folder of a sweep listed.
  bool Complete() const {
    return (!machine || machine->listing.complete) && (!sweep || sweep->Complete());
  }
  // A run over disk files that found none (its lists name none): nothing was judged, and
  // that is no pass.
  bool NothingToCheck() const { return !machine && images.empty(); }
};

// Each thing the run examined, by its own verdict; none for one it could not examine (a
// volume the probe could not place, a refused disk file).
inline std::vector<std::optional<Verdict>> Examined(const Findings& findings) {
  std::vector<std::optional<Verdict>> examined;
  if (findings.machine) {
    for (const ScanRow& row : findings.machine->rows) examined.push_back(row.verdict);
    examined.resize(examined.size() + findings.machine->skipped.size());
  }
  for (const ImageFinding& image : findings.images)
    examined.push_back(image.check.refusal == ImageRefusal::None
                           ? std::optional<Verdict>(image.check.Judged().verdict)
                           : std::nullopt);
  if (findings.sweep) examined.resize(examined.size() + findings.sweep->FilesNotExamined());
  return examined;
}

// 1 where anything is misaligned, else 2 where anything is undetermined or was not
// examined, or the list of volumes did not come whole, or there was no disk file to check
// (no report to act on), else 0.
inline ExitStatus ExitStatusOf(const Findings& findings) {
  if (!findings.Complete() || findings.NothingToCheck()) return ExitStatus::Undetermined;
  bool undetermined = false;
  for (const std::optional<Verdict>& verdict : Examined(findings)) {
    if (verdict == Verdict::Misaligned) return ExitStatus::Misaligned;
    undetermined = undetermined || verdict != Verdict::Aligned;
  }
  return undetermined ? ExitStatus::Undetermined : ExitStatus::Aligned;
}

}  // namespace report
