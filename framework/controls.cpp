#include "framework/controls.h"

#include <cstring>

bool CSharedFile::Write(const void* data, size_t bytes) {
  const size_t needed = m_size + bytes;
  if (needed >= m_capacity) {
    // The smallest multiple of the step above what is needed: a zero byte stays after it.
    const size_t capacity = (needed / m_grow + 1) * m_grow;
    HGLOBAL block = m_hGlobal ? ::GlobalReAlloc(m_hGlobal, capacity, m_flags)
                              : ::GlobalAlloc(m_flags, capacity);
    if (block == nullptr) return false;
    m_hGlobal = block;
    m_capacity = capacity;
  }
  auto* base = static_cast<char*>(::GlobalLock(m_hGlobal));
  if (base == nullptr) return false;
  std::memcpy(base + m_size, data, bytes);
  ::GlobalUnlock(m_hGlobal);
  m_size = needed;
  return true;
}
