// What would align a misaligned volume or partition: where it should start, whether it
// still fits there, and the cluster size to format with.
#pragma once

#include <cstdint>
#include <optional>

struct DriveInfo;

struct Advice {
  std::optional<uint64_t> moveTo;       // the first start at or after today's that aligns it
  std::optional<uint64_t> moveBy;       // sectors later
  std::optional<uint64_t> moveByBytes;
  std::optional<uint64_t> moveToMiB;    // the first such start on a 1 MiB boundary
  std::optional<bool> fits;             // moved to moveTo, it still ends before what follows
  std::optional<uint64_t> shrinkBy;     // sectors it must give up to move, when it does not
  std::optional<uint64_t> clusterBytes; // the cluster size to format with
};

// What is known of a volume or partition for the advice.
struct AdviceFacts {
  uint64_t start = 0;                    // its partition's first sector
  std::optional<uint64_t> dataOffset;    // sectors from there to its data; none: not known
  std::optional<uint64_t> length;        // its partition's sectors
  std::optional<uint64_t> limit;         // the next partition's start, or the disk's usable end
  uint32_t bytesPerSector = 512;
  std::optional<uint64_t> clusterBytes;  // none for a partition without a volume to read
};

constexpr uint64_t kMiB = 1048576;  // where Windows starts partitions since Vista

// The advice for a misaligned volume or partition on `drive`; none when nothing it says
// would align it (no grid, nothing known of where its data lies).
std::optional<Advice> Advise(const AdviceFacts& facts, const DriveInfo& drive);
// The start lies on a 1 MiB boundary.
bool OnMiB(uint64_t start, uint32_t bytesPerSector);
