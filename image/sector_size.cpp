#include "image/sector_size.h"

#include <cstring>
#include <set>

#include "image/disk_table.h"
#include "disk/boot_sector.h"
#include "disk/little_endian.h"
#include "disk/partition_types.h"

namespace {

constexpr uint32_t kSizes[] = {512, 4096};
constexpr size_t kEntries = 446;

using Sector = uint8_t[512];

bool ReadAt(ByteSource& disk, uint64_t at, Sector out) { return disk.Read(at, out, 512); }

bool GptHeaderAt(ByteSource& disk, uint64_t at) {
  uint8_t signature[8];
  return disk.Read(at, signature, 8) && std::memcmp(signature, "EFI PART", 8) == 0;
}

bool BytesAt(ByteSource& disk, uint64_t at, const char* bytes, size_t length) {
  uint8_t got[16];
  return length <= sizeof got && disk.Read(at, got, length) && std::memcmp(got, bytes, length) == 0;
}


// Whether what lies at a partition's first bytes, `at` (its start counted in sectors of
// `size`), says the disk's sectors are of that size: a file system naming its sector size
// names `size` (NTFS, FAT, exFAT, BitLocker's BPB, ReFS), XFS's sector size is no smaller,
// or a signature stands at its published place in the partition (ext2/3/4, Btrfs, swap, an
// LVM2 label, LUKS), which a start counted in the other size would miss.
bool WitnessesAt(ByteSource& disk, uint64_t at, uint32_t size) {
  Sector boot;
  if (!ReadAt(disk, at, boot)) return false;
  if (NamedSectorBytes(boot) == size) return true;
  if (std::memcmp(boot + 3, "-FVE-FS-", 8) == 0) return le::U16(boot + 11) == size;
  if (std::memcmp(boot + 3, "ReFS\0\0\0\0", 8) == 0) return le::U32(boot + 32) == size;
  if (std::memcmp(boot, "XFSB", 4) == 0) {
    const std::optional<RecordedSize> xfs = RecordedSectorSize(boot, sizeof boot);
    return xfs && xfs->bytes >= size;
  }
  if (std::memcmp(boot, "LUKS\xBA\xBE", 6) == 0) return true;
  for (uint64_t label = 0; label < 4; ++label)
    if (BytesAt(disk, at + 512 * label, "LABELONE", 8)) return true;
  return BytesAt(disk, at + 1080, "\x53\xEF", 2) || BytesAt(disk, at + 65600, "_BHRfS_M", 8) ||
         BytesAt(disk, at + 4086, "SWAPSPACE2", 10);
}

}  // namespace

SectorSizeWitness WitnessSectorSize(ByteSource& disk) {
  SectorSizeWitness witness;
  Sector first;
  if (!ReadAt(disk, 0, first)) return witness;
  std::set<uint32_t> said;
  if (const std::optional<uint32_t> own = NamedSectorBytes(first)) {
    said.insert(*own);
  } else if (std::memcmp(first, "XFSB", 4) == 0) {
    // XFS's sector is never below the device's: one of 512 bytes was made on 512-byte sectors.
    const std::optional<RecordedSize> xfs = RecordedSectorSize(first, sizeof first);
    if (xfs && xfs->bytes == 512) said.insert(512);
  } else if (GptHeaderAt(disk, 512) || GptHeaderAt(disk, 4096)) {
    for (uint32_t size : kSizes)
      if (GptHeaderAt(disk, size)) said.insert(size);
  } else if (IsMbr(first)) {
    bool fitsAt512 = true, fitsAt4096 = true;
    for (int i = 0; i < 4; ++i) {
      const uint8_t* e = first + kEntries + 16 * i;
      const uint64_t lba = le::U32(e + 8), count = le::U32(e + 12);
      if (e[4] == 0 || count == 0) continue;
      fitsAt512 = fitsAt512 && (lba + count) * 512 <= disk.Size();
      fitsAt4096 = fitsAt4096 && (lba + count) * 4096 <= disk.Size();
      if (MbrType(e[4]).container) continue;
      for (uint32_t size : kSizes)
        if (WitnessesAt(disk, lba * size, size)) said.insert(size);
    }
    if (fitsAt512 && !fitsAt4096) said.insert(512);
  }
  if (said.size() == 1) witness.bytes = *said.begin();
  witness.disagree = said.size() > 1;
  return witness;
}
