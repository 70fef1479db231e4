#include "trace/trace_question.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace trace {

std::string HexOf(const void* bytes, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  const auto* b = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < size; ++i) {
    out += digits[b[i] >> 4];
    out += digits[b[i] & 15];
  }
  return out;
}

Question& Question::Add(const char* before, std::string value, const char* after) {
  m_terms.push_back({before, std::move(value), after, std::nullopt, false});
  return *this;
}

Question& Question::Decimal(const char* before, int64_t value, const char* after) {
  return Add(before, std::to_string(value), after);
}

Question& Question::Unsigned(const char* before, uint64_t value, const char* after) {
  return Add(before, std::to_string(value), after);
}

Question& Question::MaybeDecimal(const char* before, const std::optional<int32_t>& value) {
  return Add(before, value ? std::to_string(*value) : "null", "");
}

Question& Question::Hex(const char* before, uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return Add(before, text, "");
}

Question& Question::Text(const char* before, const std::string& text, const char* after) {
  return Add(before, text, after);
}

Question& Question::Bytes(const char* before, const std::optional<trace::Bytes>& bytes) {
  Add(before, bytes ? HexOf(bytes->data(), bytes->size()) : "null", "");
  m_terms.back().bytes = bytes ? bytes->size() : 0;
  m_terms.back().null = !bytes;
  return *this;
}

Question& Question::Flag(const char* text, bool set) { return Add(set ? text : "", "", ""); }

std::string Question::Print(bool told) const {
  std::string out = m_call;
  for (const Term& t : m_terms) {
    out += t.before;
    if (told && t.bytes)
      out += t.null ? "nothing" : std::to_string(*t.bytes) + " bytes";
    else
      out += t.value;
    out += t.after;
  }
  return out;
}

std::string Question::Key() const { return Print(false); }
std::string Question::Told() const { return Print(true); }

bool Question::operator<(const Question& other) const {
  if (const int c = std::strcmp(m_call, other.m_call)) return c < 0;
  return std::lexicographical_compare(m_terms.begin(), m_terms.end(), other.m_terms.begin(),
                                      other.m_terms.end(), [](const Term& a, const Term& b) {
                                        if (const int c = std::strcmp(a.before, b.before))
                                          return c < 0;
                                        return a.value < b.value;
                                      });
}

}  // namespace trace
