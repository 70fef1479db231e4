// The Windows types, constants and structures the inspection uses. On Windows they
// come from the system headers; elsewhere (the native test build) this declares the
// same subset with the same byte layouts. The static_asserts at the end hold both
// compilers to the layouts the devices expect.
#pragma once

#include <cstddef>

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <winioctl.h>

#include <ntddscsi.h>  // needs winioctl.h first

#else  // !_WIN32

#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using UCHAR = uint8_t;
using BOOLEAN = uint8_t;
using USHORT = uint16_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using UINT = uint32_t;
using BOOL = int;
using CHAR = char;
using SIZE_T = size_t;
using LONGLONG = int64_t;
using HANDLE = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPDWORD = DWORD*;
using PDWORD = DWORD*;
using PLONG = LONG*;
using PHANDLE = HANDLE*;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

// 100-nanosecond intervals since 1601-01-01 UTC.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
using LPFILETIME = FILETIME*;

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD GENERIC_ALL = 0x10000000u;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_FLAG_DELETE_ON_CLOSE = 0x04000000u;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000u;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_NO_BUFFERING = 0x20000000u;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_END = 2;

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_CRC = 23;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_NO_DATA = 232;
constexpr DWORD MAX_PATH = 260;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_IO_DEVICE = 1117;
constexpr DWORD ERROR_NOACCESS = 998;

constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;

constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_RELEASE = 0x8000;
constexpr DWORD PAGE_READWRITE = 0x04;

// The process's own token: whether it runs elevated.
constexpr DWORD TOKEN_QUERY = 0x0008;
enum TOKEN_INFORMATION_CLASS { TokenElevation = 20 };
struct TOKEN_ELEVATION {
  DWORD TokenIsElevated;
};
// The pseudo handle that stands for the calling process, as Windows' GetCurrentProcess
// gives it.
inline HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};
using LPOSVERSIONINFOA = OSVERSIONINFOA*;

constexpr DWORD SMART_RCV_DRIVE_DATA = 0x0007C088;
constexpr DWORD IOCTL_SCSI_PASS_THROUGH = 0x0004D004;
constexpr DWORD IOCTL_DISK_GET_PARTITION_INFO = 0x00074004;
constexpr DWORD IOCTL_DISK_GET_PARTITION_INFO_EX = 0x00070048;
constexpr DWORD IOCTL_DISK_GET_DRIVE_LAYOUT_EX = 0x00070050;
constexpr DWORD IOCTL_DISK_GET_DRIVE_GEOMETRY_EX = 0x000700A0;
constexpr DWORD IOCTL_STORAGE_GET_DEVICE_NUMBER = 0x002D1080;
constexpr DWORD IOCTL_STORAGE_QUERY_PROPERTY = 0x002D1400;
constexpr DWORD IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS = 0x00560000;
constexpr BYTE ID_CMD = 0xEC;
constexpr DWORD FILE_DEVICE_DISK = 0x00000007;

#pragma pack(push, 1)
struct IDEREGS {
  BYTE bFeaturesReg;
  BYTE bSectorCountReg;
  BYTE bSectorNumberReg;
  BYTE bCylLowReg;
  BYTE bCylHighReg;
  BYTE bDriveHeadReg;
  BYTE bCommandReg;
  BYTE bReserved;
};
struct SENDCMDINPARAMS {
  DWORD cBufferSize;
  IDEREGS irDriveRegs;
  BYTE bDriveNumber;
  BYTE bReserved[3];
  DWORD dwReserved[4];
  BYTE bBuffer[1];
};
struct DRIVERSTATUS {
  BYTE bDriverError;
  BYTE bIDEError;
  BYTE bReserved[2];
  DWORD dwReserved[2];
};
struct SENDCMDOUTPARAMS {
  DWORD cBufferSize;
  DRIVERSTATUS DriverStatus;
  BYTE bBuffer[1];
};
#pragma pack(pop)

// The 32-bit layout: DataBufferOffset is pointer-sized there, so it is held in 32 bits
// here whatever the host's pointer size.
struct SCSI_PASS_THROUGH {
  USHORT Length;
  UCHAR ScsiStatus;
  UCHAR PathId;
  UCHAR TargetId;
  UCHAR Lun;
  UCHAR CdbLength;
  UCHAR SenseInfoLength;
  UCHAR DataIn;
  ULONG DataTransferLength;
  ULONG TimeOutValue;
  ULONG DataBufferOffset;
  ULONG SenseInfoOffset;
  UCHAR Cdb[16];
};
constexpr UCHAR SCSI_IOCTL_DATA_IN = 1;

struct PARTITION_INFORMATION {
  LARGE_INTEGER StartingOffset;
  LARGE_INTEGER PartitionLength;
  DWORD HiddenSectors;
  DWORD PartitionNumber;
  BYTE PartitionType;
  BOOLEAN BootIndicator;
  BOOLEAN RecognizedPartition;
  BOOLEAN RewritePartition;
};

using WCHAR = uint16_t;  // UTF-16, as on Windows
using LPWSTR = WCHAR*;
using LPCCH = const char*;
using LPCWCH = const WCHAR*;
using LPBOOL = BOOL*;
constexpr UINT CP_ACP = 0;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

enum PARTITION_STYLE { PARTITION_STYLE_MBR = 0, PARTITION_STYLE_GPT = 1, PARTITION_STYLE_RAW = 2 };
struct PARTITION_INFORMATION_MBR {
  BYTE PartitionType;
  BOOLEAN BootIndicator;
  BOOLEAN RecognizedPartition;
  DWORD HiddenSectors;
  GUID PartitionId;
};
struct PARTITION_INFORMATION_GPT {
  GUID PartitionType;
  GUID PartitionId;
  uint64_t Attributes;
  WCHAR Name[36];
};
struct PARTITION_INFORMATION_EX {
  PARTITION_STYLE PartitionStyle;
  LARGE_INTEGER StartingOffset;
  LARGE_INTEGER PartitionLength;
  DWORD PartitionNumber;
  BOOLEAN RewritePartition;
  BOOLEAN IsServicePartition;
  union {
    PARTITION_INFORMATION_MBR Mbr;
    PARTITION_INFORMATION_GPT Gpt;
  };
};

// A disk's partition table: its style, its count of entries, the table's own fields, then
// the entries.
struct DRIVE_LAYOUT_INFORMATION_MBR {
  DWORD Signature;
};
struct DRIVE_LAYOUT_INFORMATION_GPT {
  GUID DiskId;
  LARGE_INTEGER StartingUsableOffset;
  LARGE_INTEGER UsableLength;
  DWORD MaxPartitionCount;
};
struct DRIVE_LAYOUT_INFORMATION_EX {
  DWORD PartitionStyle;
  DWORD PartitionCount;
  union {
    DRIVE_LAYOUT_INFORMATION_MBR Mbr;
    DRIVE_LAYOUT_INFORMATION_GPT Gpt;
  };
  PARTITION_INFORMATION_EX PartitionEntry[1];
};

enum MEDIA_TYPE { FixedMedia = 12 };
struct DISK_GEOMETRY {
  LARGE_INTEGER Cylinders;
  MEDIA_TYPE MediaType;
  DWORD TracksPerCylinder;
  DWORD SectorsPerTrack;
  DWORD BytesPerSector;
};
struct DISK_GEOMETRY_EX {
  DISK_GEOMETRY Geometry;
  LARGE_INTEGER DiskSize;
  BYTE Data[1];
};

struct STORAGE_DEVICE_NUMBER {
  DWORD DeviceType;
  DWORD DeviceNumber;
  DWORD PartitionNumber;
};

enum STORAGE_PROPERTY_ID {
  StorageDeviceProperty = 0,
  StorageAccessAlignmentProperty = 6,
  StorageDeviceSeekPenaltyProperty = 7,
  StorageDeviceTrimProperty = 8,
};
enum STORAGE_QUERY_TYPE { PropertyStandardQuery = 0, PropertyExistsQuery = 1 };
struct STORAGE_PROPERTY_QUERY {
  STORAGE_PROPERTY_ID PropertyId;
  STORAGE_QUERY_TYPE QueryType;
  BYTE AdditionalParameters[1];
};
struct STORAGE_DESCRIPTOR_HEADER {
  DWORD Version;
  DWORD Size;
};
enum STORAGE_BUS_TYPE { BusTypeUnknown = 0 };
// The device's texts, each at its offset from the descriptor's start (0: none), as
// NUL-terminated strings after the fixed part.
struct STORAGE_DEVICE_DESCRIPTOR {
  DWORD Version;
  DWORD Size;
  BYTE DeviceType;
  BYTE DeviceTypeModifier;
  BOOLEAN RemovableMedia;
  BOOLEAN CommandQueueing;
  DWORD VendorIdOffset;
  DWORD ProductIdOffset;
  DWORD ProductRevisionOffset;
  DWORD SerialNumberOffset;
  STORAGE_BUS_TYPE BusType;
  DWORD RawPropertiesLength;
  BYTE RawDeviceProperties[1];
};
struct STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR {
  DWORD Version;
  DWORD Size;
  DWORD BytesPerCacheLine;
  DWORD BytesOffsetForCacheAlignment;
  DWORD BytesPerLogicalSector;
  DWORD BytesPerPhysicalSector;
  DWORD BytesOffsetForSectorAlignment;
};

// Whether the disk pays for seeking (a hard disk), and whether it takes TRIM: one BOOLEAN
// after the header, padded to 12 bytes.
struct DEVICE_SEEK_PENALTY_DESCRIPTOR {
  DWORD Version;
  DWORD Size;
  BOOLEAN IncursSeekPenalty;
};
struct DEVICE_TRIM_DESCRIPTOR {
  DWORD Version;
  DWORD Size;
  BOOLEAN TrimEnabled;
};

// Windows' own view of a volume's sectors and alignment (GetFileInformationByHandleEx,
// Windows 8 and later).
enum FILE_INFO_BY_HANDLE_CLASS { FileStorageInfo = 16, FileIdInfo = 18 };
struct FILE_STORAGE_INFO {
  ULONG LogicalBytesPerSector;
  ULONG PhysicalBytesPerSectorForAtomicity;
  ULONG PhysicalBytesPerSectorForPerformance;
  ULONG FileSystemEffectivePhysicalBytesPerSectorForAtomicity;
  ULONG Flags;
  ULONG ByteOffsetForSectorAlignment;
  ULONG ByteOffsetForPartitionAlignment;
};
// A file's identity on its volume: 128 bits, as ReFS needs (Windows 8 and later).
struct FILE_ID_128 {
  BYTE Identifier[16];
};
struct FILE_ID_INFO {
  uint64_t VolumeSerialNumber;
  FILE_ID_128 FileId;
};
// Before Windows 8: the volume's serial and a 64-bit index (GetFileInformationByHandle).
struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};
using LPBY_HANDLE_FILE_INFORMATION = BY_HANDLE_FILE_INFORMATION*;
constexpr DWORD FILE_READ_ATTRIBUTES = 0x80;
constexpr ULONG STORAGE_INFO_FLAGS_ALIGNED_DEVICE = 0x1;
constexpr ULONG STORAGE_INFO_FLAGS_PARTITION_ALIGNED_ON_DEVICE = 0x2;
constexpr ULONG STORAGE_INFO_OFFSET_UNKNOWN = 0xFFFFFFFFu;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr DWORD ERROR_BAD_LENGTH = 24;
constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;
constexpr DWORD MAX_COMPUTERNAME_LENGTH = 15;

// A folder's entry, as FindFirstFileA and FindNextFileA give it.
struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;  // the reparse tag, where the attributes name a reparse point
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr DWORD IO_REPARSE_TAG_MOUNT_POINT = 0xA0000003u;  // a junction or a volume mount point
constexpr DWORD IO_REPARSE_TAG_SYMLINK = 0xA000000Cu;

// Where each piece of a volume lies: one per disk for a simple volume, several for a
// spanned, striped or mirrored one.
struct DISK_EXTENT {
  DWORD DiskNumber;
  LARGE_INTEGER StartingOffset;
  LARGE_INTEGER ExtentLength;
};
struct VOLUME_DISK_EXTENTS {
  DWORD NumberOfDiskExtents;
  DISK_EXTENT Extents[1];
};

#endif  // _WIN32

// Layouts the device requests depend on, checked on both compilers.
static_assert(sizeof(DWORD) == 4, "DWORD is 32 bits");
static_assert(sizeof(IDEREGS) == 8, "IDEREGS");
static_assert(sizeof(SENDCMDINPARAMS) == 33, "SENDCMDINPARAMS is 33 bytes");
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs) == 4, "SENDCMDINPARAMS.irDriveRegs");
static_assert(offsetof(SENDCMDINPARAMS, bDriveNumber) == 12, "SENDCMDINPARAMS.bDriveNumber");
static_assert(offsetof(SENDCMDINPARAMS, dwReserved) == 16, "SENDCMDINPARAMS.dwReserved");
static_assert(offsetof(SENDCMDINPARAMS, bBuffer) == 32, "SENDCMDINPARAMS.bBuffer");
static_assert(sizeof(DRIVERSTATUS) == 12, "DRIVERSTATUS");
static_assert(offsetof(SENDCMDOUTPARAMS, DriverStatus) == 4, "SENDCMDOUTPARAMS.DriverStatus");
static_assert(offsetof(SENDCMDOUTPARAMS, bBuffer) == 16, "SENDCMDOUTPARAMS.bBuffer");
static_assert(sizeof(SCSI_PASS_THROUGH) == 44, "SCSI_PASS_THROUGH must be the 32-bit layout");
static_assert(offsetof(SCSI_PASS_THROUGH, DataTransferLength) == 12, "SCSI_PASS_THROUGH");
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == 20, "SCSI_PASS_THROUGH");
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == 28, "SCSI_PASS_THROUGH");
static_assert(sizeof(PARTITION_INFORMATION) == 32, "PARTITION_INFORMATION");
static_assert(offsetof(PARTITION_INFORMATION, StartingOffset) == 0, "PARTITION_INFORMATION");
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA");
static_assert(SMART_RCV_DRIVE_DATA == 0x7C088, "SMART_RCV_DRIVE_DATA");
static_assert(IOCTL_SCSI_PASS_THROUGH == 0x4D004, "IOCTL_SCSI_PASS_THROUGH");
static_assert(IOCTL_DISK_GET_PARTITION_INFO == 0x74004, "IOCTL_DISK_GET_PARTITION_INFO");
// The requests of today's disks: GPT partitions, the disk behind a volume, and the
// sector geometry that drives without an ATA identity report through the storage stack.
static_assert(IOCTL_DISK_GET_PARTITION_INFO_EX == 0x70048, "IOCTL_DISK_GET_PARTITION_INFO_EX");
static_assert(IOCTL_STORAGE_GET_DEVICE_NUMBER == 0x2D1080, "IOCTL_STORAGE_GET_DEVICE_NUMBER");
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == 0x2D1400, "IOCTL_STORAGE_QUERY_PROPERTY");
static_assert(FILE_DEVICE_DISK == 7, "FILE_DEVICE_DISK");
// 144 bytes in the 32- and the 64-bit layout alike.
static_assert(sizeof(PARTITION_INFORMATION_EX) == 144, "PARTITION_INFORMATION_EX");
static_assert(offsetof(PARTITION_INFORMATION_EX, StartingOffset) == 8, "PARTITION_INFORMATION_EX");
static_assert(offsetof(PARTITION_INFORMATION_EX, PartitionNumber) == 24,
              "PARTITION_INFORMATION_EX");
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12, "STORAGE_DEVICE_NUMBER");
static_assert(offsetof(STORAGE_DEVICE_NUMBER, DeviceNumber) == 4, "STORAGE_DEVICE_NUMBER");
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12, "STORAGE_PROPERTY_QUERY");
static_assert(offsetof(STORAGE_PROPERTY_QUERY, QueryType) == 4, "STORAGE_PROPERTY_QUERY");
static_assert(StorageAccessAlignmentProperty == 6, "StorageAccessAlignmentProperty");
static_assert(PropertyStandardQuery == 0, "PropertyStandardQuery");
static_assert(sizeof(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR) == 28,
              "STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR");
static_assert(offsetof(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, BytesPerLogicalSector) == 16,
              "STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR");
static_assert(offsetof(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, BytesOffsetForSectorAlignment) == 24,
              "STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR");
// The pieces of a volume: 24 bytes each after an 8-byte count (the DWORD is padded to the
// 64-bit fields), so 32 bytes hold one.
static_assert(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == 0x560000,
              "IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS");
static_assert(sizeof(DISK_EXTENT) == 24, "DISK_EXTENT");
static_assert(offsetof(DISK_EXTENT, StartingOffset) == 8, "DISK_EXTENT.StartingOffset");
static_assert(offsetof(DISK_EXTENT, ExtentLength) == 16, "DISK_EXTENT.ExtentLength");
static_assert(sizeof(VOLUME_DISK_EXTENTS) == 32, "VOLUME_DISK_EXTENTS");
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == 8, "VOLUME_DISK_EXTENTS.Extents");
static_assert(ERROR_MORE_DATA == 234, "ERROR_MORE_DATA");
static_assert(StorageDeviceProperty == 0, "StorageDeviceProperty");
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40, "STORAGE_DEVICE_DESCRIPTOR");
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset) == 12,
              "STORAGE_DEVICE_DESCRIPTOR");
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset) == 24,
              "STORAGE_DEVICE_DESCRIPTOR");
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties) == 36,
              "STORAGE_DEVICE_DESCRIPTOR");
static_assert(TokenElevation == 20, "TokenElevation");
static_assert(sizeof(TOKEN_ELEVATION) == 4, "TOKEN_ELEVATION");
static_assert(TOKEN_QUERY == 8, "TOKEN_QUERY");
// A disk's table and size, which any handle may ask for. The MBR part of the table's
// union is only its signature in the mingw headers; the GPT part sets its 40 bytes.
static_assert(IOCTL_DISK_GET_DRIVE_LAYOUT_EX == 0x70050, "IOCTL_DISK_GET_DRIVE_LAYOUT_EX");
static_assert(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX == 0x700A0, "IOCTL_DISK_GET_DRIVE_GEOMETRY_EX");
static_assert(sizeof(DRIVE_LAYOUT_INFORMATION_GPT) == 40, "DRIVE_LAYOUT_INFORMATION_GPT");
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry) == 48,
              "DRIVE_LAYOUT_INFORMATION_EX");
static_assert(sizeof(DRIVE_LAYOUT_INFORMATION_EX) == 48 + 144, "DRIVE_LAYOUT_INFORMATION_EX");
static_assert(offsetof(PARTITION_INFORMATION_EX, PartitionLength) == 16,
              "PARTITION_INFORMATION_EX");
static_assert(offsetof(PARTITION_INFORMATION_EX, Mbr) == 32, "PARTITION_INFORMATION_EX.Mbr");
static_assert(offsetof(PARTITION_INFORMATION_EX, Gpt) == 32, "PARTITION_INFORMATION_EX.Gpt");
static_assert(sizeof(DISK_GEOMETRY) == 24, "DISK_GEOMETRY");
// What kind of disk: a seek penalty and TRIM, each one byte after the 8-byte header.
static_assert(StorageDeviceSeekPenaltyProperty == 7, "StorageDeviceSeekPenaltyProperty");
static_assert(StorageDeviceTrimProperty == 8, "StorageDeviceTrimProperty");
static_assert(sizeof(DEVICE_SEEK_PENALTY_DESCRIPTOR) == 12, "DEVICE_SEEK_PENALTY_DESCRIPTOR");
static_assert(offsetof(DEVICE_SEEK_PENALTY_DESCRIPTOR, IncursSeekPenalty) == 8,
              "DEVICE_SEEK_PENALTY_DESCRIPTOR");
static_assert(sizeof(DEVICE_TRIM_DESCRIPTOR) == 12, "DEVICE_TRIM_DESCRIPTOR");
static_assert(offsetof(DEVICE_TRIM_DESCRIPTOR, TrimEnabled) == 8, "DEVICE_TRIM_DESCRIPTOR");
// Windows' view of a volume: seven ULONGs, the flags fifth.
static_assert(FileStorageInfo == 16, "FileStorageInfo");
static_assert(sizeof(FILE_STORAGE_INFO) == 28, "FILE_STORAGE_INFO");
static_assert(offsetof(FILE_STORAGE_INFO, Flags) == 16, "FILE_STORAGE_INFO.Flags");
static_assert(offsetof(FILE_STORAGE_INFO, ByteOffsetForPartitionAlignment) == 24,
              "FILE_STORAGE_INFO.ByteOffsetForPartitionAlignment");
static_assert(STORAGE_INFO_FLAGS_PARTITION_ALIGNED_ON_DEVICE == 2,
              "STORAGE_INFO_FLAGS_PARTITION_ALIGNED_ON_DEVICE");
static_assert(offsetof(DISK_GEOMETRY_EX, DiskSize) == 24, "DISK_GEOMETRY_EX");
// A folder's entry: attributes, three times, the size's halves, the reparse tag, the name.
static_assert(sizeof(WIN32_FIND_DATAA) == 320, "WIN32_FIND_DATAA");
static_assert(offsetof(WIN32_FIND_DATAA, nFileSizeHigh) == 28, "WIN32_FIND_DATAA.nFileSizeHigh");
static_assert(offsetof(WIN32_FIND_DATAA, dwReserved0) == 36, "WIN32_FIND_DATAA.dwReserved0");
static_assert(offsetof(WIN32_FIND_DATAA, cFileName) == 44, "WIN32_FIND_DATAA.cFileName");
static_assert(sizeof(FILE_ID_INFO) == 24, "FILE_ID_INFO");
static_assert(sizeof(BY_HANDLE_FILE_INFORMATION) == 52, "BY_HANDLE_FILE_INFORMATION");
static_assert(offsetof(BY_HANDLE_FILE_INFORMATION, nFileIndexHigh) == 44, "nFileIndexHigh");
