// Ties each partition of the listed drives to what Windows shows on it, once the last
// volume is examined, and judges the partitions that have no row.
#pragma once

#include <string>
#include <vector>

#include "inspect/access_mode.h"
#include "inspect/drive_info.h"
#include "inspect/volume_info.h"

// A volume Windows lists and where its pieces start: what a partition is tied by.
struct PlacedVolume {
  PartitionHolds holds = PartitionHolds::Row;  // Row, NoPath, NotExamined or NotFixed
  std::string volumeName;
  std::string row;  // its row's name; for NotExamined, the name it is listed under
  Verdict verdict = Verdict::Undetermined;
  ProbeFailure failure = ProbeFailure::None;
  uint32_t error = 0;
  std::vector<VolumeExtent> pieces;
  std::optional<RecordedSize> recorded;  // what its file system records of the sector
};

// Each partition is the volume's whose piece starts on its disk at its first byte. Where
// some volume could not be placed (allPlaced false), a partition of a type Windows makes
// volumes of may be that one's. A partition without a row is judged where its data begins,
// read through Windows' volume on it as `mode` allows; a misaligned one gets its advice.
void TiePartitions(DriveTable& drives, const std::vector<PlacedVolume>& placed, bool allPlaced,
                   AccessMode mode);

// The same in steps of one unit of device work, for the window's ticks: tying asks no
// device, and judges at once each partition whose judging reads nothing; it returns those
// whose boot sector is read through their volume, which JudgeTied then judges one by one.
struct TiedPartition {
  DiskNumber disk;
  size_t index;  // in its drive's table
};
std::vector<TiedPartition> TieWithoutReading(DriveTable& drives,
                                             const std::vector<PlacedVolume>& placed,
                                             bool allPlaced, AccessMode mode);
void JudgeTied(DriveTable& drives, const TiedPartition& partition, AccessMode mode);
