// A simulated machine behind the sys:: operations: physical drives by any number, drive
// letters, the OS family. It answers requests as the devices would; it knows nothing of
// the code that asks.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/memory_blocks.h"

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
  // A running virtual machine holds it and shares no reading: every open fails.
  bool inUse = false;
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

class Machine : public sys::Backend {
 public:
  Machine();
  ~Machine() override;
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // By the number the system gives each disk; a number without a drive is not found.
  std::map<uint32_t, Drive> drives;
  std::map<char, Volume> letters;  // upper-case letters
  // Volumes without a letter, by their volume name with its trailing backslash.
  std::map<std::string, Volume> unlettered;
  // Files, by their path ("C:\VMs\xp.vhd"; named alike in any case, or after "\\?\").
  std::map<std::string, File> files;
  // FindFirstVolumeA and FindNextVolumeA: every volume, the lettered ones first in letter
  // order. Windows ends each name with a backslash; some callers are handed names without.
  bool enumerationOk = true;
  bool namesWithoutBackslash = false;
  // GetVolumePathNamesForVolumeNameA: the length it asks for when the buffer is too
  // small, 0 for the true one (a driver that lies asks for too little).
  DWORD claimedPathsLength = 0;
  DWORD platformId = VER_PLATFORM_WIN32_NT;
  // GetComputerNameA: the NetBIOS name, at most 15 characters.
  std::string computerName = "SIMULATED";
  // GetACP: the ANSI code page every name above is written in (a Russian Windows's 1251,
  // a Japanese one's 932); MultiByteToWideChar decodes it and the others of sim/code_pages.
  uint32_t codePage = 1252;
  // GetSystemTimeAsFileTime: a fixed moment, 2026-03-02T09:30:00Z, so that every run of a
  // simulated machine is told the same time.
  uint64_t systemTime = 134169174000000000;
  // The NT version GetVersionExA gives; the token's elevation can be asked from 6.0 (Vista).
  DWORD majorVersion = 5, minorVersion = 1, buildNumber = 2600;
  User user = User::ElevatedAdministrator;
  // A security policy (Controlled Folder Access's protection of disk sectors, say) that
  // refuses read-write opens of physical drives, even to an elevated administrator.
  bool policyBlocksDriveWrites = false;
  // Largest block VirtualAlloc grants: the room a 32-bit process has.
  uint64_t addressSpace = 1ull << 30;

  // Makes call number `index` (counted from 0 across every operation) fail as the
  // system would fail it. -1: nothing fails.
  long failCall = -1;

  // False: calls are counted, not kept (a run of millions of reads, measured for its own
  // memory). Reads are counted either way.
  bool keepLog = true;
  uint64_t readCalls = 0, readBytes = 0;

  const std::vector<Call>& Log() const { return m_log; }
  // The requests this machine was sent and does not model, each named ("DeviceIoControl
  // 0x2D1400 property 7 on a drive"). It fails them as Windows fails a request it does not
  // know, but a test must not take that for an answer: a test that means to see Windows
  // refuse one clears them.
  const std::vector<std::string>& Unmodelled() const { return m_unmodelled; }
  void ClearUnmodelled() { m_unmodelled.clear(); }
  // Each request the devices answer, as its code and the property it asks for (~0 for
  // requests that ask for none): the table's keys, for tests that read every answer back.
  static std::vector<std::pair<DWORD, DWORD>> Answered();
  std::vector<Call> Calls(const std::string& op) const;
  void ClearLog() {
    m_log.clear();
    m_calls = 0;
  }
  int OpenHandles() const {
    return static_cast<int>(m_handles.size() + m_finds.size() + m_tokens.size());
  }
  int OpenBuffers() const { return m_buffers.Count(); }

  // The operations, as the door passes them on.
  HANDLE CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) override;
  BOOL DeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override;
  DWORD SetFilePointer(HANDLE, LONG, PLONG, DWORD) override;
  BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override;
  BOOL CloseHandle(HANDLE) override;
  DWORD GetLastError() override { return m_lastError; }
  UINT GetDriveTypeA(LPCSTR) override;
  BOOL GetDiskFreeSpaceA(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD) override;
  BOOL GetVolumeInformationA(LPCSTR, LPSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPSTR,
                             DWORD) override;
  LPVOID VirtualAlloc(LPVOID, SIZE_T, DWORD, DWORD) override;
  BOOL VirtualFree(LPVOID, SIZE_T, DWORD) override;
  BOOL GetVersionExA(LPOSVERSIONINFOA) override;
  HANDLE FindFirstVolumeA(LPSTR, DWORD) override;
  BOOL FindNextVolumeA(HANDLE, LPSTR, DWORD) override;
  BOOL FindVolumeClose(HANDLE) override;
  BOOL GetVolumePathNamesForVolumeNameA(LPCSTR, LPSTR, DWORD, PDWORD) override;
  BOOL GetVolumeNameForVolumeMountPointA(LPCSTR, LPSTR, DWORD) override;
  BOOL OpenProcessToken(HANDLE, DWORD, PHANDLE) override;
  BOOL GetTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD) override;
  BOOL GetComputerNameA(LPSTR name, LPDWORD size) override;
  UINT GetACP() override;
  void GetSystemTimeAsFileTime(LPFILETIME time) override;
  int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int textBytes, LPWSTR wide,
                          int wideChars) override;
  int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideChars, LPSTR text,
                          int textBytes, LPCCH defaultChar, LPBOOL usedDefault) override;
  BOOL GetFileInformationByHandleEx(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) override;

  // The volume name a volume answers with: its own, or one made from its letter.
  static std::string NameOf(char letter, const Volume& v);

 private:
  struct OpenDevice {
    int64_t drive = -1;        // physical drive, or
    Volume* volume = nullptr;  // volume, or
    File* file = nullptr;      // file
    DWORD access = 0;
    bool unbuffered = false;
    uint64_t position = 0;
  };
  // One DeviceIoControl as a device answers it (device_answers.cpp).
  struct Request {
    const void* in;
    DWORD inSize;
    void* out;
    DWORD outSize;
    DWORD* returned;
    DWORD code;
  };
  enum class HandleKind { Drive, Volume, Either };
  static constexpr DWORD kNoProperty = ~DWORD{0};
  struct AnswerEntry {
    DWORD code;
    HandleKind kind;
    DWORD property;  // the property a query asks for; kNoProperty for other requests
    BOOL (Machine::*answer)(const OpenDevice&, const Request&);
  };
  static const AnswerEntry kAnswers[];

  Call& Record(Call call);
  bool Injected(Call& call, DWORD error);
  BOOL Fail(DWORD error) {
    m_lastError = error;
    return FALSE;
  }
  // The logged call failed, with `error`.
  BOOL Fail(Call& call, DWORD error) {
    call.failed = true;
    return Fail(error);
  }
  OpenDevice* Find(HANDLE handle);
  // The device a path names, and how an open of it ends.
  Open ParseDevicePath(const std::string& path, OpenDevice* device);
  HANDLE OpenFile(Call& call, DWORD access, DWORD disposition);
  BOOL ReadOpenFile(OpenDevice& device, uint8_t* out, DWORD size, LPDWORD read, Call& c);
  // The volume a root path names: "X:\\", a volume name, or a folder it is mounted in.
  Volume* FindRoot(LPCSTR root);
  // The volume a volume name names, its trailing backslash included.
  Volume* FindByName(const std::string& name);
  std::string NameOf(const Volume* volume) const;
  // A volume search: the names it lists and the next one's index. As Windows' does, it takes
  // the mount manager's list once, when it begins.
  struct VolumeSearch {
    std::vector<std::string> names;
    size_t next = 0;
  };
  // Every volume's name in the order FindNextVolumeA gives them: the lettered ones first, in
  // letter order.
  std::vector<std::string> EnumeratedNames() const;
  BOOL NextVolume(VolumeSearch& search, LPSTR name, DWORD size);
  uint32_t SectorSizeOf(const OpenDevice& device) const;
  Bytes ReadDeviceSector(const OpenDevice& device, uint64_t lba) const;
  // The answers, each to the request the table gives it.
  BOOL Identify(const OpenDevice& device, const Request& r);
  BOOL Inquiry(const OpenDevice& device, const Request& r);
  BOOL DeviceDescriptor(const OpenDevice& device, const Request& r);
  BOOL AccessAlignment(const OpenDevice& device, const Request& r);
  BOOL SeekPenalty(const OpenDevice& device, const Request& r);
  BOOL Trim(const OpenDevice& device, const Request& r);
  BOOL DriveLayout(const OpenDevice& device, const Request& r);
  BOOL DriveGeometry(const OpenDevice& device, const Request& r);
  BOOL PartitionInfo(const OpenDevice& device, const Request& r);
  BOOL DeviceNumber(const OpenDevice& device, const Request& r);
  BOOL DiskExtents(const OpenDevice& device, const Request& r);
  std::optional<BOOL> PropertyQuery(const Request& r, bool supported);
  const Drive* DriveAt(int64_t number) const;
  std::vector<Extent> PiecesOf(const Volume& l) const;
  // The length in bytes of the partition at `offset` on drive `host`.
  uint64_t PartitionBytesAt(int64_t host, uint64_t offset) const;

  std::vector<Call> m_log;
  size_t m_calls = 0;  // made since the log was last cleared, kept or not
  Call m_unkept{""};   // the call being answered, where the log keeps none
  std::vector<std::string> m_unmodelled;
  std::map<HANDLE, OpenDevice> m_handles;
  std::map<HANDLE, VolumeSearch> m_finds;
  std::map<HANDLE, DWORD> m_tokens;  // the process's token, opened: its access
  sys::MemoryBlocks m_buffers;
  uintptr_t m_nextHandle = 0x100;
  DWORD m_lastError = ERROR_SUCCESS;
};

// Puts a machine behind the door for the life of a scope. At its end, the requests the
// machine did not model go to the hook the tests set (none elsewhere), so that one fails
// the test that sent it.
class Installation {
 public:
  explicit Installation(Machine& machine) : m_machine(machine), m_door(machine) {}
  ~Installation() {
    if (onUnmodelled != nullptr && !m_machine.Unmodelled().empty())
      onUnmodelled(m_machine.Unmodelled());
  }
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  static void (*onUnmodelled)(const std::vector<std::string>& requests);

 private:
  Machine& m_machine;
  sys::Using m_door;
};

}  // namespace sim
