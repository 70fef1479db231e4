// The machine's files, as an administrator keeps disk images on its volumes: opened by path,
// read to their end, held here or read from the host.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "sim/machine.h"
#include "sim/names.h"

namespace sim {

// A file: found by its path in any case, after the "\\?\" prefix that lifts the length
// limit; anyone may read it. One a running virtual machine holds without sharing opens for
// nobody.
HANDLE Machine::OpenFile(Call& call, DWORD access, DWORD disposition) {
  std::string path = call.path;
  if (StartsWithNoCase(path, "\\\\?\\")) path.erase(0, 4);
  const auto same = [&](const auto& entry) {
    return entry.first.size() == path.size() && StartsWithNoCase(path, entry.first.c_str());
  };
  const auto found = std::find_if(files.begin(), files.end(), same);
  call.failed = true;
  if (found == files.end()) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
  if (found->second.inUse) return Fail(ERROR_SHARING_VIOLATION), INVALID_HANDLE_VALUE;
  if (disposition != OPEN_EXISTING) return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
  OpenDevice device;
  device.file = &found->second;
  device.access = access;
  HANDLE handle = sys::MintHandle(m_nextHandle);
  m_handles[handle] = device;
  call.handle = handle;
  call.failed = false;
  m_lastError = ERROR_SUCCESS;
  return handle;
}

// A file reads to its end, and there succeeds short; its holes read as zeros.
BOOL Machine::ReadOpenFile(OpenDevice& device, uint8_t* out, DWORD size, LPDWORD read, Call& c) {
  const File& file = *device.file;
  const uint64_t available = device.position >= file.size ? 0 : file.size - device.position;
  const auto n = static_cast<size_t>(std::min<uint64_t>(size, available));
  std::memset(out, 0, n);
  if (!file.hostPath.empty() && n > 0) {
    std::FILE* host = std::fopen(file.hostPath.c_str(), "rb");
    const bool ok = host && fseeko(host, static_cast<off_t>(device.position), SEEK_SET) == 0 &&
                    std::fread(out, 1, n, host) == n;
    if (host) std::fclose(host);
    if (!ok) return Fail(ERROR_READ_FAULT);
  }
  for (const auto& [at, bytes] : file.extents) {
    const uint64_t from = std::max(at, device.position);
    const uint64_t to = std::min(at + bytes.size(), device.position + n);
    if (from < to)
      std::memcpy(out + (from - device.position), bytes.data() + (from - at),
                  static_cast<size_t>(to - from));
  }
  device.position += n;
  if (read) *read = static_cast<DWORD>(n);
  c.failed = false;
  m_lastError = ERROR_SUCCESS;
  return TRUE;
}

File HostFile(const std::string& path) {
  File file;
  file.hostPath = path;
  struct stat status;
  if (::stat(path.c_str(), &status) == 0) file.size = static_cast<uint64_t>(status.st_size);
  return file;
}

}  // namespace sim
