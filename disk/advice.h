// What would align a misaligned volume or partition: where it should start, whether it
// still fits there, and whether to format it again.
#pragma once

#include <cstdint>
#include <optional>

#include "disk/units.h"

struct Disk;

// What moving a partition to a start leaves of it.
enum class Fit {
  Unknown,  // nothing says what follows it (no table, GPT's usable area unknown)
  Fits,     // it ends before what follows
  Shrinks,  // it fits once it gives up some sectors
  NoRoom,   // it would have to give up all of itself: the start lies on what follows
};

struct Room {
  Fit fit = Fit::Unknown;
  Sectors shrinkBy;  // with Fit::Shrinks
  // As the JSON says it: whether it fits (null where unknown), and the sectors to give up
  // (null where it fits, where that is unknown, or where there is no room).
  std::optional<bool> Fits() const {
    return fit == Fit::Unknown ? std::nullopt : std::optional<bool>(fit == Fit::Fits);
  }
  std::optional<Sectors> ShrinkBy() const {
    return fit == Fit::Shrinks ? std::optional<Sectors>(shrinkBy) : std::nullopt;
  }
};

struct Advice {
  std::optional<Sectors> moveTo;  // the first start at or after today's that aligns it
  std::optional<Sectors> moveBy;  // how far later that is
  std::optional<ByteCount> moveByBytes;
  Room moveToRoom;                   // what moving to moveTo leaves of it
  std::optional<Sectors> moveToMiB;  // the first such start on a 1 MiB boundary
  Room moveToMiBRoom;
  std::optional<uint64_t>
      clusterBytes;          // the cluster size to format with, where they are too small
  uint64_t clusterUnit = 0;  // the unit clusters are judged against, in bytes
  // The advice includes formatting it again: its clusters are smaller than the physical
  // sector, or its data area lies off the grid where no start on the grid would put it on.
  // Its moves then align the partition's start, which the new format lays its data from.
  bool format = false;
};

// What is known of a volume or partition for the advice, as Windows gives it: in bytes.
struct AdviceFacts {
  ByteCount start;                       // its partition's first byte
  std::optional<Sectors> dataOffset;     // from there to its data, as its file system counts
  std::optional<ByteCount> length;       // its partition's
  std::optional<ByteCount> limit;        // where what follows it begins; none: not known
  SectorSize sectorSize{512};            // the drive's: what the advice is counted in
  std::optional<uint64_t> clusterBytes;  // none where clusters are not judged
  // FAT and exFAT volumes: formatting lays the data area out anew, so formatting again may
  // align it. Not for an EFI system partition: Windows makes its clusters small on purpose.
  bool formatLaysDataArea = false;
};

constexpr uint64_t kMiB = 1048576;  // where Windows starts partitions since Vista

// The advice for a misaligned volume or partition on `disk`; none when nothing it says
// would align it (no grid, nothing known of where its data lies).
std::optional<Advice> Advise(const AdviceFacts& facts, const Disk& disk);
// What moving a partition of `length` sectors to `start` leaves of it, before `limit`.
Room RoomAt(Sectors start, std::optional<Sectors> length, std::optional<Sectors> limit);
// The start lies on a 1 MiB boundary.
bool OnMiB(Sectors start, SectorSize size);
// The largest power of two, in bytes, that divides `start`, up to 1 MiB (all a grid ever
// asks): what Get-Partition's Offset may be laid beside. 1 MiB for a start at 0.
uint64_t AlignedTo(ByteCount start);
