// What a partition's type says of it, in one table: its name, whether it holds other
// volumes, whether Windows makes a volume of it, whether it has data to align, whether its
// file system is FAT. The report's decisions read these, never the names.
#pragma once

#include <cstdint>
#include <string>

struct PartitionType {
  const char* name;         // nullptr: a type the table does not know
  bool container;           // MBR's extended container or a link: no partition at all
  bool holdsOtherVolumes;   // LDM and Storage Spaces: their volumes are judged by their pieces
  bool windowsMakesVolume;  // of any other type Windows makes no volume
  bool hasDataToAlign;      // Microsoft reserved and the containers have none
  bool holdsFat;            // its clusters begin past its allocation tables
  bool efiSystem;           // its FAT clusters are small on purpose: never judged, never formatted
};

// The type of an MBR entry's byte; of a GPT entry's type GUID, upper case with dashes.
const PartitionType& MbrType(uint8_t type);
const PartitionType& GptType(const std::string& guid);
