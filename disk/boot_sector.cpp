#include "disk/boot_sector.h"

#include <cstring>

#include "disk/little_endian.h"

namespace {

constexpr uint32_t kBpbEnd = 40;  // the FAT fields read end before byte 40
constexpr uint32_t kRootEntryBytes = 32;

bool PowerOfTwo(uint32_t n) { return n != 0 && (n & (n - 1)) == 0; }

// A FAT parameter block that holds together: its sector size is this volume's, its
// clusters a power of two of sectors, and it has reserved sectors and allocation tables.
bool IsFat(const uint8_t* boot, uint32_t bytesPerSector) {
  if (bytesPerSector < 512 || (boot[0] != 0xEB && boot[0] != 0xE9)) return false;
  if (boot[510] != 0x55 || boot[511] != 0xAA) return false;
  const uint32_t fatSize = le::U16(boot + 22) != 0 ? le::U16(boot + 22) : le::U32(boot + 36);
  return le::U16(boot + 11) == bytesPerSector && PowerOfTwo(boot[13]) && le::U16(boot + 14) != 0 &&
         boot[16] != 0 && fatSize != 0 && std::memcmp(boot + 3, "NTFS    ", 8) != 0 &&
         std::memcmp(boot + 3, "EXFAT   ", 8) != 0;
}

bool SectorBytes(uint32_t n) { return n >= 512 && n <= 4096 && PowerOfTwo(n); }

}  // namespace

std::optional<uint32_t> NamedSectorBytes(const uint8_t* boot) {
  if (std::memcmp(boot + 3, "EXFAT   ", 8) == 0) {
    if (boot[108] < 9 || boot[108] > 12) return std::nullopt;
    return 1u << boot[108];
  }
  const uint32_t named = le::U16(boot + 11);
  if (!SectorBytes(named)) return std::nullopt;
  if (std::memcmp(boot + 3, "NTFS    ", 8) == 0) return named;
  if (IsFat(boot, named)) return named;
  return std::nullopt;
}

std::optional<uint64_t> FatDataAreaOffset(const uint8_t* boot, uint32_t bytesPerSector) {
  if (bytesPerSector < kBpbEnd) return std::nullopt;
  const uint16_t fatSize16 = le::U16(boot + 22);
  const uint32_t fatSize = fatSize16 != 0 ? fatSize16 : le::U32(boot + 36);
  const uint64_t reserved = le::U16(boot + 14);
  const uint64_t fats = boot[16];
  const uint64_t rootBytes = uint64_t{le::U16(boot + 17)} * kRootEntryBytes;
  const uint64_t rootSectors = (rootBytes + bytesPerSector - 1) / bytesPerSector;
  return reserved + fats * fatSize + rootSectors;
}

std::optional<uint64_t> ExfatDataAreaOffset(const uint8_t* boot, uint32_t bytesPerSector) {
  if (bytesPerSector < 512 || std::memcmp(boot + 3, "EXFAT   ", 8) != 0) return std::nullopt;
  const uint8_t shift = boot[108];
  if (shift < 9 || shift > 12 || (1u << shift) != bytesPerSector) return std::nullopt;
  const uint32_t heap = le::U32(boot + 88);
  const uint64_t volumeLength = le::U64(boot + 72);
  if (heap == 0 || heap >= volumeLength) return std::nullopt;
  return heap;
}

BootSector ReadBootSector(const uint8_t* boot, uint32_t bytesPerSector) {
  BootSector sector;
  if (bytesPerSector < 512) return sector;  // too short for any boot sector's fields
  if (std::memcmp(boot + 3, "EXFAT   ", 8) == 0) {
    sector.fileSystem = BootFileSystem::Exfat;
    sector.dataOffset = ExfatDataAreaOffset(boot, bytesPerSector);
    // Both shifts count from a byte: 2^(sector shift + cluster shift), at most 32 MiB.
    if (sector.dataOffset && boot[108] + boot[109] <= 25)
      sector.clusterBytes = uint64_t{1} << (boot[108] + boot[109]);
  } else if (IsFat(boot, bytesPerSector)) {
    sector.fileSystem = BootFileSystem::Fat;
    sector.dataOffset = FatDataAreaOffset(boot, bytesPerSector);
    sector.clusterBytes = uint64_t{bytesPerSector} * boot[13];
    const uint64_t total = le::U16(boot + 19) != 0 ? le::U16(boot + 19) : le::U32(boot + 32);
    const uint64_t clusters = sector.dataOffset && total > *sector.dataOffset
                                  ? (total - *sector.dataOffset) / boot[13]
                                  : 0;
    // FAT32 by its layout (no 16-bit table size), as the Linux and Windows drivers take it
    // whatever its count of clusters; else 12 or 16 by that count.
    sector.fatBits = le::U16(boot + 22) == 0 ? 32 : clusters < 4085 ? 12 : 16;
  } else if (std::memcmp(boot + 3, "NTFS    ", 8) == 0) {
    sector.fileSystem = BootFileSystem::Ntfs;
    sector.dataOffset = 0;
    // Sectors per cluster: a count up to 128; past it, 2 to the power of its negation in
    // sectors (0xF8 is 2^8 sectors, 128 KiB of 512-byte ones), as ntfs-3g reads it.
    const uint8_t perCluster = boot[13];
    const uint64_t sectorBytes = le::U16(boot + 11);
    if (perCluster != 0 && perCluster <= 0x80)
      sector.clusterBytes = sectorBytes * perCluster;
    else if (perCluster > 0x80 && 256 - perCluster <= 31)
      sector.clusterBytes = sectorBytes << (256 - perCluster);
    if (sector.clusterBytes && sectorBytes == 0) sector.clusterBytes.reset();
  } else {
    static const char kRefs[8] = {'R', 'e', 'F', 'S', 0, 0, 0, 0};
    sector.fileSystem =
        std::memcmp(boot + 3, kRefs, 8) == 0 ? BootFileSystem::Refs : BootFileSystem::Unknown;
    sector.dataOffset = 0;
  }
  return sector;
}

const char* FileSystemName(const BootSector& boot) {
  switch (boot.fileSystem) {
    case BootFileSystem::Fat:
      return boot.fatBits == 12 ? "FAT12" : boot.fatBits == 16 ? "FAT16" : "FAT32";
    case BootFileSystem::Exfat:
      return "exFAT";
    case BootFileSystem::Ntfs:
      return "NTFS";
    case BootFileSystem::Refs:
      return "ReFS";
    case BootFileSystem::Unknown:
      break;
  }
  return "";
}

BootFileSystem FileSystemNamed(const std::string& name) {
  if (name.compare(0, 3, "FAT") == 0) return BootFileSystem::Fat;
  if (name == "exFAT") return BootFileSystem::Exfat;
  if (name == "NTFS") return BootFileSystem::Ntfs;
  if (name == "ReFS") return BootFileSystem::Refs;
  return BootFileSystem::Unknown;
}

namespace {
constexpr size_t kExtMagic = 1024 + 56, kExtLogBlock = 1024 + 24;  // in ext's superblock
}  // namespace

std::optional<RecordedSize> RecordedSectorSize(const uint8_t* first, size_t bytes) {
  if (bytes < 512) return std::nullopt;
  if (const std::optional<uint32_t> named = NamedSectorBytes(first)) {
    const char* name = std::memcmp(first + 3, "NTFS    ", 8) == 0    ? "NTFS"
                       : std::memcmp(first + 3, "EXFAT   ", 8) == 0 ? "exFAT"
                                                                     : "FAT";
    return RecordedSize{name, *named, false};
  }
  if (std::memcmp(first, "XFSB", 4) == 0) {
    const uint32_t sector = uint32_t{first[102]} << 8 | first[103];
    if (PowerOfTwo(sector) && sector >= 512 && sector <= 32768) return RecordedSize{"XFS", sector, false};
    return std::nullopt;
  }
  if (bytes >= 2048 && le::U16(first + kExtMagic) == 0xEF53) {
    const uint32_t log = le::U32(first + kExtLogBlock);
    if (log <= 6) return RecordedSize{"ext", 1024u << log, true};
  }
  return std::nullopt;
}

std::optional<RecordedSize> VolumeRecordedSize(const std::string& fileSystem, uint32_t bytesPerSector) {
  switch (FileSystemNamed(fileSystem)) {
    case BootFileSystem::Ntfs: return RecordedSize{"NTFS", bytesPerSector, false};
    case BootFileSystem::Fat: return RecordedSize{"FAT", bytesPerSector, false};
    case BootFileSystem::Exfat: return RecordedSize{"exFAT", bytesPerSector, false};
    default: return std::nullopt;
  }
}
