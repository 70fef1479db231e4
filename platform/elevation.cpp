#include "platform/elevation.h"

#include "platform/sys.h"

Elevation AskElevation() {
  HANDLE token = nullptr;
  if (!sys::OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return Elevation::Unknown;
  TOKEN_ELEVATION elevation = {};
  DWORD returned = 0;
  // TokenElevation came with Vista: older systems fail the query.
  const bool ok =
      sys::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &returned) &&
      returned >= sizeof elevation;
  sys::CloseHandle(token);
  if (!ok) return Elevation::Unknown;
  return elevation.TokenIsElevated != 0 ? Elevation::Elevated : Elevation::NotElevated;
}

std::string AskComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  // A name that would not fit the largest Windows gives is no name.
  if (!sys::GetComputerNameA(name, &size) || size >= sizeof name) return "";
  return std::string(name, size);
}
