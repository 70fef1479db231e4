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
    if (place.compressed) {
      const uint8_t* block = Inflated(*place.compressed);
      if (block == nullptr) return false;
      std::memcpy(out + done, block + within, part);
    } else if (place.parents && m_parent) {
      // A parent smaller than its child reads as zeros past its end.
      const uint64_t inParent =
          at < m_parent->Size() ? std::min<uint64_t>(part, m_parent->Size() - at) : 0;
      if (inParent > 0 && !m_parent->Read(at, out + done, static_cast<size_t>(inParent)))
        return false;
      std::memset(out + done + inParent, 0, part - static_cast<size_t>(inParent));
    } else if (!place.dataAt) {
      std::memset(out + done, 0, part);
    } else if (!m_file->Read(*place.dataAt + within, out + done, part))
      return false;
    done += part;
  }
  return true;
}

// A block is at most 2 MiB (a QCOW2's largest cluster, a VMDK's largest grain): its stream
// at most that, plus the rest of its last sector.
const uint8_t* BlockDisk::Inflated(const Compressed& c) {
  const uint64_t unit = c.unitBytes != 0 ? c.unitBytes : m_blockBytes;
  if (m_inflatedAt == c.at && m_inflated.size() == unit) return m_inflated.data() + c.within;
  m_inflatedAt.reset();
  constexpr uint64_t kMostBlock = 2u << 20;
  if (unit > kMostBlock || c.within + m_blockBytes > unit || c.bytes > kMostBlock + 512 ||
      c.at > m_file->Size())
    return nullptr;
  const uint64_t bytes = std::min<uint64_t>(c.bytes, m_file->Size() - c.at);
  std::vector<uint8_t> stream(static_cast<size_t>(bytes));
  m_inflated.assign(static_cast<size_t>(unit), 0);
  if (!m_file->Read(c.at, stream.data(), stream.size()) ||
      !Inflate(c.kind, stream.data(), stream.size(), m_inflated.data(), m_inflated.size()))
    return nullptr;
  m_inflatedAt = c.at;
  return m_inflated.data() + c.within;
}
