// A disk's partition table as Windows reports it (IOCTL_DISK_GET_DRIVE_LAYOUT_EX), and its
// size (IOCTL_DISK_GET_DRIVE_GEOMETRY_EX).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "disk/partition_table.h"
#include "platform/win32types.h"

// The table in `returned` bytes of the request's answer; none when it is no table. Each
// entry is checked: one past what came back ends the list, one that starts before the
// disk or ends past its size (when known) is left out (its start still bounds the one
// before it), as are unused entries and MBR extended containers.
std::optional<DriveLayout> ParseDriveLayout(const BYTE* answer, size_t returned,
                                            SectorSize sectorSize,
                                            std::optional<uint64_t> diskBytes);

class Device;
// What the geometry request says of a disk: its size and its logical sector size; each
// none where it did not answer or answered what cannot be.
struct DiskSize {
  std::optional<uint64_t> bytes;
  std::optional<uint32_t> bytesPerSector;
};
DiskSize AskDiskSize(Device& drive);
// Asks an open drive (any access) for its table, counted in sectors of bytesPerSector.
std::optional<DriveLayout> ReadDriveLayout(Device& drive, SectorSize sectorSize,
                                           std::optional<uint64_t> diskBytes);
