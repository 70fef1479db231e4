// Positions on a disk, and disks, each as a type of its own: Windows gives positions in
// bytes; they become logical sectors once, with the drive's one logical sector size, and
// a sector count cannot pass for a byte offset, nor either for a disk's number.
#pragma once

#include <cstdint>

// The number the system gives a disk: \\.\PhysicalDriveN.
struct DiskNumber {
  constexpr explicit DiskNumber(uint32_t n) : value(n) {}
  uint32_t value;
  friend constexpr bool operator==(DiskNumber a, DiskNumber b) { return a.value == b.value; }
  friend constexpr bool operator!=(DiskNumber a, DiskNumber b) { return a.value != b.value; }
  friend constexpr bool operator<(DiskNumber a, DiskNumber b) { return a.value < b.value; }
};

// A count of bytes on a disk: where something begins, or how long it is, as Windows says it.
struct ByteCount {
  constexpr ByteCount() : value(0) {}
  constexpr explicit ByteCount(uint64_t n) : value(n) {}
  uint64_t value;
  friend constexpr bool operator==(ByteCount a, ByteCount b) { return a.value == b.value; }
  friend constexpr bool operator!=(ByteCount a, ByteCount b) { return a.value != b.value; }
  friend constexpr bool operator<(ByteCount a, ByteCount b) { return a.value < b.value; }
  friend constexpr bool operator<=(ByteCount a, ByteCount b) { return a.value <= b.value; }
  friend constexpr ByteCount operator+(ByteCount a, ByteCount b) { return ByteCount(a.value + b.value); }
};

// A count of logical sectors: a sector's number from the disk's start, or a length.
struct Sectors {
  constexpr Sectors() : value(0) {}
  constexpr explicit Sectors(uint64_t n) : value(n) {}
  uint64_t value;
  friend constexpr bool operator==(Sectors a, Sectors b) { return a.value == b.value; }
  friend constexpr bool operator!=(Sectors a, Sectors b) { return a.value != b.value; }
  friend constexpr bool operator<(Sectors a, Sectors b) { return a.value < b.value; }
  friend constexpr bool operator<=(Sectors a, Sectors b) { return a.value <= b.value; }
  friend constexpr bool operator>(Sectors a, Sectors b) { return a.value > b.value; }
  friend constexpr bool operator>=(Sectors a, Sectors b) { return a.value >= b.value; }
  // Wraps past the last sector number, as the unsigned counts do; callers check.
  friend constexpr Sectors operator+(Sectors a, Sectors b) { return Sectors(a.value + b.value); }
  friend constexpr Sectors operator-(Sectors a, Sectors b) { return Sectors(a.value - b.value); }
};

// A drive's logical sector size: the only way between bytes and sectors.
class SectorSize {
 public:
  constexpr explicit SectorSize(uint32_t bytes) : m_bytes(bytes) {}
  constexpr uint32_t Bytes() const { return m_bytes; }
  // The sector that holds byte `at` (whole sectors only, as Windows' offsets are).
  constexpr Sectors Of(ByteCount at) const { return Sectors(m_bytes != 0 ? at.value / m_bytes : 0); }
  constexpr ByteCount Of(Sectors n) const { return ByteCount(n.value * m_bytes); }
  friend constexpr bool operator==(SectorSize a, SectorSize b) { return a.m_bytes == b.m_bytes; }
  friend constexpr bool operator!=(SectorSize a, SectorSize b) { return a.m_bytes != b.m_bytes; }

 private:
  uint32_t m_bytes;
};
