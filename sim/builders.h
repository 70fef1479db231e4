// Real device content for the simulated machine: IDENTIFY DEVICE and INQUIRY data,
// FAT, exFAT and NTFS boot sectors.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/machine.h"

namespace sim {

// 256 little-endian words of IDENTIFY DEVICE data, texts padded with spaces, with a
// valid integrity word (signature 0xA5, checksum byte making the byte sum 0).
std::array<uint8_t, 512> BuildIdentify(const std::string& model, const std::string& serial,
                                       const std::string& firmware, uint16_t word106,
                                       uint16_t word209);
// Puts an ATA text into words starting at firstWord, width characters, raw (no padding).
void PutAtaText(std::array<uint8_t, 512>& data, int firstWord, int width, const std::string& text);
// Rewrites the integrity word after data was changed by hand.
void SealIdentify(std::array<uint8_t, 512>& data);

// 36 bytes of standard INQUIRY data for a direct-access device.
Bytes BuildInquiry(const std::string& vendor, const std::string& product);

struct FatParams {
  uint16_t bytesPerSector = 512;
  uint8_t sectorsPerCluster = 8;
  uint16_t reservedSectors = 1;
  uint8_t fats = 2;
  uint16_t rootEntries = 512;
  uint16_t fatSize16 = 0;  // 0 on FAT32
  uint32_t fatSize32 = 0;
  uint32_t hiddenSectors = 0;
  uint32_t totalSectors = 0;
};
Bytes BuildFatBootSector(const FatParams& p);
// FAT32 over `sectors` sectors as a formatter lays it out: the allocation tables sized for
// the clusters that remain after them (Microsoft's FAT32 sizing formula).
FatParams Fat32Layout(uint64_t sectors, uint8_t sectorsPerCluster, uint16_t reservedSectors,
                      uint16_t bytesPerSector = 512);
// serial: the volume serial number, which differs between any two formatted volumes.
Bytes BuildNtfsBootSector(uint16_t bytesPerSector, uint8_t sectorsPerCluster,
                          uint32_t hiddenSectors, uint64_t serial = 0x5EED5EED5EED5EEDull);
Bytes BuildExfatBootSector(uint8_t bytesPerSectorShift, uint8_t sectorsPerClusterShift,
                           uint64_t partitionOffset, uint32_t clusterHeapOffset = 4096,
                           uint64_t volumeLength = 0x1000000);

// Where a formatted volume lies and what it holds: its letter (or its volume name and
// the folders it is mounted in), its drive and first sector there, its file system and
// boot sector.
struct VolumeLayout {
  char letter = 'C';  // 0: a volume without a letter, by its volume name
  std::string volumeName;
  std::vector<std::string> mountPaths;
  uint32_t drive = 0;
  uint64_t startSector = 2048;
  std::string fileSystem = "NTFS";
  Bytes bootSector;
  uint32_t sectorsPerCluster = 8;
  UINT type = DRIVE_FIXED;
  PartitionTable table = PartitionTable::Mbr;
  uint64_t encryptionKey = 0;  // nonzero: the drive holds the boot sector enciphered
  // Its entry in the drive's table: the type (MBR: 0 for the file system's usual byte;
  // GPT: empty for basic data), its length in sectors (0: up to the next partition), and
  // whether it is a logical partition of an MBR extended container.
  uint8_t mbrType = 0;
  std::string gptType;
  uint64_t sectors = 0;
  bool logical = false;
  bool active = false;  // MBR: marked active
  // A dynamic volume: its pieces in order, the first holding the boot sector (`drive` and
  // `startSector` are then unused). It answers no device number; on a GPT disk it answers
  // neither partition request, on an MBR disk the old one, with its first piece's start.
  struct Piece {
    uint32_t disk;
    uint64_t startSector;
    uint64_t sectors;
  };
  std::vector<Piece> pieces;
};
// Writes the volume onto its drive and gives it its letter or its folders: a fixed volume
// whose device reads that part of the drive. A volume in one piece also gets its entry in
// the drive's table.
void PlaceVolume(Machine& machine, const VolumeLayout& v);
// A partition that holds no Windows volume, in drive `drive`'s table of the given style.
void AddPartition(Machine& machine, uint32_t drive, PartitionTable style,
                  const PartitionEntry& entry);

// The GPT partition types the lab uses.
namespace gpt {
constexpr char kEfiSystem[] = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";
constexpr char kMsReserved[] = "E3C9E316-0B5C-4DB8-817D-F92DF00215AE";
constexpr char kRecovery[] = "DE94BBA4-06D1-4D40-A16A-BFD50179D6AC";
constexpr char kLdmMetadata[] = "5808C8AA-7E8F-42E0-85D2-E1E90434CFB3";
constexpr char kLdmData[] = "AF9B60A0-1431-4F62-BC68-3311714A69AD";
constexpr char kStorageSpaces[] = "E75CAF8F-F680-4CEE-AFA3-B001E56EFC2D";
constexpr char kLinuxFileSystem[] = "0FC63DAF-8483-4772-8E79-3D69D8477DE4";
constexpr char kLinuxSwap[] = "0657FD6D-A4AB-43C4-84E5-0933C84B4F4F";
}  // namespace gpt

// A drive that opens and answers IDENTIFY with these texts and geometry words; where word
// 106 says the logical sector is longer than 256 words, words 117-118 give sectorSize.
void AddAtaDrive(Machine& machine, uint32_t index, const std::string& model, const std::string& serial,
                 const std::string& firmware, uint16_t word106, uint16_t word209,
                 uint32_t sectorSize = 512);

// What kind of disk a drive is, as it and its storage stack say it: a hard disk (a seek
// penalty, no TRIM, its rotation rate in identity word 217) or an SSD (no seek penalty,
// TRIM, word 217 of 1 and word 169 bit 0); an ATA identity, where the drive has one, says
// it too. `stackAnswers` false: the stack answers neither property (an older driver).
void SetMedia(Drive& drive, bool ssd, bool stackAnswers = true);

// A drive that gives no ATA identity (NVMe, USB, SAS): SMART fails, INQUIRY answers with
// vendor and product, and the storage stack reports its sector geometry.
void AddStorageDrive(Machine& machine, uint32_t index, const std::string& vendor,
                     const std::string& product, DWORD logical, DWORD physical, DWORD offset = 0);

}  // namespace sim
