// The line an Intune custom-compliance discovery script returns: one compressed JSON object
// of flat typed keys, which the rules in docs/tessarel-compliance.json test.
#pragma once

#include <string>
#include <vector>

#include "image/image_check.h"
#include "report/report_words.h"

namespace report {

// What the rules read: the volumes (or images) examined, and of them the misaligned and
// the undetermined; those not examined apart from both.
struct Compliance {
  size_t total = 0, misaligned = 0, undetermined = 0, notExamined = 0;
  bool complete = true;
};

Compliance MachineCompliance(const std::vector<ScanRow>& rows,
                             const std::vector<SkippedVolume>& skipped,
                             const VolumeListing& listing);
// A refused image is one not examined.
Compliance ImagesCompliance(const std::vector<ImageCheck>& images);

// "incomplete" where the list did not come whole, else "misaligned" where one is, else
// "undetermined" where one is or one was not examined, else "aligned".
const char* ComplianceVerdict(const Compliance& c);

// {"TessarelVerdict":"aligned","TessarelVolumes":5,...} and a line feed.
std::string ComplianceLine(const Compliance& c, Elevation elevation);

}  // namespace report
