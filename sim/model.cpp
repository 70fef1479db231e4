#include "sim/model.h"

#include <algorithm>

namespace sim {

Bytes ReadSparse(const std::map<uint64_t, Bytes>& sectors, uint32_t sectorSize, uint64_t offset,
                 size_t length) {
  Bytes out(length, 0);
  size_t done = 0;
  while (done < length) {
    const uint64_t at = offset + done;
    const uint64_t lba = at / sectorSize;
    const size_t within = static_cast<size_t>(at % sectorSize);
    const size_t chunk = std::min(length - done, static_cast<size_t>(sectorSize) - within);
    auto it = sectors.find(lba);
    if (it != sectors.end()) {
      const Bytes& s = it->second;
      for (size_t i = 0; i < chunk && within + i < s.size(); ++i) out[done + i] = s[within + i];
    }
    done += chunk;
  }
  return out;
}

void Cipher(uint64_t key, uint64_t volumeSector, Bytes& bytes) {
  // splitmix64 over (key, sector, word): a keystream that differs in every byte.
  for (size_t i = 0; i < bytes.size(); i += 8) {
    uint64_t z = key + 0x9E3779B97F4A7C15ull * (volumeSector * 0x10000 + i / 8 + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    for (size_t j = 0; j < 8 && i + j < bytes.size(); ++j)
      bytes[i + j] ^= static_cast<uint8_t>(z >> (8 * j));
  }
}

void Drive::WriteSector(uint64_t lba, const Bytes& content) {
  Bytes sector(sectorSize, 0);
  std::copy_n(content.begin(), std::min<size_t>(content.size(), sectorSize), sector.begin());
  sectors[lba] = sector;
}

Bytes Drive::ReadSector(uint64_t lba) const {
  return ReadSparse(sectors, sectorSize, lba * sectorSize, sectorSize);
}

}  // namespace sim
