// The door: every sys:: call passes the read-only guard, then goes to the backend in use.
#include "platform/sys.h"

#include "platform/backend.h"
#include "platform/read_only.h"

namespace sys {

namespace {

Backend* g_chosen = nullptr;
int g_filesOnly = 0;  // FilesOnly scopes alive
// Nonzero while the last call was answered by the door itself (refused by the guard, or
// no backend to ask): the error that call left.
DWORD g_doorError = 0;

Backend* Active() {
  g_doorError = 0;
  return InUse();
}

// The door's own answer: the call fails as Windows would fail it, with `error`.
template <typename Result>
Result Refuse(DWORD error, Result failure) {
  g_doorError = error;
  return failure;
}

// Passes a call to the backend in use; without one (outside Windows, when none was
// chosen), the call fails as `failure` with ERROR_NOT_SUPPORTED.
template <typename Result, typename... Params, typename... Args>
Result Forward(Result (Backend::*call)(Params...), Result failure, Args... args) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, failure);
  return (b->*call)(args...);
}

}  // namespace

FilesOnly::FilesOnly() { ++g_filesOnly; }
FilesOnly::~FilesOnly() { --g_filesOnly; }

Backend* Use(Backend* backend) {
  Backend* previous = g_chosen;
  g_chosen = backend;
  return previous;
}

Backend* Chosen() { return g_chosen; }

Backend* InUse() {
#ifdef _WIN32
  return g_chosen != nullptr ? g_chosen : &WindowsBackend();
#else
  return g_chosen;
#endif
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (!IsReadOnlyOpen(path, access, share, disposition, flags,
                      g_filesOnly > 0 ? OpenScope::FilesOnly : OpenScope::DevicesAndFiles))
    return Refuse(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  return Forward(&Backend::CreateFileA, INVALID_HANDLE_VALUE, path, access, share, security,
                 disposition, flags, templateFile);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED overlapped) {
  if (returned != nullptr) *returned = 0;
  if (!IsReadOnlyRequest(code, in, inSize)) return Refuse(ERROR_ACCESS_DENIED, FALSE);
  return Forward(&Backend::DeviceIoControl, FALSE, device, code, in, inSize, out, outSize, returned,
                 overlapped);
}

DWORD SetFilePointer(HANDLE file, LONG low, PLONG high, DWORD method) {
  return Forward(&Backend::SetFilePointer, DWORD{INVALID_SET_FILE_POINTER}, file, low, high,
                 method);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  if (read != nullptr) *read = 0;
  return Forward(&Backend::ReadFile, FALSE, file, buffer, size, read, overlapped);
}

BOOL CloseHandle(HANDLE handle) { return Forward(&Backend::CloseHandle, FALSE, handle); }

DWORD GetLastError() {
  if (g_doorError != 0) return g_doorError;
  Backend* b = InUse();
  return b != nullptr ? b->GetLastError() : ERROR_NOT_SUPPORTED;
}

UINT GetDriveTypeA(LPCSTR root) {
  return Forward(&Backend::GetDriveTypeA, UINT{DRIVE_UNKNOWN}, root);
}

BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters) {
  return Forward(&Backend::GetDiskFreeSpaceA, FALSE, root, sectorsPerCluster, bytesPerSector,
                 freeClusters, totalClusters);
}

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize) {
  return Forward(&Backend::GetVolumeInformationA, FALSE, root, volumeName, volumeNameSize,
                 serialNumber, maxComponentLength, fileSystemFlags, fileSystemName,
                 fileSystemNameSize);
}

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  return Forward(&Backend::VirtualAlloc, LPVOID{nullptr}, address, size, type, protect);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  return Forward(&Backend::VirtualFree, FALSE, address, size, type);
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) { return Forward(&Backend::GetVersionExA, FALSE, info); }

HANDLE FindFirstVolumeA(LPSTR volumeName, DWORD size) {
  return Forward(&Backend::FindFirstVolumeA, INVALID_HANDLE_VALUE, volumeName, size);
}

BOOL FindNextVolumeA(HANDLE find, LPSTR volumeName, DWORD size) {
  return Forward(&Backend::FindNextVolumeA, FALSE, find, volumeName, size);
}

BOOL FindVolumeClose(HANDLE find) { return Forward(&Backend::FindVolumeClose, FALSE, find); }

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
  // Listing reads names only; a device or a pipe is no folder to list.
  if (!IsReadOnlyListing(pattern)) return Refuse(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  return Forward(&Backend::FindFirstFileA, INVALID_HANDLE_VALUE, pattern, found);
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA found) {
  return Forward(&Backend::FindNextFileA, FALSE, find, found);
}

BOOL FindClose(HANDLE find) { return Forward(&Backend::FindClose, FALSE, find); }

BOOL GetVolumePathNamesForVolumeNameA(LPCSTR volumeName, LPSTR paths, DWORD size, PDWORD returned) {
  return Forward(&Backend::GetVolumePathNamesForVolumeNameA, FALSE, volumeName, paths, size,
                 returned);
}

BOOL GetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR volumeName, DWORD size) {
  return Forward(&Backend::GetVolumeNameForVolumeMountPointA, FALSE, mountPoint, volumeName, size);
}

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  if (token != nullptr) *token = nullptr;
  if (!IsReadOnlyTokenAccess(access)) return Refuse(ERROR_ACCESS_DENIED, FALSE);
  return Forward(&Backend::OpenProcessToken, FALSE, process, access, token);
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD size,
                         PDWORD returned) {
  if (returned != nullptr) *returned = 0;
  return Forward(&Backend::GetTokenInformation, FALSE, token, infoClass, info, size, returned);
}

BOOL GetComputerNameA(LPSTR name, LPDWORD size) {
  return Forward(&Backend::GetComputerNameA, FALSE, name, size);
}

void GetSystemTimeAsFileTime(LPFILETIME time) {
  if (time == nullptr) return;
  *time = FILETIME{};  // the epoch of 1601 where no machine answers
  if (Backend* backend = Active()) backend->GetSystemTimeAsFileTime(time);
}

UINT GetACP() { return Forward(&Backend::GetACP, UINT{0}); }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int textBytes, LPWSTR wide,
                        int wideChars) {
  return Forward(&Backend::MultiByteToWideChar, 0, codePage, flags, text, textBytes, wide,
                 wideChars);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideChars, LPSTR text,
                        int textBytes, LPCCH defaultChar, LPBOOL usedDefault) {
  return Forward(&Backend::WideCharToMultiByte, 0, codePage, flags, wide, wideChars, text,
                 textBytes, defaultChar, usedDefault);
}

BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID info,
                                  DWORD size) {
  if (!IsReadOnlyInfoClass(infoClass)) return Refuse(ERROR_ACCESS_DENIED, FALSE);
  return Forward(&Backend::GetFileInformationByHandleEx, FALSE, file, infoClass, info, size);
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  return Forward(&Backend::GetFileInformationByHandle, FALSE, file, info);
}

}  // namespace sys
