#include "trace/trace_question.h"

#include <cstdio>

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

Question& Question::Add(const char* before, const std::string& value, const char* after,
                        const std::string* told) {
  m_key += before + value + after;
  m_told += before + (told != nullptr ? *told : value) + after;
  return *this;
}

Question& Question::Hex(const char* before, uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return Add(before, text, "");
}

Question& Question::Bytes(const char* before, const std::optional<trace::Bytes>& bytes) {
  const std::string told = bytes ? std::to_string(bytes->size()) + " bytes" : "nothing";
  return Add(before, bytes ? HexOf(bytes->data(), bytes->size()) : "null", "", &told);
}

}  // namespace trace
