// The real backend: each operation forwards to Windows.
#include "platform/read_only.h"
#include "platform/sys.h"

namespace sys {

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  return ::CreateFileA(path, access, share, security, disposition, flags, templateFile);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED overlapped) {
  // The program never writes to a disk: a request that is not one of its reads never
  // reaches Windows.
  if (!IsReadOnlyRequest(code, in, inSize)) {
    if (returned != nullptr) *returned = 0;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

DWORD SetFilePointer(HANDLE file, LONG low, PLONG high, DWORD method) {
  return ::SetFilePointer(file, low, high, method);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  return ::ReadFile(file, buffer, size, read, overlapped);
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

DWORD GetLastError() { return ::GetLastError(); }

UINT GetDriveTypeA(LPCSTR root) { return ::GetDriveTypeA(root); }

BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters) {
  return ::GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize) {
  return ::GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber, maxComponentLength,
                                 fileSystemFlags, fileSystemName, fileSystemNameSize);
}

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  return ::VirtualAlloc(address, size, type, protect);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  return ::VirtualFree(address, size, type);
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return ::GetVersionExA(info);
#pragma GCC diagnostic pop
}

}  // namespace sys
