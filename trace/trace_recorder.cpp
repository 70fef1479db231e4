#include "trace/trace_recorder.h"

#include <cstring>

#include "res/version.h"
#include "trace/trace_calls.h"

namespace trace {

namespace {

std::string Text(LPCSTR text) { return text != nullptr ? text : ""; }

// A name the system wrote into a buffer of `size` characters: up to its terminator.
std::string Written(LPCSTR buffer, DWORD size) {
  if (buffer == nullptr) return {};
  const void* end = std::memchr(buffer, '\0', size);
  return std::string(buffer, end ? static_cast<LPCSTR>(end) : buffer + size);
}

// The first `size` bytes at `bytes`; nothing without a buffer.
Bytes Copy(const void* bytes, size_t size) {
  if (bytes == nullptr) return {};
  const auto* b = static_cast<const uint8_t*>(bytes);
  return Bytes(b, b + size);
}

template <typename T>
std::optional<T> At(const T* value) {
  return value != nullptr ? std::optional<T>(*value) : std::nullopt;
}

}  // namespace

std::string WindowsVersion(sys::Backend& machine) {
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!machine.GetVersionExA(&version)) return "unknown";
  version.szCSDVersion[sizeof version.szCSDVersion - 1] = '\0';
  std::string windows =
      std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) + "." +
      std::to_string(version.dwBuildNumber) + " platform " + std::to_string(version.dwPlatformId);
  if (version.szCSDVersion[0] != '\0') windows += std::string(" ") + version.szCSDVersion;
  return windows;
}

Recorder::Recorder(sys::Backend& inner, std::FILE* out, const std::string& program,
                   const std::string& windows)
    : m_inner(inner), m_out(out) {
  JsonWriter line(JsonWriter::Layout::OneLine);
  line.BeginObject();
  line.Member("program", program);
  line.Member("version", TESSAREL_VERSION);
  line.Member("windows", windows);
  line.EndObject();
  Put(line.Text());
}

void Recorder::Put(const std::string& line) {
  if (std::fwrite(line.data(), 1, line.size(), m_out) != line.size()) m_failed = true;
}

template <class C>
void Recorder::Write(C& call) {
  JsonWriter line(JsonWriter::Layout::OneLine);
  line.BeginObject();
  line.Member("call", C::kName);
  FieldWriter fields(line);
  call.Fields(fields);
  line.Member("error", m_inner.GetLastError());
  line.EndObject();
  Put(line.Text());
}

uint64_t Recorder::Opened(HANDLE handle) {
  m_positions[handle] = 0;
  return m_numbers[handle] = m_next++;
}

uint64_t Recorder::NumberOf(HANDLE handle) const {
  auto it = m_numbers.find(handle);
  return it == m_numbers.end() ? 0 : it->second;
}

void Recorder::Closed(HANDLE handle) {
  m_numbers.erase(handle);
  m_positions.erase(handle);
}

HANDLE Recorder::CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile) {
  HANDLE h = m_inner.CreateFileA(path, access, share, security, disposition, flags, templateFile);
  CreateFileCall call{{}, Text(path), access, share, disposition, flags, std::nullopt};
  if (h != INVALID_HANDLE_VALUE) call.handle = Opened(h);
  Write(call);
  return h;
}

BOOL Recorder::DeviceIoControl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                               DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  DeviceIoControlCall call;
  call.handle = NumberOf(h);
  call.code = code;
  if (in != nullptr) call.in = Copy(in, inSize);  // before the answer may overwrite it
  call.outSize = outSize;
  call.result = m_inner.DeviceIoControl(h, code, in, inSize, out, outSize, returned, overlapped);
  if (out != nullptr) call.out = Copy(out, outSize);
  call.returned = At(returned);
  Write(call);
  return call.result;
}

DWORD Recorder::SetFilePointer(HANDLE h, LONG low, PLONG high, DWORD method) {
  SetFilePointerCall call;
  call.handle = NumberOf(h);
  call.low = low;
  call.high = At(high);
  call.method = method;
  call.result = m_inner.SetFilePointer(h, low, high, method);
  call.highOut = At(high);
  Write(call);
  // The low half of a good position can be all ones: only the error tells.
  if (call.result != INVALID_SET_FILE_POINTER || m_inner.GetLastError() == ERROR_SUCCESS)
    m_positions[h] = sys::FilePosition(call.result, high);
  return call.result;
}

BOOL Recorder::ReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD read,
                        LPOVERLAPPED overlapped) {
  ReadFileCall call;
  call.handle = NumberOf(h);
  call.position = m_positions[h];
  call.size = size;
  call.result = m_inner.ReadFile(h, buffer, size, read, overlapped);
  const DWORD count = read != nullptr && call.result ? *read : 0;
  // A count past the buffer is the device's claim: the buffer's bytes are what there is.
  call.out = Copy(buffer, count <= size ? count : size);
  call.read = At(read);
  Write(call);
  m_positions[h] += count;
  return call.result;
}

BOOL Recorder::CloseHandle(HANDLE h) {
  CloseHandleCall call;
  call.handle = NumberOf(h);
  call.result = m_inner.CloseHandle(h);
  Write(call);
  Closed(h);
  return call.result;
}

UINT Recorder::GetDriveTypeA(LPCSTR root) {
  GetDriveTypeCall call{{}, Text(root), m_inner.GetDriveTypeA(root)};
  Write(call);
  return call.result;
}

BOOL Recorder::GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                 LPDWORD freeClusters, LPDWORD totalClusters) {
  GetDiskFreeSpaceCall call;
  call.path = Text(root);
  call.result = m_inner.GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters,
                                          totalClusters);
  call.sectorsPerCluster = At(sectorsPerCluster);
  call.bytesPerSector = At(bytesPerSector);
  call.freeClusters = At(freeClusters);
  call.totalClusters = At(totalClusters);
  Write(call);
  return call.result;
}

BOOL Recorder::GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                                     LPDWORD serialNumber, LPDWORD maxComponentLength,
                                     LPDWORD fileSystemFlags, LPSTR fileSystemName,
                                     DWORD fileSystemNameSize) {
  GetVolumeInformationCall call;
  call.path = Text(root);
  call.nameSize = volumeName != nullptr ? volumeNameSize : 0;
  call.fileSystemSize = fileSystemName != nullptr ? fileSystemNameSize : 0;
  call.result = m_inner.GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber,
                                              maxComponentLength, fileSystemFlags, fileSystemName,
                                              fileSystemNameSize);
  call.volumeName = Written(volumeName, volumeNameSize);
  call.serial = At(serialNumber).value_or(0);
  call.maxComponent = At(maxComponentLength).value_or(0);
  call.fileSystemFlags = At(fileSystemFlags).value_or(0);
  call.fileSystem = Written(fileSystemName, fileSystemNameSize);
  Write(call);
  return call.result;
}

LPVOID Recorder::VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  return m_inner.VirtualAlloc(address, size, type, protect);
}

BOOL Recorder::VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  return m_inner.VirtualFree(address, size, type);
}

BOOL Recorder::GetVersionExA(LPOSVERSIONINFOA info) {
  GetVersionExCall call;
  call.size = info != nullptr ? info->dwOSVersionInfoSize : 0;
  call.result = m_inner.GetVersionExA(info);
  call.out = Copy(info, call.size <= sizeof *info ? call.size : 0);
  Write(call);
  return call.result;
}

HANDLE Recorder::FindFirstVolumeA(LPSTR name, DWORD size) {
  HANDLE h = m_inner.FindFirstVolumeA(name, size);
  FindFirstVolumeCall call;
  call.size = size;
  if (h != INVALID_HANDLE_VALUE) {
    call.handle = Opened(h);
    call.name = Written(name, size);
  }
  Write(call);
  return h;
}

BOOL Recorder::FindNextVolumeA(HANDLE h, LPSTR name, DWORD size) {
  FindNextVolumeCall call;
  call.handle = NumberOf(h);
  call.size = size;
  call.result = m_inner.FindNextVolumeA(h, name, size);
  if (call.result) call.name = Written(name, size);
  Write(call);
  return call.result;
}

BOOL Recorder::FindVolumeClose(HANDLE h) {
  FindVolumeCloseCall call;
  call.handle = NumberOf(h);
  call.result = m_inner.FindVolumeClose(h);
  Write(call);
  Closed(h);
  return call.result;
}

BOOL Recorder::GetVolumePathNamesForVolumeNameA(LPCSTR name, LPSTR paths, DWORD size,
                                                PDWORD returned) {
  GetVolumePathNamesCall call;
  call.path = Text(name);
  call.size = size;
  call.result = m_inner.GetVolumePathNamesForVolumeNameA(name, paths, size, returned);
  const DWORD count = call.result && returned != nullptr && paths != nullptr ? *returned : 0;
  call.out = Copy(paths, count <= size ? count : size);
  call.returned = At(returned);
  Write(call);
  return call.result;
}

BOOL Recorder::GetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR name, DWORD size) {
  GetVolumeNameForMountPointCall call;
  call.path = Text(mountPoint);
  call.size = size;
  call.result = m_inner.GetVolumeNameForVolumeMountPointA(mountPoint, name, size);
  if (call.result) call.name = Written(name, size);
  Write(call);
  return call.result;
}

}  // namespace trace
