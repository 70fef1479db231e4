// The logical sector size of a raw image, told by what the image itself shows: nothing in a
// raw file says it, and a 4Kn disk's table read in 512-byte sectors puts every partition in
// the wrong place.
#pragma once

#include <cstdint>
#include <optional>

#include "image/byte_source.h"

struct SectorSizeWitness {
  std::optional<uint32_t> bytes;  // the one size the witnesses name; none where none speaks
  bool disagree = false;          // they name more than one
};

// The witnesses: a file system at sector 0 names its own (XFS of 512-byte sectors: 512); else a GPT header's place (LBA 1
// of either size); else an MBR's entries, by what lies at the starts they give when read as
// if sectors were 512 bytes and as if 4096 (a file system naming its bytes per sector, or a
// file system's, swap's, LVM2's or LUKS's signature at its published place: ext2/3/4's
// 0xEF53 at byte 1080, XFS's XFSB at 0 with its sector size at 102, Btrfs's _BHRfS_M at
// 65600, SWAPSPACE2 at 4086, LABELONE in one of the first four 512-byte sectors, LUKS at
// 0, BitLocker's -FVE-FS- and ReFS at 3), and by their ends, which at too large a size run
// past the file's end.
SectorSizeWitness WitnessSectorSize(ByteSource& disk);
