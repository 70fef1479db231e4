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
  explicit Question(const char* call) : m_call(call) {}

  // Each adds one term, printed as `before`, its value, `after`.
  Question& Decimal(const char* before, int64_t value, const char* after = "");
  Question& Unsigned(const char* before, uint64_t value, const char* after = "");
  Question& MaybeDecimal(const char* before, const std::optional<int32_t>& value);
  Question& Hex(const char* before, uint64_t value);
  Question& Text(const char* before, const std::string& text, const char* after = "");
  // Request bytes: hex in the key, "N bytes" when told; "null" and "nothing" without.
  Question& Bytes(const char* before, const std::optional<trace::Bytes>& bytes);
  // `text` when set, nothing otherwise.
  Question& Flag(const char* text, bool set);

  // As the replay keys its answers: every term in full.
  std::string Key() const;
  // As the console tells a question the trace holds no answer for: request bytes by
  // their count, since they are long and say little.
  std::string Told() const;

  bool operator<(const Question& other) const;

 private:
  struct Term {
    const char* before;
    std::string value;  // as the key prints it
    const char* after;
    std::optional<size_t> bytes;  // a request's byte count; empty for other terms
    bool null;
  };
  Question& Add(const char* before, std::string value, const char* after);
  std::string Print(bool told) const;

  const char* m_call;
  std::vector<Term> m_terms;
};

// Bytes as lower-case hex, two digits each: how a trace writes them.
std::string HexOf(const void* bytes, size_t size);

}  // namespace trace
