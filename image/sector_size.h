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

// The witnesses: a file system at sector 0 names its own; else a GPT header's place (LBA 1
// of either size); else an MBR's entries, by the boot sectors they point at when read as
// if sectors were 512 bytes and as if 4096 (each file system names its bytes per sector),
// and by their ends, which at too large a size run past the file's end.
SectorSizeWitness WitnessSectorSize(ByteSource& disk);
