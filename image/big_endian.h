// Big-endian fields of the VHD format's footer, header and block table.
#pragma once

#include <cstdint>

namespace be {

inline uint32_t U32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint64_t U64(const uint8_t* p) { return (static_cast<uint64_t>(U32(p)) << 32) | U32(p + 4); }

}  // namespace be
