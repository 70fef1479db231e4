// Container headers written for the tests that feed the image check hostile or unusual
// files: a field at a time, from qemu's qcow2.txt and VirtualBox's VDI header.
#pragma once

#include <cstring>
#include <functional>

#include "sim/machine.h"

inline void Be32(sim::Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
inline void Be64(sim::Bytes& b, size_t at, uint64_t v) {
  Be32(b, at, static_cast<uint32_t>(v >> 32));
  Be32(b, at + 4, static_cast<uint32_t>(v));
}
inline void Le32(sim::Bytes& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }
inline void Le64(sim::Bytes& b, size_t at, uint64_t v) { std::memcpy(&b[at], &v, 8); }

// A QCOW2 version 3 header of 64 KiB clusters over 64 MiB, its L1 table at 64 KiB, then
// `edit`; a VDI 1.1 header of one 1 MiB block, its map at 512, its data at 1024, then `edit`.
inline sim::Bytes Qcow2Header(const std::function<void(sim::Bytes&)>& edit) {
  sim::Bytes h(512, 0);
  std::memcpy(h.data(), "QFI\xfb", 4);
  Be32(h, 4, 3);
  Be32(h, 20, 16);
  Be64(h, 24, 64 << 20);
  Be32(h, 36, 1);
  Be64(h, 40, 65536);
  Be32(h, 100, 104);
  if (edit) edit(h);
  return h;
}
inline sim::Bytes VdiHeader(const std::function<void(sim::Bytes&)>& edit) {
  sim::Bytes h(512, 0);
  Le32(h, 0x40, 0xBEDA107F);
  Le32(h, 0x44, 0x00010001);
  Le32(h, 0x4C, 1);
  Le32(h, 0x154, 512);
  Le32(h, 0x158, 1024);
  Le64(h, 0x170, 1 << 20);
  Le32(h, 0x178, 1 << 20);
  Le32(h, 0x180, 1);
  if (edit) edit(h);
  return h;
}
