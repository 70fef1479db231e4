// The operating-system operations that the inspection and start-up call. Code in
// inspect/ and app/ calls sys::X, never ::X, so that the same code runs against the
// real machine (sys_win32.cpp) or the simulated one (sim/).
#pragma once

#include "platform/win32types.h"

namespace sys {

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG low, PLONG high, DWORD method);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError();
UINT GetDriveTypeA(LPCSTR root);
BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters);
BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName, DWORD fileSystemNameSize);
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type);
BOOL GetVersionExA(LPOSVERSIONINFOA info);
HANDLE FindFirstVolumeA(LPSTR volumeName, DWORD size);
BOOL FindNextVolumeA(HANDLE find, LPSTR volumeName, DWORD size);
BOOL FindVolumeClose(HANDLE find);
// A folder's entries: `pattern` is the folder and a name that may hold * and ?.
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found);
BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA found);
BOOL FindClose(HANDLE find);
BOOL GetVolumePathNamesForVolumeNameA(LPCSTR volumeName, LPSTR paths, DWORD size, PDWORD returned);
BOOL GetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR volumeName, DWORD size);
// The process's own token, opened only to be queried (the door refuses any other access).
BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD size,
                         PDWORD returned);
// The computer's NetBIOS name, which the JSON and CSV reports carry.
BOOL GetComputerNameA(LPSTR name, LPDWORD size);
// The system's ANSI code page, which every name the A functions give is in; and the
// system's decoding of such text into UTF-16, for the outputs written as UTF-8 or escapes.
UINT GetACP();
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int textBytes, LPWSTR wide,
                        int wideChars);
// And back: a name a file records in Unicode (a parent's), in the code page the A functions
// take it in.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideChars, LPSTR text,
                        int textBytes, LPCCH defaultChar, LPBOOL usedDefault);
// The time of day, UTC, which the JSON-lines records and the metrics carry.
void GetSystemTimeAsFileTime(LPFILETIME time);
// Windows' own view of a volume's sectors, and a file's identity: only FileStorageInfo and
// FileIdInfo pass the door.
BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID info,
                                  DWORD size);
// A file's volume serial and index, where FileIdInfo is not known (before Windows 8).
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);

}  // namespace sys
