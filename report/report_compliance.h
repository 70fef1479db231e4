// The line an Intune custom-compliance discovery script returns: one compressed JSON object
// of flat typed keys, which the rules in docs/tessarel-compliance.json test.
#pragma once

#include <string>
#include <vector>

#include "report/findings.h"
#include "report/report_words.h"

namespace report {

// What the rules read: the volumes (or images) examined, and of them the misaligned and
// the undetermined; those not examined apart from both.
struct Compliance {
  size_t total = 0, misaligned = 0, undetermined = 0, notExamined = 0;
  bool complete = true;
  bool nothingToCheck = false;  // a run over disk files that found none
};

// A volume the probe could not place, and a refused image, is one not examined.
Compliance ComplianceOf(const Findings& findings);

// "incomplete" where the list did not come whole, else "misaligned" where one is, else
// "undetermined" where one is or one was not examined or there was nothing to check, else
// "aligned".
const char* ComplianceVerdict(const Compliance& c);

// {"TessarelVerdict":"aligned","TessarelVolumes":5,...} and a line feed.
std::string ComplianceLine(const Compliance& c, Elevation elevation);

}  // namespace report
