// What a traced call asks, as a value: the function and its terms (a path, an access, a
// request and its bytes, a position...). The replay answers a call by it, and tells it
// when the trace holds no answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trace {

using Bytes = std::vector<uint8_t>;

class Question {
 public:
  explicit Question(const char* call) : m_key(call), m_told(call) {}

  // Each adds one term, printed as `before`, its value, `after`.
  Question& Decimal(const char* before, int64_t value, const char* after = "") {
    return Add(before, std::to_string(value), after);
  }
  Question& Unsigned(const char* before, uint64_t value, const char* after = "") {
    return Add(before, std::to_string(value), after);
  }
  Question& MaybeDecimal(const char* before, const std::optional<int32_t>& value) {
    return Add(before, value ? std::to_string(*value) : "null", "");
  }
  Question& Hex(const char* before, uint64_t value);
  Question& Text(const char* before, const std::string& text, const char* after = "") {
    return Add(before, text, after);
  }
  // Request bytes: hex in the key, told by their count ("N bytes", "nothing" for none),
  // since they are long and say little.
  Question& Bytes(const char* before, const std::optional<trace::Bytes>& bytes);
  // `text` when set, nothing otherwise.
  Question& Flag(const char* text, bool set) { return Add(set ? text : "", "", ""); }

  // As the replay keys its answers, and as the console tells a question the trace holds
  // no answer for.
  const std::string& Key() const { return m_key; }
  const std::string& Told() const { return m_told; }
  bool operator<(const Question& other) const { return m_key < other.m_key; }

 private:
  Question& Add(const char* before, const std::string& value, const char* after,
                const std::string* told = nullptr);
  std::string m_key, m_told;
};

// Bytes as lower-case hex, two digits each: how a trace writes them.
std::string HexOf(const void* bytes, size_t size);

}  // namespace trace
