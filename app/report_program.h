// The console report: options, the start-up checks, the whole scan without pacing, and
// the report as text or JSON, summed up in the exit status.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "report/report_text.h"

// The texts the program takes from its string table.
struct ReportTexts {
  report::VolumeHeadings headings;
  std::string notNt;     // the refusal on a system outside the NT family
  std::string noAccess;  // the refusal without raw access to drive 0
};

// Runs the report for the arguments after the program's name; what it prints goes to
// *out and *err. Returns the exit status.
int RunReport(const std::vector<std::string>& args, const ReportTexts& texts, std::string* out,
              std::string* err);

// Where a sweep of disk files shows its progress while it runs: text for a console, which
// each piece overwrites ("\r") and the last clears. The program passes one only where
// standard error is a console.
using ProgressSink = std::function<void(const std::string& text)>;
int RunReport(const std::vector<std::string>& args, const ReportTexts& texts, std::string* out,
              std::string* err, const ProgressSink& progress);
