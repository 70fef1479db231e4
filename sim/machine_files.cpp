// The machine's files, as an administrator keeps disk images on its volumes: opened by path,
// read to their end, held here or read from the host.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "sim/machine.h"
#include "sim/names.h"

namespace sim {

namespace {

uint64_t Hash(const std::string& text) {  // FNV-1a: a stable number for a name
  uint64_t h = 14695981039346656037ull;
  for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h;
}

}  // namespace

std::string Machine::Resolved(const std::string& path) const {
  std::string key = PathKey(path);
  for (int round = 0; round < 32; ++round) {  // a link to a link, but never a loop forever
    bool moved = false;
    for (const auto& [name, folder] : folders) {
      if (folder.linkTo.empty()) continue;
      const std::string link = PathKey(name);
      if (key == link || (key.size() > link.size() && key.compare(0, link.size(), link) == 0 &&
                          key[link.size()] == '\\')) {
        key = PathKey(folder.linkTo) + key.substr(link.size());
        moved = true;
        break;
      }
    }
    if (!moved) break;
  }
  return key;
}

bool Machine::IsFolder(const std::string& key) const {
  if (key.size() == 2 && key[1] == ':') return true;
  for (const auto& entry : folders)
    if (PathKey(entry.first) == key) return true;
  const std::string under = key + "\\";
  for (const auto& entry : files)
    if (PathKey(entry.first).compare(0, under.size(), under) == 0) return true;
  return false;
}

bool Machine::IdentityOf(const OpenDevice& device, uint64_t* volume, uint64_t* index) const {
  const std::string& key = device.folder;  // a file's path, too
  if (key.empty()) return false;
  // The volume: the path's root ("c:", or the host's "" for "/tmp/...").
  *volume = Hash(key.substr(0, key.find('\\'))) & 0xFFFFFFFFu;
  *index = device.file != nullptr && device.file->index != 0 ? device.file->index
           : device.file != nullptr                            ? Hash(key)
                                                               : Hash(key) | 1ull << 63;
  return true;
}

// A file: found by its path in any case, after the "\\?\" prefix that lifts the length
// limit, through any link on the way; anyone may read it. One a running virtual machine
// holds without sharing opens for nobody who reads. A folder opens only with backup
// semantics, and only to ask who it is.
HANDLE Machine::OpenFile(Call& call, DWORD access, DWORD disposition) {
  const std::string key = Resolved(call.path);
  auto found = files.find(call.path);  // most paths are asked as the machine holds them
  if (found == files.end())
    found = std::find_if(files.begin(), files.end(),
                         [&](const auto& entry) { return PathKey(entry.first) == key; });
  const bool reads = access != 0 && access != FILE_READ_ATTRIBUTES;
  call.failed = true;
  OpenDevice device;
  device.access = access;
  device.folder = key;
  if (found != files.end()) {
    if (found->second.inUse && reads) return Fail(ERROR_SHARING_VIOLATION), INVALID_HANDLE_VALUE;
    device.file = &found->second;
  } else if (!IsFolder(key)) {
    return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
  } else if ((call.flags & FILE_FLAG_BACKUP_SEMANTICS) == 0 || reads) {
    return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
  }
  if (disposition != OPEN_EXISTING) return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
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
  if (::stat(path.c_str(), &status) == 0) {
    file.size = static_cast<uint64_t>(status.st_size);
    file.index = static_cast<uint64_t>(status.st_ino);
  }
  return file;
}

}  // namespace sim
