// The report as metrics in Prometheus's text exposition format (version 0.0.4), for the
// textfile collector of windows_exporter or node_exporter: every family with its HELP and
// TYPE lines, label values escaped as the format says, UTF-8 without a byte-order mark, LF
// line ends and a final newline. The names are a contract docs/console.md states.
#pragma once

#include <string>
#include <vector>

#include "report/findings.h"
#include "report/report_words.h"

namespace report {

std::string Metrics(const Findings& findings, const RunFacts& run);

// A label value as the format writes it between its quotes: \ " and line feed escaped, any
// other control character (no name holds one) as U+FFFD.
std::string LabelValue(const std::string& utf8);

}  // namespace report
