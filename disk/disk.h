// One disk as the judge sees it, whichever reader found it: a drive of this machine or the
// guest of a disk file. Its unit and its grid are kept once per disk, as GNU parted's
// PedAlignment and util-linux's libfdisk context keep one unit and one alignment per device.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "disk/grid.h"
#include "disk/units.h"
#include "disk/verdict.h"

struct DriveLayout;

// The unit the file system writes atomically, against which clusters are judged: the
// physical sector, at most 4096 bytes (Windows' FileSystemEffectivePhysicalBytesPerSector-
// ForAtomicity), never less than the logical sector. NVMe drives report their own unit of
// 8, 16 or 32 KiB as the physical sector on Windows 11; NTFS still writes 4 KiB.
constexpr uint64_t kMostAtomicWrite = 4096;

struct Disk {
  SectorSize sectorSize{0};  // its logical sector; 0 where nothing said one
  // The sectors that begin a physical sector (or the grid a disk file's host writes in);
  // none where nothing can be judged by one, for `noGrid`'s reason.
  std::optional<Alignment> grid;
  Undetermined noGrid = Undetermined::NoGrid;
  const DriveLayout* layout = nullptr;  // its partition table, where one was read

  // Every sector starts a physical one (4Kn, 512n): any start is on the grid.
  bool EverySectorOnGrid() const { return grid && grid->Grain() == 1; }
  // The bytes of one step of the grid; 0 without a grid.
  uint64_t PhysicalBytes() const { return grid ? uint64_t{sectorSize.Bytes()} * grid->Grain() : 0; }
  // The unit clusters are judged against (kMostAtomicWrite): computed here only.
  uint64_t ClusterUnitBytes() const {
    const uint64_t capped = std::min(PhysicalBytes(), kMostAtomicWrite);
    return std::max<uint64_t>(capped, sectorSize.Bytes());
  }
};
