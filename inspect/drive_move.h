// A drive's move to the other logical sector size, from what the scan knows of it: Windows'
// layout (its partitions, their active marks, the disk's size) and each partition's recorded
// sector size, read from its volume. Its sector 0 is not read: booting through BIOS is told
// by an active MBR entry, a GPT BIOS boot partition or one marked legacy BIOS bootable.
#pragma once

#include <optional>

#include "disk/sector_size_move.h"
#include "inspect/drive_info.h"

// None for a drive without a table Windows gave, or whose size or sector size it did not
// say.
std::optional<SectorSizeMove> DriveSectorSizeMove(const DriveInfo& drive, bool toPhysical4Kn);
