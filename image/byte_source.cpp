#include "image/byte_source.h"

#include "platform/sys.h"

FileSource::FileSource(const std::string& path) : m_file(path, GENERIC_READ, 0) {
  if (!m_file.IsOpen()) return;
  m_size = m_file.Size();
  if (!m_size) m_sizeError = sys::GetLastError();
}

bool FileSource::Read(uint64_t offset, uint8_t* out, size_t size) {
  if (!IsOpen() || !Inside(offset, size)) return false;
  // One request reads at most what a DWORD counts; the formats here ask far less.
  constexpr size_t kMostAtOnce = 1u << 30;
  for (size_t done = 0; done < size;) {
    const size_t part = std::min(size - done, kMostAtOnce);
    if (!m_file.ReadAt(offset + done, out + done, static_cast<DWORD>(part))) return false;
    done += part;
  }
  return true;
}
