// The report as CSV (RFC 4180), for Import-Csv and spreadsheets: a header, then a line per
// volume, per piece of a volume over several disks, per volume not examined, per partition
// without a row, and per partition of an image (a refused image is a volume not examined).
// UTF-8 with a byte-order mark, so that Windows PowerShell reads names outside ASCII
// right; CRLF line ends; true and false; null as an empty field.
#pragma once

#include <string>
#include <vector>

#include "report/findings.h"
#include "report/report_words.h"

namespace report {

std::string Csv(const Findings& findings);

}  // namespace report
