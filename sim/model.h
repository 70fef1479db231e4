// What the simulated machine holds: its drives with their sectors and answers, its volumes,
// its files, who runs the program, and each call it was asked, described as the devices
// and Windows give them. The machine (machine.h) answers from these.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32types.h"

namespace sim {

using Bytes = std::vector<uint8_t>;

// How an open of a device ends.
enum class Open {
  Ok,                // opens for reading and writing
  ReadOnly,          // opens for reading; asking for write access is denied
  AccessDenied,      // every open is denied
  NotFound,          // there is no such device
  SharingViolation,  // held open elsewhere without sharing
};

// How a drive answers SMART_RCV_DRIVE_DATA with the IDENTIFY DEVICE command.
struct SmartAnswer {
  enum Kind {
    Unsupported,     // fails, 0 bytes returned
    Identify,        // succeeds with the 512 bytes below
    FailWithBytes,   // fails but reports bytes returned
    SucceedNoBytes,  // succeeds, 0 bytes returned
  } kind = Unsupported;
  std::array<uint8_t, 512> data{};
  DWORD returned = 528;  // the count reported for Identify and FailWithBytes
  BYTE driverError = 0;  // DRIVERSTATUS.bDriverError of a successful answer
};

// How a drive answers a SCSI INQUIRY through IOCTL_SCSI_PASS_THROUGH.
struct ScsiAnswer {
  bool supported = false;  // false: the request fails
  Bytes inquiry;           // standard INQUIRY data
  DWORD returned = 98;     // the returned-byte count it reports
  UCHAR status = 0;        // ScsiStatus: 0 GOOD, 2 CHECK CONDITION, ...
};

// How a drive answers IOCTL_STORAGE_QUERY_PROPERTY for StorageAccessAlignmentProperty:
// the storage stack's view of its sectors (NVMe, SAS and most drives behind newer
// drivers answer; many USB bridges do not).
struct AlignmentAnswer {
  bool supported = false;  // false: the request fails
  DWORD logical = 512;     // BytesPerLogicalSector
  DWORD physical = 512;    // BytesPerPhysicalSector
  DWORD offset = 0;        // BytesOffsetForSectorAlignment
  DWORD size = 28;         // the descriptor's own Size field
  DWORD returned = 28;     // the returned-byte count it reports, at most what it copied
};

// How a drive answers IOCTL_STORAGE_QUERY_PROPERTY for StorageDeviceProperty: the texts
// its driver keeps, each ended by a zero byte after the fixed part; an empty one is given
// no offset (ATA disks name no vendor).
struct DescriptorAnswer {
  bool supported = false;  // false: the request fails
  std::string vendor, product, revision, serial;
};

enum class PartitionTable { Mbr, Gpt };

// One partition in a drive's table.
struct PartitionEntry {
  uint64_t start = 0;   // sectors
  uint64_t length = 0;  // sectors; 0: up to the next partition, at most 1 GiB
  uint8_t mbrType = 0x07;
  std::string gptType;   // the type GUID as text; the basic-data type when empty
  bool logical = false;  // MBR: inside the extended container
  bool active = false;   // MBR: marked active, BIOS's partition to start
};

// How a drive answers IOCTL_DISK_GET_DRIVE_LAYOUT_EX: a disk with no table is RAW. MBR
// answers come in fours, with the unused entries, the extended container and, for each
// logical partition, the link to the next one; a buffer too small for the whole table
// fails with ERROR_INSUFFICIENT_BUFFER and says nothing of the size it needs.
struct LayoutAnswer {
  bool supported = true;
  bool hasTable = false;
  PartitionTable style = PartitionTable::Mbr;
  std::vector<PartitionEntry> partitions;
  DWORD claimedCount = 0;  // the count the answer states, whatever it lists; 0: the true one
  // GPT: the disk's size in sectors when its table was written. A LUN grown since keeps its
  // backup table, and so its usable area, where they were until the table is written
  // again; 0: the disk's size.
  uint64_t gptWrittenFor = 0;
};

struct Drive {
  Open open = Open::NotFound;
  // IOCTL_STORAGE_QUERY_PROPERTY for StorageDeviceSeekPenaltyProperty and
  // StorageDeviceTrimProperty: what the storage stack says; none where it answers neither
  // (older stacks, some bridges).
  std::optional<bool> seekPenalty;
  std::optional<bool> trimEnabled;
  // FileStorageInfo from a stack that gives the sector sizes but computes neither offset
  // (STORAGE_INFO_OFFSET_UNKNOWN for both, and the flags beside them clear).
  bool storageOffsetsUnknown = false;
  LayoutAnswer layout;
  DescriptorAnswer descriptor;
  SmartAnswer smart;
  ScsiAnswer scsi;
  AlignmentAnswer alignment;
  uint32_t sectorSize = 512;
  // What an unbuffered read's buffer must be aligned to: Windows documents the physical
  // sector, and a strict driver asks it; 0 for the logical sector, which most accept.
  uint32_t readAlignment = 0;
  uint64_t sectorCount = 1ull << 32;  // capacity; reads beyond it return no bytes
  std::map<uint64_t, Bytes> sectors;  // sparse; a sector never written reads as zeros

  void WriteSector(uint64_t lba, const Bytes& content);
  Bytes ReadSector(uint64_t lba) const;
};

// One piece of a volume on a disk, as the volume manager lists it.
struct Extent {
  uint32_t disk = 0;
  uint64_t offset = 0;  // bytes from the disk's start
  uint64_t length = 0;  // bytes
};

// A volume, and how it answers: behind a drive letter, a folder it is mounted in, or
// neither (an EFI system or recovery partition).
struct Volume {
  // Its volume name, "\\?\Volume{...}\"; empty for a lettered volume: one is made from
  // its letter.
  std::string name;
  std::vector<std::string> mountPaths;  // the folders it is mounted in, "C:\SQL\Data\"
  UINT type = DRIVE_NO_ROOT_DIR;
  bool freeSpaceOk = false;
  DWORD sectorsPerCluster = 0;
  DWORD bytesPerSector = 0;
  bool fileSystemOk = false;
  std::string fileSystem;
  Open open = Open::NotFound;  // the volume device: "\\.\X:", or its name without the backslash
  bool partitionInfoOk = false;
  // GPT partitions fail the MBR-only IOCTL_DISK_GET_PARTITION_INFO and answer only the
  // _EX request.
  PartitionTable table = PartitionTable::Mbr;
  int64_t startingOffset = 0;  // the partition's byte offset on its disk
  // IOCTL_STORAGE_GET_DEVICE_NUMBER: volumes of basic disks answer it with their disk's
  // number; volumes of dynamic disks and Storage Spaces fail it.
  bool deviceNumberOk = true;
  DWORD deviceType = FILE_DEVICE_DISK;
  int64_t diskNumber = -1;  // the number the system gives the disk; -1: hostDrive's
  // IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS: every volume answers it. With no pieces listed
  // here, a volume answers one piece: its disk at startingOffset. A volume with pieces
  // (spanned, striped, mirrored, dynamic) reads its sectors from them, in order.
  std::vector<Extent> extents;
  bool extentsOk = true;
  bool zeroExtents = false;  // answers with no piece at all, as Wine does
  // The count the answer states, whatever it lists: a driver that lies. 0: the true count.
  DWORD claimedExtents = 0;
  // The returned-byte counts the volume reports, at most what it copied: a driver that
  // answers short.
  DWORD partitionReturned = ~DWORD{0};
  DWORD deviceNumberReturned = ~DWORD{0};
  DWORD extentsReturned = ~DWORD{0};
  // Nonzero: the volume is encrypted. Its disk holds cipher text; the volume device reads
  // the plain text.
  uint64_t encryptionKey = 0;
  // The drive whose sectors the volume device reads, from startingOffset on; -1 for a
  // volume on no modelled drive, which reads its own sectors below.
  int64_t hostDrive = -1;
  uint32_t ownSectorSize = 512;
  std::map<uint64_t, Bytes> ownSectors;
};

// A file on one of the machine's volumes, as an administrator keeps a disk image: its bytes
// held here (where none are held it reads zeros, as a sparse file's holes do), or read
// from a file of the host, as Wine reads the host's.
struct File {
  uint64_t size = 0;
  std::map<uint64_t, Bytes> extents;  // by offset; each within size
  std::string hostPath;               // non-empty: the bytes are this host file's
  // A running virtual machine holds it and shares no reading: every open that reads fails
  // (one with access 0 only asks who it is, and Windows lets it).
  bool inUse = false;
  // Its index on its volume (FileIdInfo, GetFileInformationByHandle): a host file's inode,
  // else one the machine gives it; two paths of one index are one file (a link).
  uint64_t index = 0;
  bool symbolicLink = false;  // listed as a link to a file (its bytes are its target's)
};
// The host's file at `path`, as the machine shows it.
File HostFile(const std::string& path);

// Enciphers (or deciphers: the same operation) one sector of an encrypted volume, given
// by its sector number counted from the volume's start.
void Cipher(uint64_t key, uint64_t volumeSector, Bytes& bytes);

// Who runs the program. An elevated administrator opens devices as it asks; a standard
// user (an administrator at an ordinary prompt is one too) opens drives and volumes only
// with access 0, which lets it query them but not read them.
enum class User { ElevatedAdministrator, Standard };

// A folder the files' paths do not make: an empty one, a junction or volume mount point
// (listed as its target's entries), or one Windows refuses to list.
struct Folder {
  std::string linkTo;   // a junction's or mount point's target; empty for a plain folder
  bool listable = true;  // false: FindFirstFileA fails with ERROR_ACCESS_DENIED
  DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;  // or IO_REPARSE_TAG_SYMLINK
};

// One call made to the machine.
struct Call {
  explicit Call(std::string name, std::string where = "")
      : op(std::move(name)), path(std::move(where)) {}
  std::string op;    // "CreateFileA", "DeviceIoControl", ...
  std::string path;  // device path or root path, where the call takes one
  DWORD access = 0, share = 0, disposition = 0, flags = 0;
  DWORD code = 0;  // IOCTL code
  Bytes request;   // the input bytes of a DeviceIoControl
  DWORD inSize = 0, outSize = 0;
  uint64_t position = 0;  // SetFilePointer's target
  DWORD size = 0;         // bytes asked for (ReadFile, VirtualAlloc)
  HANDLE handle = nullptr;
  bool failed = false;
};

// Bytes [offset, offset + length) of a sparse sector store; what it does not hold reads as
// zeros.
Bytes ReadSparse(const std::map<uint64_t, Bytes>& sectors, uint32_t sectorSize, uint64_t offset,
                 size_t length);

}  // namespace sim
