// The one judge: whether the clusters of a partition, a piece of a volume, or a disk
// file's partition lie on its disk's grid.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "disk/disk.h"
#include "disk/units.h"
#include "disk/verdict.h"

// What is known of where a partition's clusters lie.
struct DataPlace {
  std::optional<Sectors> dataStart;  // its first cluster's sector on the disk; none: unknown
  Undetermined whyUnknown = Undetermined::DataAreaUnread;  // why there is no data start
  std::optional<uint64_t> clusterBytes;  // none where its clusters are not judged
};

struct Judgement {
  Verdict verdict = Verdict::Undetermined;
  Undetermined reason = Undetermined::None;  // why, where the verdict is undetermined
  // How far past the start of a physical sector the data start lies: 0 when it starts
  // one; none without a data start or a grid.
  std::optional<ByteCount> bytesPastPhysicalStart;
};

// Clusters smaller than the disk's unit are misaligned wherever they begin; else the data
// start is judged against the grid. Undetermined where the data start or the grid is
// missing, for that one's reason.
Judgement Judge(const Disk& disk, const DataPlace& place);
// Its clusters are smaller than the disk's unit: misaligned wherever they begin. False
// without a grid.
bool ClustersTooSmall(const Disk& disk, uint64_t clusterBytes);

// One piece of a volume, judged on its own disk.
struct PieceVerdict {
  std::optional<DiskNumber> disk;    // none when no disk was found to hold it
  Sectors start;                     // the piece's first sector on its disk
  std::optional<Sectors> dataStart;  // where the volume's clusters begin there
  // How far past the start of a physical sector the data start lies: 0 when it starts
  // one; none when there is no grid to judge by. The clusters can still be too small.
  std::optional<ByteCount> bytesPastPhysicalStart;
  Verdict verdict = Verdict::Undetermined;
  Undetermined reason = Undetermined::None;  // why, when the verdict is undetermined
};

// The volume's verdict: misaligned if any piece is; otherwise undetermined if any piece
// cannot be judged (or there is none); otherwise aligned.
Verdict VolumeVerdict(const std::vector<PieceVerdict>& pieces);
// Why the volume is undetermined: the reason of its first piece that could not be judged;
// None when its verdict is not undetermined.
Undetermined VolumeReason(const std::vector<PieceVerdict>& pieces);
