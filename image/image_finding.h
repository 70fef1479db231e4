// What the check of one disk file found: its check, and its readiness for a target where
// one was named.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "image/image_check.h"
#include "image/image_target.h"

struct ImageFinding {
  ImageCheck check;
  std::optional<TargetCheck> target;
};

// The file at `path` checked offline, and for `target` where one is named.
inline ImageFinding FindImage(const std::string& path, const ImageOptions& options,
                              std::optional<Target> target) {
  ImageFinding finding{CheckImage(path, options), std::nullopt};
  if (target) finding.target = CheckTarget(finding.check, *target);
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
