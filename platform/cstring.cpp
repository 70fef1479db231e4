#include "platform/cstring.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

CString CString::Mid(int first) const {
  if (first < 0) first = 0;
  if (static_cast<size_t>(first) >= m_text.size()) return CString();
  return CString(m_text.c_str() + first);
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(again);
    m_text.clear();
    return;
  }
  std::vector<char> buffer(static_cast<size_t>(needed) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, again);
  va_end(again);
  m_text.assign(buffer.data(), static_cast<size_t>(needed));
}
