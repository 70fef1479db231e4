#include "image/block_disk.h"

#include <algorithm>
#include <cstring>

bool BlockDisk::Read(uint64_t offset, uint8_t* out, size_t size) {
  if (!Inside(offset, size)) return false;
  for (size_t done = 0; done < size;) {
    const uint64_t at = offset + done;
    const uint64_t within = at % m_blockBytes;
    const auto part = static_cast<size_t>(std::min<uint64_t>(size - done, m_blockBytes - within));
    const Place place = Locate(at / m_blockBytes);
    if (!place.known) return false;
    if (!place.dataAt)
      std::memset(out + done, 0, part);
    else if (!m_file->Read(*place.dataAt + within, out + done, part))
      return false;
    done += part;
  }
  return true;
}
