// What the check of one disk file found: its check, and its readiness for a target where
// one was named.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/image_check.h"
#include "image/image_target.h"

struct ImageFinding {
  ImageCheck check;
  std::vector<TargetCheck> targets;  // each target named, in the order named
  // The one Azure or Hyper-V target, where the run names exactly one (the JSON's `target`,
  // the CSV's columns); none otherwise.
  const TargetCheck* PlatformTarget() const {
    const TargetCheck* one = nullptr;
    for (const TargetCheck& t : targets)
      if (t.target != Target::Sectors4Kn) {
        if (one) return nullptr;
        one = &t;
      }
    return one;
  }
};

// The file at `path` checked offline, and for each of `targets`.
inline ImageFinding FindImage(const std::string& path, const ImageOptions& options,
                              const std::vector<Target>& targets) {
  ImageFinding finding{CheckImage(path, options), {}};
  for (Target target : targets) finding.targets.push_back(CheckTarget(finding.check, target));
  return finding;
}

// A file named where Tessarel does not open it (a list's line on another computer): refused
// unopened, with why.
inline ImageFinding UnopenedImage(const std::string& shown, std::string why) {
  ImageFinding finding;
  finding.check.path = shown;
  finding.check.refusal = ImageRefusal::CannotOpen;
  finding.check.refusalWords = std::move(why);
  return finding;
}
