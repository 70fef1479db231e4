// The report as JSON lines, for log pipelines (the Azure Monitor agent's JSON logs, a
// forwarder, a program runner): one object per line, a `run` record first, then one per
// volume, piece, volume not examined, partition without a row, image and image partition,
// with the CSV's kind words. Each names its computer, run and time, and carries the keys
// its object has in the JSON report (docs/record.schema.json). ASCII (so UTF-8) with LF.
#pragma once

#include <string>
#include <vector>

#include "report/findings.h"
#include "report/report_words.h"

namespace report {

// The first line: the program, how it ran, whether the list came whole, the exit status.
std::string RunRecord(const RunMode& mode, const RunFacts& run);
// The lines after it.
std::string Records(const Findings& findings, const RunFacts& run);

}  // namespace report
