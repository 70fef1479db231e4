// Whether a volume lies on the physical-sector grid of its drive, piece by piece.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "inspect/drive_info.h"
#include "inspect/verdict.h"
#include "inspect/volume_info.h"

// volume: probed with code 3; dataStart: its GetDataStartSector(), determined; drive: the
// drive table entry of the volume's drive.
Verdict GetAlignmentState(const CVolumeInfo& volume, uint64_t dataStart, const DriveInfo& drive);
// The volume's clusters are smaller than the unit its drive writes atomically (the physical
// sector, at most 4 KiB): misaligned wherever they begin. False without a grid.
bool ClustersTooSmall(const CVolumeInfo& volume, const DriveInfo& drive);
// The same rule for a start alone, where no cluster size is known: only the grid counts.
Verdict StartVerdict(Sectors start, const DriveInfo& drive);
// Why a drive gives no grid to judge by: it reported none, or one that cannot be.
Undetermined WhyNoGrid(const DriveInfo& drive);

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

// Every piece of a placed volume, judged against the drive table.
std::vector<PieceVerdict> JudgePieces(const CVolumeInfo& volume, const DriveTable& drives);
// The volume's verdict: misaligned if any piece is; otherwise undetermined if any piece
// cannot be judged (or there is none); otherwise aligned.
Verdict VolumeVerdict(const std::vector<PieceVerdict>& pieces);
// Why the volume is undetermined: the reason of its first piece that could not be judged;
// None when its verdict is not undetermined.
Undetermined VolumeReason(const std::vector<PieceVerdict>& pieces);
