#include "image/crc32.h"

#include <array>

namespace crc {

namespace {

using Table = std::array<uint32_t, 256>;

constexpr Table MakeTable(uint32_t polynomial) {
  Table table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ polynomial : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr Table kIeee = MakeTable(0xEDB88320u);        // 0x04C11DB7 reflected
constexpr Table kCastagnoli = MakeTable(0x82F63B78u);  // 0x1EDC6F41 reflected

uint32_t Run(const Table& table, const uint8_t* data, size_t size) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace

uint32_t Ieee(const uint8_t* data, size_t size) { return Run(kIeee, data, size); }
uint32_t Castagnoli(const uint8_t* data, size_t size) { return Run(kCastagnoli, data, size); }

}  // namespace crc
