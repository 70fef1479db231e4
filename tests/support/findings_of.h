// Findings of a machine made by hand, for the tests of the outputs over them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "report/findings.h"

inline report::Findings MachineFindingsOf(std::vector<ScanRow> rows,
                                          std::vector<SkippedVolume> skipped,
                                          const DriveTable& drives, VolumeListing listing = {},
                                          report::RunMode mode = {}) {
  report::Findings findings;
  findings.mode = std::move(mode);
  findings.machine.emplace();
  findings.machine->rows = std::move(rows);
  findings.machine->skipped = std::move(skipped);
  findings.machine->drives = &drives;
  findings.machine->listing = listing;
  return findings;
}
