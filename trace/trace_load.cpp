#include "trace/field_trace.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace trace {

namespace {

constexpr size_t kMostCalls = 1000000;  // a server of thousands of volumes asks far fewer

// A trace being read: the question of each handle it opened, by number, and the answers.
struct Loading {
  std::map<uint64_t, std::string> opened;
  std::map<Question, std::deque<Call>>& answers;
  bool registering = true;
};

// Reads one call of type C. While registering, only an open is read, and its handle
// registered: every open is known before any call on a handle is read, wherever its line
// stands.
template <class C>
bool ReadAs(const JsonLine& line, uint32_t error, Loading& loading, std::string* why) {
  if (loading.registering && C::kHandle != HandleUse::Opens) return true;
  C call;
  call.error = error;
  FieldReader fields(line, loading.opened, why);
  if (!call.Fields(fields)) return false;
  std::string on;
  if constexpr (C::kHandle == HandleUse::On) on = loading.opened.at(call.handle);
  const Question question = call.Ask(on);
  if constexpr (C::kHandle == HandleUse::Opens) {
    if (loading.registering) {
      if (!call.handle || loading.opened.emplace(*call.handle, question.Key()).second) return true;
      *why = "handle " + std::to_string(*call.handle) + " opened twice";
      return false;
    }
  }
  loading.answers[question].push_back(std::move(call));
  return true;
}

using Reader = bool (*)(const JsonLine&, uint32_t, Loading&, std::string*);

// A reader for each kind of call the trace knows: every alternative of Call.
template <size_t... I>
std::map<std::string, Reader> Readers(std::index_sequence<I...>) {
  return {
      {std::variant_alternative_t<I, Call>::kName, ReadAs<std::variant_alternative_t<I, Call>>}...};
}

// Reads one line as the call it names.
bool ReadCall(const JsonLine& line, Loading& loading, std::string* why) {
  static const std::map<std::string, Reader> readers =
      Readers(std::make_index_sequence<std::variant_size_v<Call>>());
  std::string call;
  uint64_t error = 0;
  if (!line.Text("call", &call, why) || !line.Number("error", kDword, &error, why)) return false;
  auto reader = readers.find(call);
  if (reader != readers.end())
    return reader->second(line, static_cast<uint32_t>(error), loading, why);
  if (loading.registering) return true;
  *why = "unknown function \"" + call + "\"";
  return false;
}

// The trace's lines, each one flat JSON object; false with "line N: why" otherwise.
bool SplitLines(const std::string& text, std::vector<JsonLine>* lines, std::string* error) {
  for (size_t at = 0; at < text.size();) {
    const std::string where = "line " + std::to_string(lines->size() + 1) + ": ";
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) {
      *error = where + "cut short, without its line feed";
      return false;
    }
    if (end - at > kMostLineBytes || lines->size() > kMostCalls) {
      *error = where + (end - at > kMostLineBytes
                            ? "longer than " + std::to_string(kMostLineBytes) + " bytes"
                            : "more than " + std::to_string(kMostCalls) + " calls");
      return false;
    }
    std::string why;
    lines->emplace_back();
    if (!JsonLine::Parse(text.substr(at, end - at), &lines->back(), &why)) {
      *error = where + why;
      return false;
    }
    at = end + 1;
  }
  return true;
}

}  // namespace

std::unique_ptr<FieldTrace> FieldTrace::Load(const std::string& text, std::string* error) {
  std::vector<JsonLine> lines;
  if (!SplitLines(text, &lines, error)) return nullptr;
  // The first line names the program and the machine it ran on.
  std::string why, named;
  if (lines.empty()) {
    *error = "line 1: empty: no trace";
    return nullptr;
  }
  std::unique_ptr<FieldTrace> replay(new FieldTrace);
  if (!lines[0].Text("program", &named, &why) ||
      !lines[0].Text("windows", &replay->m_windows, &why)) {
    *error = "line 1: " + why;
    return nullptr;
  }
  // Without a format of its own, the trace is 1.02's.
  uint64_t format = kFirstFormat;
  if (!lines[0].Number("format", 1000, &format, &why)) format = kFirstFormat;
  replay->m_format = static_cast<uint32_t>(std::max<uint64_t>(format, kFirstFormat));
  Loading loading{{}, replay->m_answers};
  for (bool registering : {true, false}) {
    loading.registering = registering;
    for (size_t i = 1; i < lines.size(); ++i) {
      if (!ReadCall(lines[i], loading, &why)) {
        *error = "line " + std::to_string(i + 1) + ": " + why;
        return nullptr;
      }
    }
  }
  return replay;
}

}  // namespace trace
