// The real machine: each operation forwards to Windows. The door in front of it
// (sys.cpp) has already refused whatever is not one of the program's reads.
#include "platform/backend.h"

namespace sys {

namespace {

class Windows final : public Backend {
 public:
  HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD flags, HANDLE templateFile) override {
    return ::CreateFileA(path, access, share, security, disposition, flags, templateFile);
  }
  BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                       DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) override {
    return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
  }
  DWORD SetFilePointer(HANDLE file, LONG low, PLONG high, DWORD method) override {
    return ::SetFilePointer(file, low, high, method);
  }
  BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read,
                LPOVERLAPPED overlapped) override {
    return ::ReadFile(file, buffer, size, read, overlapped);
  }
  BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
  DWORD GetLastError() override { return ::GetLastError(); }
  UINT GetDriveTypeA(LPCSTR root) override { return ::GetDriveTypeA(root); }
  BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                         LPDWORD freeClusters, LPDWORD totalClusters) override {
    return ::GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters,
                               totalClusters);
  }
  BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                             LPDWORD serialNumber, LPDWORD maxComponentLength,
                             LPDWORD fileSystemFlags, LPSTR fileSystemName,
                             DWORD fileSystemNameSize) override {
    return ::GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber,
                                   maxComponentLength, fileSystemFlags, fileSystemName,
                                   fileSystemNameSize);
  }
  LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) override {
    return ::VirtualAlloc(address, size, type, protect);
  }
  BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) override {
    return ::VirtualFree(address, size, type);
  }
  HANDLE FindFirstVolumeA(LPSTR volumeName, DWORD size) override {
    return ::FindFirstVolumeA(volumeName, size);
  }
  BOOL FindNextVolumeA(HANDLE find, LPSTR volumeName, DWORD size) override {
    return ::FindNextVolumeA(find, volumeName, size);
  }
  BOOL FindVolumeClose(HANDLE find) override { return ::FindVolumeClose(find); }
  HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) override {
    return ::FindFirstFileA(pattern, found);
  }
  BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA found) override {
    return ::FindNextFileA(find, found);
  }
  BOOL FindClose(HANDLE find) override { return ::FindClose(find); }
  BOOL GetVolumePathNamesForVolumeNameA(LPCSTR volumeName, LPSTR paths, DWORD size,
                                        PDWORD returned) override {
    return ::GetVolumePathNamesForVolumeNameA(volumeName, paths, size, returned);
  }
  BOOL GetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR volumeName, DWORD size) override {
    return ::GetVolumeNameForVolumeMountPointA(mountPoint, volumeName, size);
  }
  BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) override {
    return ::OpenProcessToken(process, access, token);
  }
  BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD size,
                           PDWORD returned) override {
    return ::GetTokenInformation(token, infoClass, info, size, returned);
  }
  BOOL GetComputerNameA(LPSTR name, LPDWORD size) override {
    return ::GetComputerNameA(name, size);
  }
  UINT GetACP() override { return ::GetACP(); }
  void GetSystemTimeAsFileTime(LPFILETIME time) override { ::GetSystemTimeAsFileTime(time); }
  int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int textBytes, LPWSTR wide,
                          int wideChars) override {
    return ::MultiByteToWideChar(codePage, flags, text, textBytes, wide, wideChars);
  }
  int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideChars, LPSTR text,
                          int textBytes, LPCCH defaultChar, LPBOOL usedDefault) override {
    return ::WideCharToMultiByte(codePage, flags, wide, wideChars, text, textBytes, defaultChar,
                                 usedDefault);
  }
  // In kernel32 from Vista; looked up when first asked, so that the programs still start
  // on a system without it, where the question fails as a class it does not know.
  BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID info,
                                    DWORD size) override {
    using Function = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
    static const auto function = reinterpret_cast<Function>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx")));
    if (function == nullptr) {
      ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
      return FALSE;
    }
    return function(file, infoClass, info, size);
  }
  BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) override {
    return ::GetFileInformationByHandle(file, info);
  }
  BOOL GetVersionExA(LPOSVERSIONINFOA info) override {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return ::GetVersionExA(info);
#pragma GCC diagnostic pop
  }
};

}  // namespace

Backend& WindowsBackend() {
  static Windows windows;
  return windows;
}

}  // namespace sys
