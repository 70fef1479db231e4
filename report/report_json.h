// The report as one JSON document, for scripts.
#pragma once

#include <string>
#include <vector>

#include "report/report_words.h"

namespace report {

// The program, its version, how it ran, the volumes, the volumes not examined and the
// drives with their partitions.
std::string Json(const std::vector<ScanRow>& rows, const std::vector<SkippedVolume>& skipped,
                 const DriveTable& drives, const VolumeListing& listing = {},
                 const RunMode& mode = {});

}  // namespace report
