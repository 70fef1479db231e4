// Whether a volume lies on the physical-sector grid of its drive, piece by piece.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "disk/judge.h"
#include "disk/verdict.h"
#include "inspect/drive_info.h"
#include "inspect/volume_info.h"
#include "inspect/windows_view.h"

// volume: probed with code 3; dataStart: its GetDataStartSector(), determined; drive: the
// drive table entry of the volume's drive. The window's entry to the judge (disk/judge.h).
Verdict GetAlignmentState(const CVolumeInfo& volume, uint64_t dataStart, const DriveInfo& drive);
// The volume's clusters are smaller than the unit its drive writes atomically (the physical
// sector, at most 4 KiB): misaligned wherever they begin. False without a grid.
bool ClustersTooSmall(const CVolumeInfo& volume, const DriveInfo& drive);

// Every piece of a placed volume, judged against the drive table.
std::vector<PieceVerdict> JudgePieces(const CVolumeInfo& volume, const DriveTable& drives);

// What Tessarel weighs in a volume that Windows' own view does not (windows_view.h).
WindowsUnweighed Unweighed(const CVolumeInfo& volume, const std::vector<PieceVerdict>& pieces,
                           const DriveTable& drives);
