#include "image/sector_size.h"

#include <cstring>
#include <set>

#include "image/disk_table.h"
#include "inspect/boot_sector.h"
#include "inspect/little_endian.h"
#include "inspect/partition_types.h"

namespace {

constexpr uint32_t kSizes[] = {512, 4096};
constexpr size_t kEntries = 446;

using Sector = uint8_t[512];

bool ReadAt(ByteSource& disk, uint64_t at, Sector out) { return disk.Read(at, out, 512); }

bool GptHeaderAt(ByteSource& disk, uint64_t at) {
  uint8_t signature[8];
  return disk.Read(at, signature, 8) && std::memcmp(signature, "EFI PART", 8) == 0;
}

}  // namespace

SectorSizeWitness WitnessSectorSize(ByteSource& disk) {
  SectorSizeWitness witness;
  Sector first;
  if (!ReadAt(disk, 0, first)) return witness;
  std::set<uint32_t> said;
  if (const std::optional<uint32_t> own = NamedSectorBytes(first)) {
    said.insert(*own);
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
      for (uint32_t size : kSizes) {
        Sector boot;
        if (ReadAt(disk, lba * size, boot) && NamedSectorBytes(boot) == size) said.insert(size);
      }
    }
    if (fitsAt512 && !fitsAt4096) said.insert(512);
  }
  if (said.size() == 1) witness.bytes = *said.begin();
  witness.disagree = said.size() > 1;
  return witness;
}
