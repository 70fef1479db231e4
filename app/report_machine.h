// The machine the console report scans: the one behind the door, or a replayed trace;
// with --trace, a recorder in front of it that writes every call to a file. Owns the
// replay, the recorder and the trace file, and closes the file however the run ends.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/backend.h"
#include "trace/field_trace.h"

class ReportMachine {
 public:
  ReportMachine() = default;
  ~ReportMachine();
  ReportMachine(const ReportMachine&) = delete;
  ReportMachine& operator=(const ReportMachine&) = delete;

  // Reads the trace to replay and creates the trace to write, where the options name
  // them (either may be empty); false with the console's message in *err.
  bool Open(const std::string& replayFile, const std::string& traceFile, std::string* err);
  // What the scan is to ask: null for the door's default.
  sys::Backend* Backend() const;
  // Ends the trace being written, flushed and closed; false, with the console's message
  // in *err, when it is not whole. True without a trace.
  bool CloseTrace(std::string* err);
  // The questions a replayed trace held no answer for; none without a replay.
  std::vector<std::string> Unanswered() const;

 private:
  std::unique_ptr<trace::FieldTrace> m_replay;
  std::FILE* m_traceFile = nullptr;
  std::string m_tracePath;
  std::unique_ptr<trace::FieldTrace> m_recorder;
};
