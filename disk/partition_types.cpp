#include "disk/partition_types.h"

namespace {

//                         container, holds others, Windows volume, data, FAT, EFI system
constexpr PartitionType kUnknown = {nullptr, false, false, false, true, false, false};

struct GptEntry {
  const char* guid;
  PartitionType type;
};
const GptEntry kGpt[] = {
    {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", {"EFI system", false, false, true, true, true, true}},
    {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", {"Microsoft reserved", false, false, false, false, false, false}},
    {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", {"basic data", false, false, true, true, false, false}},
    {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", {"Windows recovery", false, false, true, true, false, false}},
    {"5808C8AA-7E8F-42E0-85D2-E1E90434CFB3", {"LDM metadata", false, true, false, false, false, false}},
    {"AF9B60A0-1431-4F62-BC68-3311714A69AD", {"LDM data", false, true, false, false, false, false}},
    {"E75CAF8F-F680-4CEE-AFA3-B001E56EFC2D", {"Storage Spaces", false, true, false, false, false, false}},
    {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", {"Linux file system", false, false, false, true, false, false}},
    {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", {"Linux swap", false, false, false, true, false, false}},
    {"E6D6D379-F507-44C2-A23C-238F2A3DF928", {"Linux LVM", false, false, false, true, false, false}},
    {"A19D880F-05FC-4D3B-A006-743F0F84911E", {"Linux RAID", false, false, false, true, false, false}},
    {"7C3457EF-0000-11AA-AA11-00306543ECAC", {"Apple APFS", false, false, false, true, false, false}},
    {"48465300-0000-11AA-AA11-00306543ECAC", {"Apple HFS+", false, false, false, true, false, false}},
};

struct MbrEntry {
  uint8_t byte;
  PartitionType type;
};
const MbrEntry kMbr[] = {
    {0x01, {"FAT12", false, false, true, true, true, false}},
    {0x04, {"FAT16", false, false, true, true, true, false}},
    {0x06, {"FAT16", false, false, true, true, true, false}},
    {0x0E, {"FAT16", false, false, true, true, true, false}},
    {0x0B, {"FAT32", false, false, true, true, true, false}},
    {0x0C, {"FAT32", false, false, true, true, true, false}},
    {0x07, {"NTFS/exFAT", false, false, true, true, false, false}},
    {0x27, {"Windows recovery", false, false, true, true, false, false}},
    {0x83, {"Linux", false, false, false, true, false, false}},
    {0x82, {"Linux swap", false, false, false, true, false, false}},
    {0x8E, {"Linux LVM", false, false, false, true, false, false}},
    {0x42, {"LDM", false, true, false, false, false, false}},
    {0xEE, {"protective GPT", false, false, false, true, false, false}},
    {0xEF, {"EFI system", false, false, false, true, true, true}},
    {0x05, {"extended", true, false, false, false, false, false}},
    {0x0F, {"extended", true, false, false, false, false, false}},
    {0x85, {"extended", true, false, false, false, false, false}},
};

}  // namespace

const PartitionType& MbrType(uint8_t type) {
  for (const MbrEntry& e : kMbr)
    if (e.byte == type) return e.type;
  return kUnknown;
}

const PartitionType& GptType(const std::string& guid) {
  for (const GptEntry& e : kGpt)
    if (guid == e.guid) return e.type;
  return kUnknown;
}
