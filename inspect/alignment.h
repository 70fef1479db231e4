// Whether a volume lies on the physical-sector grid of its drive.
#pragma once

#include <cstdint>

#include "inspect/drive_info.h"
#include "inspect/volume_info.h"

// Verdict states: the state-image indexes of a report row.
enum { STATE_ALIGNED = 0, STATE_MISALIGNED = 1, STATE_UNKNOWN = 2 };

// volume: probed with code 3; dataStart: its GetDataStartSector(), determined; drive: the
// drive table entry of the volume's drive.
int GetAlignmentState(const CVolumeInfo& volume, uint64_t dataStart, const DriveInfo& drive);
