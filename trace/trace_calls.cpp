#include "trace/trace_calls.h"

#include <climits>

namespace trace {

bool FieldWriter::Text(const char* key, const std::string& value) {
  m_json.Key(key);
  m_json.String(value);
  return true;
}

bool FieldWriter::Hex(const char* key, const Bytes& value, size_t) {
  // Hex digits need no escape: a string of them is written as it is.
  m_json.Key(key);
  m_json.String(HexOf(value.data(), value.size()));
  return true;
}

bool FieldWriter::Null(const char* key) {
  m_json.Key(key);
  m_json.Null();
  return true;
}

bool FieldReader::Number(const char* key, uint32_t& value, uint64_t max) {
  uint64_t wide = 0;
  if (!m_line.Number(key, max, &wide, m_error)) return false;
  value = static_cast<uint32_t>(wide);
  return true;
}

bool FieldReader::Number64(const char* key, uint64_t& value) {
  return m_line.Number(key, ~uint64_t{0}, &value, m_error);
}

bool FieldReader::Signed(const char* key, int32_t& value) {
  int64_t wide = 0;
  if (!m_line.Signed(key, INT32_MIN, INT32_MAX, &wide, m_error)) return false;
  value = static_cast<int32_t>(wide);
  return true;
}

bool FieldReader::Flag(const char* key, bool& value) {
  uint64_t number = 0;
  if (!m_line.Number(key, 1, &number, m_error)) return false;
  value = number != 0;
  return true;
}

bool FieldReader::On(const char* key, uint64_t& handle) {
  if (!Number64(key, handle)) return false;
  if (m_opened.count(handle) != 0) return true;
  *m_error = "handle " + std::to_string(handle) + " was never opened";
  return false;
}

bool FieldReader::MaybeNumber(const char* key, std::optional<uint32_t>& value) {
  value.reset();
  if (m_line.IsNull(key)) return true;
  value.emplace();
  return Number(key, *value);
}

bool FieldReader::MaybeSigned(const char* key, std::optional<int32_t>& value) {
  value.reset();
  if (m_line.IsNull(key)) return true;
  value.emplace();
  return Signed(key, *value);
}

bool FieldReader::MaybeHex(const char* key, std::optional<Bytes>& value, size_t max) {
  value.reset();
  if (m_line.IsNull(key)) return true;
  value.emplace();
  return Hex(key, *value, max);
}

bool FieldReader::Opened(const char* key, std::optional<uint64_t>& handle) {
  handle.reset();
  if (m_line.IsNull(key)) return true;
  handle.emplace();
  return Number64(key, *handle);
}

bool FieldReader::Agree(bool agree, const char* why) {
  if (!agree) *m_error = why;
  return agree;
}

}  // namespace trace
