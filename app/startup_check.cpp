#include "app/startup_check.h"

#include <cstring>

#include "platform/device.h"
#include "platform/sys.h"

StartupCheck CheckStartup() {
  // Zeroed first: should the query fail, the platform reads as not NT.
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  sys::GetVersionExA(&version);
  if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return {StartupRefusal::NotNt, 0};

  // Raw read and write access to drive 0 is the test of administrative rights; nothing
  // is read or written here.
  const Device drive(PhysicalDrivePath(0), GENERIC_READ | GENERIC_WRITE, 0);
  if (drive.IsOpen()) return {};
  return {StartupRefusal::NoRawAccess, drive.OpenError()};
}
