#include "trace/trace_calls.h"

#include <climits>

namespace trace {

bool FieldReader::Field(const char* key, bool& value) {
  uint64_t number = 0;
  if (!m_line.Number(key, 1, &number, m_error)) return false;
  value = number != 0;
  return true;
}

bool FieldReader::Field(const char* key, uint32_t& value, uint64_t max) {
  uint64_t wide = 0;
  if (!m_line.Number(key, max, &wide, m_error)) return false;
  value = static_cast<uint32_t>(wide);
  return true;
}

bool FieldReader::Field(const char* key, uint64_t& value) {
  return m_line.Number(key, ~uint64_t{0}, &value, m_error);
}

bool FieldReader::Field(const char* key, int32_t& value) {
  int64_t wide = 0;
  if (!m_line.Signed(key, INT32_MIN, INT32_MAX, &wide, m_error)) return false;
  value = static_cast<int32_t>(wide);
  return true;
}

bool FieldReader::On(const char* key, uint64_t& handle) {
  if (!Field(key, handle)) return false;
  if (m_opened.count(handle) != 0) return true;
  *m_error = "handle " + std::to_string(handle) + " was never opened";
  return false;
}

bool FieldReader::Agree(bool agree, const char* why) {
  if (!agree) *m_error = why;
  return agree;
}

}  // namespace trace
