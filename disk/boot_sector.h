// Where a file system's clusters begin, read from its boot sector: FAT counts its reserved
// sectors, allocation tables and root directory; exFAT names its cluster heap. Every field
// comes from the disk, so each is checked before it is used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class BootFileSystem { Unknown, Fat, Exfat, Ntfs, Refs };

struct BootSector {
  BootFileSystem fileSystem = BootFileSystem::Unknown;
  // Sectors from the volume's first to its first cluster; none where the sector does not
  // say (an exFAT boot sector not valid for this sector size, say).
  std::optional<uint64_t> dataOffset;
  // Bytes per cluster, where the sector says (not for ReFS, whose boot sector this reader
  // does not take apart).
  std::optional<uint64_t> clusterBytes;
  // FAT: 12, 16 or 32.
  int fatBits = 0;
};

// FAT and exFAT keep their clusters past their allocation tables: only the boot sector says
// where they begin, and formatting again lays them out anew.
inline bool KeepsClustersPastTables(BootFileSystem fileSystem) {
  return fileSystem == BootFileSystem::Fat || fileSystem == BootFileSystem::Exfat;
}
// The file system a volume names ("FAT", "FAT32", "exFAT", "NTFS", "ReFS"); Unknown for
// any other name.
BootFileSystem FileSystemNamed(const std::string& name);

// "NTFS", "FAT12", "FAT16", "FAT32", "exFAT", "ReFS"; empty for an unknown one.
const char* FileSystemName(const BootSector& boot);

// The FAT data area of a boot sector the volume names FAT, `bytesPerSector` bytes long:
// the root directory takes whole sectors of 32-byte entries, whatever the sector size.
// None for a sector too short to hold the fields.
std::optional<uint64_t> FatDataAreaOffset(const uint8_t* boot, uint32_t bytesPerSector);
// exFAT's cluster heap (bytes 88-91, in sectors of 2^byte 108 bytes), taken only from a boot
// sector valid for this sector size and volume.
std::optional<uint64_t> ExfatDataAreaOffset(const uint8_t* boot, uint32_t bytesPerSector);

// The bytes per sector a boot sector of NTFS, FAT or exFAT names (512 to 4096), read from
// its first 512 bytes whatever sector size it was read at; none for any other sector.
std::optional<uint32_t> NamedSectorBytes(const uint8_t* boot);

// A partition's first sector, `bytesPerSector` bytes, told by its content: a FAT boot
// sector whose parameter block holds together, an exFAT or an NTFS one. NTFS and anything
// unknown keep their clusters from the partition's first sector on.
BootSector ReadBootSector(const uint8_t* boot, uint32_t bytesPerSector);

// What a file system records of the disk's sector: NTFS's, FAT's and exFAT's bytes per
// sector, XFS's sector size (big-endian u16 at byte 102), ext2/3/4's block size (which below
// 4096 cannot be mounted on a 4Kn device).
struct RecordedSize {
  std::string fileSystem;  // "NTFS", "FAT", "exFAT", "XFS", "ext"
  uint32_t bytes = 0;
  bool blockSize = false;  // ext's block, not a sector
};

// The size the file system at a partition's first bytes records; none where none is known.
// `bytes` holds at least 2048 of them (ext's superblock lies at 1024).
std::optional<RecordedSize> RecordedSectorSize(const uint8_t* first, size_t bytes);
// The same for a mounted volume, as Windows names its file system and its bytes per sector
// (which for NTFS, FAT and exFAT are their boot sector's); none for any other.
std::optional<RecordedSize> VolumeRecordedSize(const std::string& fileSystem, uint32_t bytesPerSector);
