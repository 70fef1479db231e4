// Whether a volume lies on the physical-sector grid of its drive.
#pragma once

#include <cstdint>

#include "inspect/drive_info.h"
#include "inspect/volume_info.h"

enum class Verdict { Aligned, Misaligned, Undetermined };

// volume: probed with code 3; dataStart: its GetDataStartSector(), determined; drive: the
// drive table entry of the volume's drive.
Verdict GetAlignmentState(const CVolumeInfo& volume, uint64_t dataStart, const DriveInfo& drive);
