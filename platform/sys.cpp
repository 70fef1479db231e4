// The door: every sys:: call passes the read-only guard, then goes to the backend in use.
#include "platform/sys.h"

#include "platform/backend.h"
#include "platform/read_only.h"

namespace sys {

namespace {

Backend* g_chosen = nullptr;
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

}  // namespace

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
  Backend* b = Active();
  if (!IsReadOnlyOpen(path, disposition, flags))
    return Refuse(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, INVALID_HANDLE_VALUE);
  return b->CreateFileA(path, access, share, security, disposition, flags, templateFile);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED overlapped) {
  Backend* b = Active();
  if (b == nullptr || !IsReadOnlyRequest(code, in, inSize)) {
    if (returned != nullptr) *returned = 0;
    return Refuse(b == nullptr ? ERROR_NOT_SUPPORTED : ERROR_ACCESS_DENIED, FALSE);
  }
  return b->DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

DWORD SetFilePointer(HANDLE file, LONG low, PLONG high, DWORD method) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, INVALID_SET_FILE_POINTER);
  return b->SetFilePointer(file, low, high, method);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  Backend* b = Active();
  if (b == nullptr) {
    if (read != nullptr) *read = 0;
    return Refuse(ERROR_NOT_SUPPORTED, FALSE);
  }
  return b->ReadFile(file, buffer, size, read, overlapped);
}

BOOL CloseHandle(HANDLE handle) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, FALSE);
  return b->CloseHandle(handle);
}

DWORD GetLastError() {
  if (g_doorError != 0) return g_doorError;
  Backend* b = InUse();
  return b != nullptr ? b->GetLastError() : ERROR_NOT_SUPPORTED;
}

UINT GetDriveTypeA(LPCSTR root) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, UINT{DRIVE_UNKNOWN});
  return b->GetDriveTypeA(root);
}

BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, FALSE);
  return b->GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters,
                              totalClusters);
}

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, FALSE);
  return b->GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber,
                                  maxComponentLength, fileSystemFlags, fileSystemName,
                                  fileSystemNameSize);
}

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, LPVOID{nullptr});
  return b->VirtualAlloc(address, size, type, protect);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, FALSE);
  return b->VirtualFree(address, size, type);
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, FALSE);
  return b->GetVersionExA(info);
}

HANDLE FindFirstVolumeA(LPSTR volumeName, DWORD size) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, INVALID_HANDLE_VALUE);
  return b->FindFirstVolumeA(volumeName, size);
}

BOOL FindNextVolumeA(HANDLE find, LPSTR volumeName, DWORD size) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, FALSE);
  return b->FindNextVolumeA(find, volumeName, size);
}

BOOL FindVolumeClose(HANDLE find) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, FALSE);
  return b->FindVolumeClose(find);
}

BOOL GetVolumePathNamesForVolumeNameA(LPCSTR volumeName, LPSTR paths, DWORD size,
                                      PDWORD returned) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, FALSE);
  return b->GetVolumePathNamesForVolumeNameA(volumeName, paths, size, returned);
}

BOOL GetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR volumeName, DWORD size) {
  Backend* b = Active();
  if (b == nullptr) return Refuse(ERROR_NOT_SUPPORTED, FALSE);
  return b->GetVolumeNameForVolumeMountPointA(mountPoint, volumeName, size);
}

}  // namespace sys
