// What answers the calls that pass the door (sys.h): the real machine, a simulated one,
// or a recorded trace. The door applies the read-only guard before any backend sees a
// call, so a backend only ever answers the program's reads.
//
// CONTRIBUTING.md ("Adding a Windows function") walks through what a new call touches.
#pragma once

#include <cstdint>

#include "platform/win32types.h"

namespace sys {

class Backend {
 public:
  virtual ~Backend() = default;

  virtual HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile) = 0;
  virtual BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                               DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) = 0;
  virtual DWORD SetFilePointer(HANDLE file, LONG low, PLONG high, DWORD method) = 0;
  virtual BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read,
                        LPOVERLAPPED overlapped) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;
  virtual DWORD GetLastError() = 0;
  virtual UINT GetDriveTypeA(LPCSTR root) = 0;
  virtual BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                 LPDWORD freeClusters, LPDWORD totalClusters) = 0;
  virtual BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                                     LPDWORD serialNumber, LPDWORD maxComponentLength,
                                     LPDWORD fileSystemFlags, LPSTR fileSystemName,
                                     DWORD fileSystemNameSize) = 0;
  virtual LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) = 0;
  virtual BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) = 0;
  virtual BOOL GetVersionExA(LPOSVERSIONINFOA info) = 0;
  virtual HANDLE FindFirstVolumeA(LPSTR volumeName, DWORD size) = 0;
  virtual BOOL FindNextVolumeA(HANDLE find, LPSTR volumeName, DWORD size) = 0;
  virtual BOOL FindVolumeClose(HANDLE find) = 0;
  virtual HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) = 0;
  virtual BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA found) = 0;
  virtual BOOL FindClose(HANDLE find) = 0;
  virtual BOOL GetVolumePathNamesForVolumeNameA(LPCSTR volumeName, LPSTR paths, DWORD size,
                                                PDWORD returned) = 0;
  virtual BOOL GetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR volumeName,
                                                 DWORD size) = 0;
  virtual BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) = 0;
  virtual BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                   DWORD size, PDWORD returned) = 0;
  virtual BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                            LPVOID info, DWORD size) = 0;
  virtual BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) = 0;
  virtual BOOL GetComputerNameA(LPSTR name, LPDWORD size) = 0;
  virtual UINT GetACP() = 0;
  virtual void GetSystemTimeAsFileTime(LPFILETIME time) = 0;
  virtual int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int textBytes,
                                  LPWSTR wide, int wideChars) = 0;
  virtual int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideChars,
                                  LPSTR text, int textBytes, LPCCH defaultChar,
                                  LPBOOL usedDefault) = 0;
};

// Puts `backend` behind the door and returns the one it replaces. nullptr restores the
// default: the real machine in a Windows build, none elsewhere (every call then fails
// with ERROR_NOT_SUPPORTED).
Backend* Use(Backend* backend);
// The backend chosen with Use, or nullptr for the default.
Backend* Chosen();
// The backend the door forwards to now: the chosen one, or the default (none outside a
// Windows build).
Backend* InUse();

// The door opens files alone, no device, for the life of a scope: a run that checks disk
// files opens no drive, whatever a name inside a file says. Scopes may nest.
class FilesOnly {
 public:
  FilesOnly();
  ~FilesOnly();
  FilesOnly(const FilesOnly&) = delete;
  FilesOnly& operator=(const FilesOnly&) = delete;
};

// Puts a backend behind the door for the life of a scope.
class Using {
 public:
  explicit Using(Backend& backend) : m_previous(Use(&backend)) {}
  ~Using() { Use(m_previous); }
  Using(const Using&) = delete;
  Using& operator=(const Using&) = delete;

 private:
  Backend* m_previous;
};

// The 64-bit file position SetFilePointer gives (or takes) in two halves: the low half,
// and the high half where the caller passed one.
inline uint64_t FilePosition(DWORD low, const LONG* high) {
  return (high != nullptr ? static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32 : 0) | low;
}

// A new handle of a backend that makes its own: `next`, which then moves on. Multiples of
// four from 0x100, as Windows' are, so none is null or INVALID_HANDLE_VALUE.
inline HANDLE MintHandle(uintptr_t& next) {
  HANDLE handle = reinterpret_cast<HANDLE>(next);
  next += 4;
  return handle;
}

#ifdef _WIN32
// The real machine: each operation forwards to Windows.
Backend& WindowsBackend();
#endif

}  // namespace sys
