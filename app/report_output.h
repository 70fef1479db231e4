// The console report's way out: the report to standard output, messages to standard
// error. A report that does not reach its reader (a full disk, a pipe whose reader has
// gone, a closed stream) ends with one line on standard error and status 3, never with
// the status of a report nobody got.
#pragma once

#include <cstdio>
#include <string>

// Writes `report` to `out` and `messages` to `err`; returns `status`, or 3 when any write
// or the final flush of the report failed.
int WriteReport(std::FILE* out, std::FILE* err, const std::string& report,
                const std::string& messages, int status);
