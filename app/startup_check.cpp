#include "app/startup_check.h"

#include <cstring>

#include "platform/sys.h"

StartupRefusal CheckStartup() {
  // Zeroed first: should the query fail, the platform reads as not NT.
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  sys::GetVersionExA(&version);
  if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return StartupRefusal::NotNt;

  // Raw read and write access to drive 0 is the test of administrative rights; nothing
  // is read or written here.
  HANDLE drive =
      sys::CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (drive == INVALID_HANDLE_VALUE) return StartupRefusal::NoRawAccess;
  sys::CloseHandle(drive);
  return StartupRefusal::None;
}
