// The space a disk's table leaves unallocated, region by region, and where the next
// partition made there can start: on the disk's grid, on 1 MiB, and where Windows' own
// tools would put it. A partition that ends on an odd sector leaves the space after it off
// the grid, and the next one made there is misaligned from birth.
#pragma once

#include <optional>
#include <vector>

#include "disk/disk.h"
#include "disk/grid.h"
#include "disk/units.h"

// Why no partition can be made in a region without changing the table.
enum class FreeBlock {
  None,
  TableFull,     // an MBR's four entries are used (outside its extended one), or every GPT entry
  PastMbrReach,  // past the 2^32 sectors an MBR's fields count: only GPT reaches it
  OtherVolumes,  // a dynamic disk's or a storage pool's: its free space lies in its database
  TooSmall,      // inside an extended container, no sector left after the record it needs
};

struct FreeRegion {
  SectorRange range;      // in the disk's logical sectors
  bool logical = false;   // inside MBR's extended container: a partition there needs a record
                          // (EBR) of its own first, so it starts a sector later at least
  bool head = false;      // before the first partition
  std::optional<bool> onGrid;  // its start on the grid; none where the disk has no grid
  bool onMiB = false;
  // The first start on the grid inside it, and the room left from there; none and 0 where
  // none fits. The same on 1 MiB.
  std::optional<Sectors> gridStart;
  Sectors gridRoom{0};
  std::optional<Sectors> mibStart;
  Sectors mibRoom{0};
  // Where a partition made by Windows' own tools would start: the next MiB on a disk over
  // 4 GB, the next 64 KiB below; a logical one 1 MiB after its record, which goes there.
  std::optional<Sectors> windowsStart;
  FreeBlock blocked = FreeBlock::None;
};

// Each unallocated region of the disk's table, in order: an MBR's gaps before, between and
// after its primaries and inside its extended container (each record's sector taken), and
// past its reach; a GPT's inside its usable area only. None where the disk has no table or
// its table's usable area is not known: no region is not the same as none found.
std::optional<std::vector<FreeRegion>> FreeRegions(const Disk& disk);

// The room a region must have at an aligned start to be worth a line of the text: 1 MiB.
bool WorthShowing(const FreeRegion& region, SectorSize size);
