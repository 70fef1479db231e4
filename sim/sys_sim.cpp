// The sys:: operations answered by the installed simulated machine (an empty one when
// none is installed).
#include "platform/sys.h"
#include "sim/machine.h"

namespace {
sim::Machine& Machine() {
  static sim::Machine empty;
  sim::Machine* installed = sim::Installed();
  return installed ? *installed : empty;
}
}  // namespace

namespace sys {

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  return Machine().CreateFileA(path, access, share, security, disposition, flags, templateFile);
}
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED overlapped) {
  return Machine().DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}
DWORD SetFilePointer(HANDLE file, LONG low, PLONG high, DWORD method) {
  return Machine().SetFilePointer(file, low, high, method);
}
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  return Machine().ReadFile(file, buffer, size, read, overlapped);
}
BOOL CloseHandle(HANDLE handle) { return Machine().CloseHandle(handle); }
DWORD GetLastError() { return Machine().GetLastError(); }
UINT GetDriveTypeA(LPCSTR root) { return Machine().GetDriveTypeA(root); }
BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters) {
  return Machine().GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters,
                                     totalClusters);
}
BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize) {
  return Machine().GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber,
                                         maxComponentLength, fileSystemFlags, fileSystemName,
                                         fileSystemNameSize);
}
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  return Machine().VirtualAlloc(address, size, type, protect);
}
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  return Machine().VirtualFree(address, size, type);
}
BOOL GetVersionExA(LPOSVERSIONINFOA info) { return Machine().GetVersionExA(info); }

}  // namespace sys
