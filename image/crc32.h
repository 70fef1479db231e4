// The two CRC-32s of the disk formats read here: IEEE's (GPT's header and entry array) and
// Castagnoli's, CRC-32C (VHDX's headers and region tables). Both reflected, starting from
// all ones and inverted at the end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace crc {

uint32_t Ieee(const uint8_t* data, size_t size);
uint32_t Castagnoli(const uint8_t* data, size_t size);

}  // namespace crc
