#include "disk/partition_table.h"

#include <algorithm>
#include <cstdio>

#include "disk/disk.h"
#include "disk/little_endian.h"
#include "disk/partition_types.h"

std::string GuidText(const uint8_t* g) {
  char text[37];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", le::U32(g),
                g[4] | (g[5] << 8), g[6] | (g[7] << 8), g[8], g[9], g[10], g[11], g[12], g[13],
                g[14], g[15]);
  return text;
}

const PartitionType& TypeOf(const Partition& partition) {
  return partition.mbrType ? MbrType(*partition.mbrType) : GptType(partition.gptType);
}

std::string PartitionTypeName(const Partition& partition) {
  if (const char* name = TypeOf(partition).name) return name;
  if (!partition.mbrType) return "unknown";
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(*partition.mbrType));
  return hex;
}

bool HoldsOtherVolumes(const Partition& partition) { return TypeOf(partition).holdsOtherVolumes; }
bool WindowsMakesVolume(const Partition& partition) { return TypeOf(partition).windowsMakesVolume; }
bool HasDataToAlign(const Partition& partition) { return TypeOf(partition).hasDataToAlign; }
bool HoldsFat(const Partition& partition) { return TypeOf(partition).holdsFat; }
bool IsEfiSystem(const Partition& partition) { return TypeOf(partition).efiSystem; }

std::optional<ByteCount> MoveLimit(const DriveLayout& layout, const Partition& partition) {
  std::optional<ByteCount> limit = partition.containerEnd;
  const auto next = std::upper_bound(layout.starts.begin(), layout.starts.end(), partition.start);
  if (next != layout.starts.end() && (!limit || *next < *limit)) limit = *next;
  // Past the last partition only the usable end bounds it; where that is unknown, so is
  // the room.
  if (layout.usableEnd && (!limit || *layout.usableEnd < *limit)) limit = layout.usableEnd;
  return limit;
}

std::optional<Advice> AdvisePartition(const Disk& disk, const Partition& partition,
                                      std::optional<uint64_t> clusterBytes,
                                      bool formatLaysDataArea) {
  AdviceFacts facts;
  facts.start = partition.start;
  facts.dataOffset = partition.dataOffset;
  facts.length = partition.length;
  if (disk.layout != nullptr) facts.limit = MoveLimit(*disk.layout, partition);
  facts.sectorSize = disk.sectorSize;
  facts.clusterBytes = clusterBytes;
  facts.formatLaysDataArea = formatLaysDataArea;
  return Advise(facts, disk);
}
