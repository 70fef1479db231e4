#include "platform/system_dlls.h"

#include <string>

void RestrictDllSearchToSystemFolder() {
  // From Windows 8, and on Vista and 7 with KB2533623; not imported, so the programs
  // still start where it is missing.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  // Without it, at least the current folder leaves the search.
  ::SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* name) {
  HMODULE module = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
    module = LoadSystemLibraryByPath(name);
  return module;
}

HMODULE LoadSystemLibraryByPath(const char* name) {
  char folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::string path = std::string(folder, length) + "\\" + name;
  // The altered search looks for the DLL's own imports in its folder first.
  return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
