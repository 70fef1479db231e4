#include "app/report_machine.h"

namespace {

bool ReadWhole(const std::string& path, std::string* text) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return false;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text->append(chunk, n);
  return std::ferror(file.get()) == 0;
}

}  // namespace

ReportMachine::~ReportMachine() {
  if (m_traceFile != nullptr) std::fclose(m_traceFile);
}

bool ReportMachine::Open(const std::string& replayFile, const std::string& traceFile,
                         std::string* err) {
  if (!replayFile.empty()) {
    std::string text, why;
    if (!ReadWhole(replayFile, &text)) {
      *err += "TessarelReport: cannot read " + replayFile + "\n";
      return false;
    }
    m_replay = trace::FieldTrace::Load(text, &why);
    if (!m_replay) {
      *err += "TessarelReport: " + replayFile + " is no trace: " + why + "\n";
      return false;
    }
  }
  if (!traceFile.empty()) {
    // Written with the C runtime: the door creates no file. Outside Windows there is no
    // machine to record.
    sys::Backend* inner = Backend();
    m_traceFile = inner != nullptr ? std::fopen(traceFile.c_str(), "wb") : nullptr;
    if (m_traceFile == nullptr) {
      *err += "TessarelReport: cannot create " + traceFile + "\n";
      return false;
    }
    m_tracePath = traceFile;
    // A replayed machine's version is in its trace's first line: asked again, the replay
    // would give away the answer the scan's own question needs.
    const std::string windows = m_replay ? m_replay->Windows() : trace::WindowsVersion(*inner);
    m_recorder =
        std::make_unique<trace::FieldTrace>(*inner, m_traceFile, "TessarelReport", windows);
  }
  return true;
}

sys::Backend* ReportMachine::Backend() const {
  if (m_recorder) return m_recorder.get();
  if (m_replay) return m_replay.get();
  return sys::InUse();
}

bool ReportMachine::CloseTrace(std::string* err) {
  if (!m_recorder) return true;
  std::FILE* file = m_traceFile;
  m_traceFile = nullptr;
  const bool whole = !m_recorder->Failed() && std::fflush(file) == 0 && std::ferror(file) == 0;
  if (std::fclose(file) == 0 && whole) return true;
  *err += "TessarelReport: the trace " + m_tracePath + " could not be written\n";
  return false;
}

std::vector<std::string> ReportMachine::Unanswered() const {
  return m_replay ? m_replay->Unanswered() : std::vector<std::string>{};
}
