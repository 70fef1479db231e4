#include "sim/machine.h"

#include "sim/names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

namespace sim {

namespace {

// "X:\" -> 'X'; anything else -> 0.
char RootLetter(LPCSTR root) {
  if (root == nullptr || std::strlen(root) != 3 || root[1] != ':' || root[2] != '\\') return 0;
  if (!std::isalpha(static_cast<unsigned char>(root[0]))) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
}

}  // namespace

void (*Installation::onUnmodelled)(const std::vector<std::string>&) = nullptr;

Machine::Machine() = default;

Machine::~Machine() {
  if (sys::Chosen() == this) sys::Use(nullptr);
}

std::vector<Call> Machine::Calls(const std::string& op) const {
  std::vector<Call> out;
  for (const Call& c : m_log)
    if (c.op == op) out.push_back(c);
  return out;
}

Call& Machine::Record(Call call) {
  ++m_calls;
  if (!keepLog) {
    m_unkept = std::move(call);
    return m_unkept;
  }
  m_log.push_back(std::move(call));
  return m_log.back();
}

// True when this call is the one chosen to fail; records the failure and the error.
bool Machine::Injected(Call& call, DWORD error) {
  if (failCall < 0 || static_cast<size_t>(failCall) + 1 != m_calls) return false;
  call.failed = true;
  m_lastError = error;
  return true;
}

Machine::OpenDevice* Machine::Find(HANDLE handle) {
  auto it = m_handles.find(handle);
  return it == m_handles.end() ? nullptr : &it->second;
}

Volume* Machine::FindRoot(LPCSTR root) {
  if (root == nullptr) return nullptr;
  auto it = letters.find(RootLetter(root));
  if (it != letters.end()) return &it->second;
  if (Volume* named = FindByName(root)) return named;
  auto mountedAt = [root](const Volume& v) {
    return std::any_of(v.mountPaths.begin(), v.mountPaths.end(),
                       [root](const std::string& path) { return SameNoCase(path, root); });
  };
  for (auto& [letter, v] : letters)
    if (mountedAt(v)) return &v;
  for (auto& [name, v] : unlettered)
    if (mountedAt(v)) return &v;
  return nullptr;
}

Volume* Machine::FindByName(const std::string& name) {
  auto it = unlettered.find(name);
  if (it != unlettered.end()) return &it->second;
  for (auto& [letter, v] : letters)
    if (SameNoCase(NameOf(letter, v), name)) return &v;
  for (auto& [n, v] : unlettered)
    if (SameNoCase(n, name)) return &v;
  return nullptr;
}

std::string Machine::NameOf(const Volume* volume) const {
  for (const auto& [letter, v] : letters)
    if (&v == volume) return NameOf(letter, v);
  for (const auto& [name, v] : unlettered)
    if (&v == volume) return name;
  return {};
}

std::string Machine::NameOf(char letter, const Volume& v) {
  if (!v.name.empty()) return v.name;
  char name[64];
  std::snprintf(name, sizeof name, "\\\\?\\Volume{5e55a2e1-0000-4000-8000-0000000000%02x}\\",
                static_cast<unsigned char>(letter));
  return name;
}

std::vector<std::string> Machine::EnumeratedNames() const {
  std::vector<std::string> names;
  for (const auto& [letter, volume] : letters) names.push_back(NameOf(letter, volume));
  for (const auto& [name, volume] : unlettered) names.push_back(name);
  return names;
}

const Drive* Machine::DriveAt(int64_t number) const {
  if (number < 0) return nullptr;
  auto it = drives.find(static_cast<uint32_t>(number));
  return it == drives.end() ? nullptr : &it->second;
}

uint32_t Machine::SectorSizeOf(const OpenDevice& device) const {
  if (const Drive* d = DriveAt(device.drive)) return d->sectorSize;
  const Volume& volume = *device.volume;
  const Drive* host =
      DriveAt(volume.extents.empty() ? volume.hostDrive : volume.extents.front().disk);
  return host ? host->sectorSize : volume.ownSectorSize;
}

// The device a path names: a volume by its name (without its trailing backslash), a
// physical drive by its number, or a drive letter's volume; and how its open ends.
Open Machine::ParseDevicePath(const std::string& p, OpenDevice* device) {
  Open outcome = Open::NotFound;
  if (Volume* v = StartsWithNoCase(p, "\\\\?\\") ? FindByName(p + '\\') : nullptr) {
    device->volume = v;
    outcome = v->open;
  }
  if (StartsWithNoCase(p, "\\\\.\\PhysicalDrive")) {
    // A decimal number as the system writes it: no sign, no leading zero, 32 bits.
    const std::string number = p.substr(17);
    const bool digits = !number.empty() && number.size() <= 10 &&
                        number.find_first_not_of("0123456789") == std::string::npos &&
                        (number == "0" || number[0] != '0');
    const uint64_t n = digits ? std::stoull(number) : ~uint64_t{0};
    if (n <= 0xFFFFFFFFu) {
      device->drive = static_cast<int64_t>(n);
      if (const Drive* d = DriveAt(device->drive)) outcome = d->open;
    }
  } else if (p.size() == 6 && StartsWithNoCase(p, "\\\\.\\") && p[5] == ':' &&
             std::isalpha(static_cast<unsigned char>(p[4]))) {
    auto it = letters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(p[4]))));
    if (it != letters.end()) {
      device->volume = &it->second;
      outcome = it->second.open;
    }
  }
  return outcome;
}

HANDLE Machine::CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                            DWORD disposition, DWORD flags, HANDLE) {
  Call& call = Record(Call("CreateFileA", path ? path : ""));
  call.access = access;
  call.share = share;
  call.disposition = disposition;
  call.flags = flags;
  if (Injected(call, ERROR_SHARING_VIOLATION)) return INVALID_HANDLE_VALUE;
  auto refuse = [&](DWORD error) {
    call.failed = true;
    m_lastError = error;
    return INVALID_HANDLE_VALUE;
  };

  OpenDevice device;
  const Open outcome = ParseDevicePath(call.path, &device);
  if (device.drive < 0 && device.volume == nullptr && !StartsWithNoCase(call.path, "\\\\.\\"))
    return OpenFile(call, access, disposition);
  switch (outcome) {
    case Open::NotFound:
      return refuse(ERROR_FILE_NOT_FOUND);
    case Open::AccessDenied:
      return refuse(ERROR_ACCESS_DENIED);
    case Open::SharingViolation:
      return refuse(ERROR_SHARING_VIOLATION);
    case Open::ReadOnly:
      if (access & GENERIC_WRITE) return refuse(ERROR_ACCESS_DENIED);
      break;
    case Open::Ok:
      break;
  }
  // Disk and volume devices grant reading and writing to administrators only; access 0
  // (query attributes only) to anyone.
  if (user == User::Standard && access != 0) return refuse(ERROR_ACCESS_DENIED);
  if (policyBlocksDriveWrites && device.drive >= 0 && (access & GENERIC_WRITE))
    return refuse(ERROR_ACCESS_DENIED);
  if (disposition != OPEN_EXISTING) return refuse(ERROR_INVALID_PARAMETER);
  // The file systems on a disk keep it open for reading and writing: a caller that will
  // not share both cannot open it. An open for no access reads and writes nothing, and
  // Windows checks no sharing for it.
  if (access != 0 &&
      (share & (FILE_SHARE_READ | FILE_SHARE_WRITE)) != (FILE_SHARE_READ | FILE_SHARE_WRITE))
    return refuse(ERROR_SHARING_VIOLATION);

  device.access = access;
  device.unbuffered = (flags & FILE_FLAG_NO_BUFFERING) != 0;
  HANDLE handle = sys::MintHandle(m_nextHandle);
  m_handles[handle] = device;
  call.handle = handle;
  m_lastError = ERROR_SUCCESS;
  return handle;
}

DWORD Machine::SetFilePointer(HANDLE handle, LONG low, PLONG high, DWORD method) {
  Call call("SetFilePointer");
  call.handle = handle;
  // Without a high half, the low half is a signed distance.
  const int64_t target =
      high ? static_cast<int64_t>(sys::FilePosition(static_cast<DWORD>(low), high))
           : static_cast<int64_t>(low);
  call.position = static_cast<uint64_t>(target);
  Call& c = Record(std::move(call));
  if (Injected(c, ERROR_INVALID_PARAMETER)) return INVALID_SET_FILE_POINTER;
  OpenDevice* device = Find(handle);
  // Files are also sought from their end; the devices here only from their start.
  const bool fromEnd = device && device->file && method == FILE_END;
  if (device == nullptr || (method != FILE_BEGIN && !fromEnd)) {
    Fail(c, device ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  if (fromEnd) {
    c.position = static_cast<uint64_t>(target) + device->file->size;
    if (target < 0 && static_cast<uint64_t>(-target) > device->file->size) {
      Fail(c, ERROR_NEGATIVE_SEEK);
      return INVALID_SET_FILE_POINTER;
    }
    device->position = c.position;
    if (high) *high = static_cast<LONG>(device->position >> 32);
    m_lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(device->position);
  }
  if (target < 0) {
    Fail(c, ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  device->position = static_cast<uint64_t>(target);
  if (high) *high = static_cast<LONG>(device->position >> 32);
  m_lastError = ERROR_SUCCESS;
  return static_cast<DWORD>(device->position);
}

Bytes Machine::ReadDeviceSector(const OpenDevice& device, uint64_t lba) const {
  if (const Drive* d = DriveAt(device.drive)) return d->ReadSector(lba);
  const Volume& volume = *device.volume;
  const uint32_t size = SectorSizeOf(device);
  // The volume's bytes are its pieces' bytes, one piece after the other.
  uint64_t at = lba * size;
  const std::vector<Extent> pieces =
      volume.extents.empty() && volume.hostDrive >= 0
          ? std::vector<Extent>{{0, static_cast<uint64_t>(volume.startingOffset), ~uint64_t{0}}}
          : volume.extents;
  for (const Extent& piece : pieces) {
    if (at >= piece.length) {
      at -= piece.length;
      continue;
    }
    const Drive* host = DriveAt(volume.extents.empty() ? volume.hostDrive : piece.disk);
    if (host == nullptr) break;
    Bytes sector = ReadSparse(host->sectors, host->sectorSize, piece.offset + at, size);
    if (volume.encryptionKey != 0) Cipher(volume.encryptionKey, lba, sector);
    return sector;
  }
  return ReadSparse(volume.ownSectors, size, lba * size, size);
}

BOOL Machine::ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED) {
  Call call("ReadFile");
  call.handle = handle;
  call.size = size;
  Call& c = Record(std::move(call));
  ++readCalls;
  readBytes += size;
  if (read) *read = 0;
  if (Injected(c, ERROR_CRC)) return FALSE;
  c.failed = true;
  OpenDevice* device = Find(handle);
  if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (!(device->access & GENERIC_READ)) return Fail(ERROR_ACCESS_DENIED);
  c.position = device->position;
  if (device->file) return ReadOpenFile(*device, static_cast<uint8_t*>(buffer), size, read, c);
  const uint32_t sector = SectorSizeOf(*device);
  if (sector == 0) return Fail(ERROR_INVALID_PARAMETER);
  // Unbuffered I/O moves whole sectors between sector-aligned places, or nothing.
  const Drive* drive = DriveAt(device->drive);
  const uint32_t alignment = drive && drive->readAlignment ? drive->readAlignment : sector;
  if (device->unbuffered && (size % sector != 0 || device->position % sector != 0 ||
                             reinterpret_cast<uintptr_t>(buffer) % alignment != 0))
    return Fail(ERROR_INVALID_PARAMETER);

  const uint64_t capacity = drive ? drive->sectorCount * sector : ~uint64_t{0};
  const uint64_t available = device->position >= capacity ? 0 : capacity - device->position;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(size, available));
  auto* out = static_cast<uint8_t*>(buffer);
  for (size_t done = 0; done < n;) {
    const uint64_t at = device->position + done;
    const Bytes s = ReadDeviceSector(*device, at / sector);
    const size_t within = static_cast<size_t>(at % sector);
    const size_t chunk = std::min(n - done, static_cast<size_t>(sector) - within);
    std::memcpy(out + done, s.data() + within, chunk);
    done += chunk;
  }
  device->position += n;
  if (read) *read = static_cast<DWORD>(n);
  c.failed = false;
  m_lastError = ERROR_SUCCESS;
  return TRUE;
}

BOOL Machine::CloseHandle(HANDLE handle) {
  Call call("CloseHandle");
  call.handle = handle;
  Call& c = Record(std::move(call));
  if (m_handles.erase(handle) == 0 && m_tokens.erase(handle) == 0) {
    return Fail(c, ERROR_INVALID_HANDLE);
  }
  return TRUE;
}

BOOL Machine::OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  Call call("OpenProcessToken");
  call.access = access;
  Call& c = Record(std::move(call));
  if (Injected(c, ERROR_ACCESS_DENIED)) return FALSE;
  // Only this process is modelled: its pseudo handle.
  if (process != GetCurrentProcess()) return Fail(c, ERROR_INVALID_HANDLE);
  if (token == nullptr) return Fail(c, ERROR_NOACCESS);
  *token = sys::MintHandle(m_nextHandle);
  m_tokens[*token] = access;
  c.handle = *token;
  m_lastError = ERROR_SUCCESS;
  return TRUE;
}

// The computer's name with its terminator, where the buffer holds both; else the size it
// needs, and ERROR_BUFFER_OVERFLOW.
BOOL Machine::GetComputerNameA(LPSTR name, LPDWORD size) {
  Call& c = Record(Call("GetComputerNameA"));
  if (Injected(c, ERROR_INVALID_PARAMETER)) return FALSE;
  if (size == nullptr) return Fail(c, ERROR_INVALID_PARAMETER);
  c.size = *size;
  const auto needed = static_cast<DWORD>(computerName.size() + 1);
  if (name == nullptr || *size < needed) {
    *size = needed;
    return Fail(c, ERROR_BUFFER_OVERFLOW);
  }
  std::memcpy(name, computerName.c_str(), needed);
  *size = needed - 1;
  m_lastError = ERROR_SUCCESS;
  return TRUE;
}

void Machine::GetSystemTimeAsFileTime(LPFILETIME time) {
  Record(Call("GetSystemTimeAsFileTime"));
  time->dwLowDateTime = static_cast<DWORD>(systemTime);
  time->dwHighDateTime = static_cast<DWORD>(systemTime >> 32);
}

BOOL Machine::GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                  DWORD size, PDWORD returned) {
  Call call("GetTokenInformation");
  call.handle = token;
  call.code = static_cast<DWORD>(infoClass);
  call.size = size;
  Call& c = Record(std::move(call));
  if (Injected(c, ERROR_INVALID_PARAMETER)) return FALSE;
  auto it = m_tokens.find(token);
  if (it == m_tokens.end()) return Fail(c, ERROR_INVALID_HANDLE);
  if (!(it->second & TOKEN_QUERY)) return Fail(c, ERROR_ACCESS_DENIED);
  // Only the elevation is modelled, and it came with Vista: before it, no such class.
  if (infoClass != TokenElevation || majorVersion < 6) return Fail(c, ERROR_INVALID_PARAMETER);
  if (returned) *returned = sizeof(TOKEN_ELEVATION);
  if (info == nullptr || size < sizeof(TOKEN_ELEVATION)) return Fail(c, ERROR_INSUFFICIENT_BUFFER);
  const TOKEN_ELEVATION elevation = {user == User::ElevatedAdministrator ? 1u : 0u};
  std::memcpy(info, &elevation, sizeof elevation);
  m_lastError = ERROR_SUCCESS;
  return TRUE;
}

UINT Machine::GetDriveTypeA(LPCSTR root) {
  Call& c = Record(Call("GetDriveTypeA", root ? root : ""));
  if (Injected(c, ERROR_NOT_READY)) return DRIVE_UNKNOWN;
  const Volume* l = FindRoot(root);
  return l ? l->type : DRIVE_NO_ROOT_DIR;
}

BOOL Machine::GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                LPDWORD freeClusters, LPDWORD totalClusters) {
  Call& c = Record(Call("GetDiskFreeSpaceA", root ? root : ""));
  if (Injected(c, ERROR_NOT_READY)) return FALSE;
  const Volume* l = FindRoot(root);
  if (l == nullptr || !l->freeSpaceOk) {
    return Fail(c, l ? ERROR_NOT_READY : ERROR_PATH_NOT_FOUND);
  }
  if (sectorsPerCluster) *sectorsPerCluster = l->sectorsPerCluster;
  if (bytesPerSector) *bytesPerSector = l->bytesPerSector;
  if (freeClusters) *freeClusters = 1000;
  if (totalClusters) *totalClusters = 100000;
  return TRUE;
}

BOOL Machine::GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                                    LPDWORD serialNumber, LPDWORD maxComponentLength,
                                    LPDWORD fileSystemFlags, LPSTR fileSystemName,
                                    DWORD fileSystemNameSize) {
  Call& c = Record(Call("GetVolumeInformationA", root ? root : ""));
  c.size = fileSystemNameSize;
  if (Injected(c, ERROR_NOT_READY)) return FALSE;
  const Volume* l = FindRoot(root);
  if (l == nullptr || !l->fileSystemOk) {
    return Fail(c, ERROR_NOT_READY);
  }
  if (fileSystemName && l->fileSystem.size() + 1 > fileSystemNameSize) {
    return Fail(c, ERROR_INSUFFICIENT_BUFFER);
  }
  if (volumeName && volumeNameSize > 0) volumeName[0] = '\0';
  if (serialNumber) *serialNumber = 0x1234ABCD;
  if (maxComponentLength) *maxComponentLength = 255;
  if (fileSystemFlags) *fileSystemFlags = 0;
  if (fileSystemName) std::memcpy(fileSystemName, l->fileSystem.c_str(), l->fileSystem.size() + 1);
  return TRUE;
}

LPVOID Machine::VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  Call call("VirtualAlloc");
  call.size = static_cast<DWORD>(size);
  Call& c = Record(std::move(call));
  if (Injected(c, ERROR_NOT_ENOUGH_MEMORY)) return nullptr;
  if (address != nullptr || size == 0 || !(type & MEM_COMMIT) || protect != PAGE_READWRITE) {
    Fail(c, ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (size > addressSpace) {
    Fail(c, ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* block = m_buffers.Allocate(size);
  if (block == nullptr) {
    Fail(c, ERROR_NOT_ENOUGH_MEMORY);
  }
  return block;
}

BOOL Machine::VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  Call& c = Record(Call("VirtualFree"));
  // MEM_RELEASE frees the whole block and takes no size.
  if (type != MEM_RELEASE || size != 0 || !m_buffers.Free(address)) {
    return Fail(c, ERROR_INVALID_PARAMETER);
  }
  return TRUE;
}

BOOL Machine::GetVersionExA(LPOSVERSIONINFOA info) {
  Call& c = Record(Call("GetVersionExA"));
  if (Injected(c, ERROR_INVALID_PARAMETER)) return FALSE;
  if (info == nullptr || (info->dwOSVersionInfoSize != 148 && info->dwOSVersionInfoSize != 156)) {
    return Fail(c, ERROR_INSUFFICIENT_BUFFER);
  }
  const bool nt = platformId == VER_PLATFORM_WIN32_NT;
  info->dwMajorVersion = nt ? majorVersion : 4;
  info->dwMinorVersion = nt ? minorVersion : 10;
  info->dwBuildNumber = nt ? buildNumber : 2222;
  info->dwPlatformId = platformId;
  info->szCSDVersion[0] = '\0';
  return TRUE;
}

namespace {
// Copies a name and its terminator into a caller's buffer of `size` characters.
BOOL CopyName(const std::string& name, LPSTR out, DWORD size, DWORD* lastError) {
  if (out == nullptr || name.size() + 1 > size) {
    *lastError = ERROR_FILENAME_EXCED_RANGE;
    return FALSE;
  }
  std::memcpy(out, name.c_str(), name.size() + 1);
  return TRUE;
}
}  // namespace

BOOL Machine::NextVolume(VolumeSearch& search, LPSTR name, DWORD size) {
  if (search.next >= search.names.size()) return Fail(ERROR_NO_MORE_FILES);
  std::string n = search.names[search.next];
  if (namesWithoutBackslash && !n.empty() && n.back() == '\\') n.pop_back();
  if (!CopyName(n, name, size, &m_lastError)) return FALSE;
  ++search.next;
  m_lastError = ERROR_SUCCESS;
  return TRUE;
}

HANDLE Machine::FindFirstVolumeA(LPSTR name, DWORD size) {
  Call& c = Record(Call("FindFirstVolumeA"));
  c.size = size;
  if (Injected(c, ERROR_NOT_READY)) return INVALID_HANDLE_VALUE;
  VolumeSearch search{EnumeratedNames(), 0};
  if (!enumerationOk || !NextVolume(search, name, size)) {
    if (!enumerationOk) m_lastError = ERROR_ACCESS_DENIED;
    c.failed = true;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE find = sys::MintHandle(m_nextHandle);
  m_finds[find] = std::move(search);
  c.handle = find;
  return find;
}

BOOL Machine::FindNextVolumeA(HANDLE find, LPSTR name, DWORD size) {
  Call& c = Record(Call("FindNextVolumeA"));
  c.handle = find;
  c.size = size;
  if (Injected(c, ERROR_NOT_READY)) return FALSE;
  auto it = m_finds.find(find);
  if (it == m_finds.end()) {
    return Fail(c, ERROR_INVALID_HANDLE);
  }
  if (!NextVolume(it->second, name, size)) {
    c.failed = true;
    return FALSE;
  }
  return TRUE;
}

BOOL Machine::FindVolumeClose(HANDLE find) {
  Call& c = Record(Call("FindVolumeClose"));
  c.handle = find;
  if (m_finds.erase(find) == 0) {
    return Fail(c, ERROR_INVALID_HANDLE);
  }
  return TRUE;
}

BOOL Machine::GetVolumePathNamesForVolumeNameA(LPCSTR name, LPSTR paths, DWORD size,
                                               PDWORD returned) {
  Call& c = Record(Call("GetVolumePathNamesForVolumeNameA", name ? name : ""));
  c.size = size;
  if (Injected(c, ERROR_NOT_READY)) return FALSE;
  c.failed = true;
  // Only a volume name, with its trailing backslash, names a volume here.
  if (Volume* v = name != nullptr && std::strlen(name) > 4 && name[std::strlen(name) - 1] == '\\'
                      ? FindByName(name)
                      : nullptr) {
    std::string list;
    for (auto& [letter, l] : letters)
      if (&l == v) list += std::string(1, letter) + ":\\" + '\0';
    for (const std::string& path : v->mountPaths) list += path + '\0';
    list += '\0';
    const auto needed = static_cast<DWORD>(list.size());
    if (paths == nullptr || size < needed) {
      if (returned) *returned = claimedPathsLength != 0 ? claimedPathsLength : needed;
      return Fail(ERROR_MORE_DATA);
    }
    std::memcpy(paths, list.data(), list.size());
    if (returned) *returned = needed;
    c.failed = false;
    m_lastError = ERROR_SUCCESS;
    return TRUE;
  }
  return Fail(ERROR_INVALID_NAME);
}

BOOL Machine::GetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR name, DWORD size) {
  Call& c = Record(Call("GetVolumeNameForVolumeMountPointA", mountPoint ? mountPoint : ""));
  c.size = size;
  if (Injected(c, ERROR_NOT_READY)) return FALSE;
  c.failed = true;
  if (const Volume* mounted = FindRoot(mountPoint)) {
    if (!CopyName(NameOf(mounted), name, size, &m_lastError)) return FALSE;
    c.failed = false;
    m_lastError = ERROR_SUCCESS;
    return TRUE;
  }
  return Fail(ERROR_INVALID_NAME);
}

}  // namespace sim
