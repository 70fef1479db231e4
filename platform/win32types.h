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
using PLONG = LONG*;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

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
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_NO_BUFFERING = 0x20000000u;
constexpr DWORD FILE_BEGIN = 0;

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
constexpr DWORD ERROR_INVALID_FUNCTION = 1;

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
constexpr BYTE ID_CMD = 0xEC;

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
