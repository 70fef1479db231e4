// A disk's partition table read from its sectors, as Windows' disk driver reads it: MBR
// with its chain of logical partitions, or GPT. What it finds takes the form Windows' table
// request gives, so that the limits and the advice are those of the disks.
#pragma once

#include <optional>

#include "image/byte_source.h"
#include "disk/partition_table.h"

enum class GptHeaderRead {
  None,     // no GPT on the disk
  Primary,  // the header at LBA 1 and its entries hold their CRC-32s
  Backup,   // the primary did not; the backup at the disk's last sector did
  Neither,  // neither holds: no partition is listed
};

struct TableReading {
  std::optional<DriveLayout> layout;  // none where sector 0 could not be read
  GptHeaderRead gpt = GptHeaderRead::None;
  // Sector 0 is a file system's boot sector: the disk holds one volume and no table.
  bool fileSystemWithoutTable = false;
  // An MBR whose bytes 0-439 are not all zero: code BIOS runs to start the disk.
  bool bootCode = false;
};

// A sector that holds an MBR: signed 0x55 0xAA, and each entry active or not (0x80 or 0):
// anything else in that byte is no table, as Linux's reader of DOS labels rules.
bool IsMbr(const uint8_t* sector);

// Partitions are numbered as Windows numbers them: MBR's primaries 1 to 4 by their slot,
// its logical partitions from 5 in the chain's order; GPT's by entry, from 1.
TableReading ReadPartitionTable(ByteSource& disk, SectorSize sectorSize);
