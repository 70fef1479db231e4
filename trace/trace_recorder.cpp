#include "trace/trace_recorder.h"

#include <cstring>

#include "res/version.h"
#include "trace/trace_line.h"

namespace trace {

namespace {

std::string Text(LPCSTR text) { return text != nullptr ? text : ""; }

// A name the system wrote into a buffer of `size` characters: up to its terminator.
std::string Written(LPCSTR buffer, DWORD size) {
  if (buffer == nullptr) return {};
  const void* end = std::memchr(buffer, '\0', size);
  return std::string(buffer, end ? static_cast<LPCSTR>(end) : buffer + size);
}

}  // namespace

Recorder::Recorder(sys::Backend& inner, std::FILE* out, const std::string& program)
    : m_inner(inner), m_out(out) {
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  std::string windows = "unknown";
  if (m_inner.GetVersionExA(&version)) {
    version.szCSDVersion[sizeof version.szCSDVersion - 1] = '\0';
    windows = std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) +
              "." + std::to_string(version.dwBuildNumber) + " platform " +
              std::to_string(version.dwPlatformId);
    if (version.szCSDVersion[0] != '\0') windows += std::string(" ") + version.szCSDVersion;
  }
  const std::string header = LineWriter()
                                 .Text("program", program)
                                 .Text("version", TESSAREL_VERSION)
                                 .Text("windows", windows)
                                 .Finish();
  m_failed = std::fwrite(header.data(), 1, header.size(), m_out) != header.size();
}

void Recorder::Write(LineWriter& line) {
  const std::string text = line.Number("error", m_inner.GetLastError()).Finish();
  if (std::fwrite(text.data(), 1, text.size(), m_out) != text.size()) m_failed = true;
}

uint64_t Recorder::Opened(HANDLE handle) {
  m_positions[handle] = 0;
  return m_numbers[handle] = m_next++;
}

uint64_t Recorder::NumberOf(HANDLE handle) const {
  auto it = m_numbers.find(handle);
  return it == m_numbers.end() ? 0 : it->second;
}

HANDLE Recorder::CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile) {
  HANDLE h = m_inner.CreateFileA(path, access, share, security, disposition, flags, templateFile);
  LineWriter line;
  line.Text("call", "CreateFileA").Text("path", Text(path)).Number("access", access);
  line.Number("share", share).Number("disposition", disposition).Number("flags", flags);
  if (h == INVALID_HANDLE_VALUE)
    line.Null("handle");
  else
    line.Number("handle", Opened(h));
  Write(line);
  return h;
}

BOOL Recorder::DeviceIoControl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                               DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  LineWriter line;
  line.Text("call", "DeviceIoControl").Number("handle", NumberOf(h)).Number("code", code);
  // The request as it went in: the answer may come back in the same buffer.
  if (in != nullptr)
    line.Hex("in", in, inSize);
  else
    line.Null("in");
  line.Number("outSize", outSize);
  const BOOL ok = m_inner.DeviceIoControl(h, code, in, inSize, out, outSize, returned, overlapped);
  line.Number("result", ok ? 1 : 0);
  if (out != nullptr)
    line.Hex("out", out, outSize);
  else
    line.Null("out");
  line.NumberAt("returned", returned);
  Write(line);
  return ok;
}

DWORD Recorder::SetFilePointer(HANDLE h, LONG low, PLONG high, DWORD method) {
  LineWriter line;
  line.Text("call", "SetFilePointer").Number("handle", NumberOf(h)).Signed("low", low);
  line.NumberAt("high", high);
  line.Number("method", method);
  const DWORD result = m_inner.SetFilePointer(h, low, high, method);
  line.Number("result", result);
  line.NumberAt("highOut", high);
  Write(line);
  // The low half of a good position can be all ones: only the error tells.
  if (result != INVALID_SET_FILE_POINTER || m_inner.GetLastError() == ERROR_SUCCESS)
    m_positions[h] = (high != nullptr ? static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32 : 0) |
                     result;
  return result;
}

BOOL Recorder::ReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  LineWriter line;
  line.Text("call", "ReadFile").Number("handle", NumberOf(h)).Number("position", m_positions[h]);
  line.Number("size", size);
  const BOOL ok = m_inner.ReadFile(h, buffer, size, read, overlapped);
  const DWORD count = read != nullptr && ok ? *read : 0;
  line.Number("result", ok ? 1 : 0).Hex("out", buffer, count <= size ? count : size);
  line.NumberAt("read", read);
  Write(line);
  m_positions[h] += count;
  return ok;
}

BOOL Recorder::CloseHandle(HANDLE h) {
  LineWriter line;
  line.Text("call", "CloseHandle").Number("handle", NumberOf(h));
  const BOOL ok = m_inner.CloseHandle(h);
  line.Number("result", ok ? 1 : 0);
  Write(line);
  m_numbers.erase(h);
  m_positions.erase(h);
  return ok;
}

UINT Recorder::GetDriveTypeA(LPCSTR root) {
  const UINT type = m_inner.GetDriveTypeA(root);
  LineWriter line;
  line.Text("call", "GetDriveTypeA").Text("path", Text(root)).Number("result", type);
  Write(line);
  return type;
}

BOOL Recorder::GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                 LPDWORD freeClusters, LPDWORD totalClusters) {
  const BOOL ok = m_inner.GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters,
                                            totalClusters);
  LineWriter line;
  line.Text("call", "GetDiskFreeSpaceA").Text("path", Text(root)).Number("result", ok ? 1 : 0);
  const std::pair<const char*, LPDWORD> outputs[] = {{"sectorsPerCluster", sectorsPerCluster},
                                                     {"bytesPerSector", bytesPerSector},
                                                     {"freeClusters", freeClusters},
                                                     {"totalClusters", totalClusters}};
  for (const auto& [key, value] : outputs) line.NumberAt(key, value);
  Write(line);
  return ok;
}

BOOL Recorder::GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                                     LPDWORD serialNumber, LPDWORD maxComponentLength,
                                     LPDWORD fileSystemFlags, LPSTR fileSystemName,
                                     DWORD fileSystemNameSize) {
  const BOOL ok = m_inner.GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber,
                                                maxComponentLength, fileSystemFlags,
                                                fileSystemName, fileSystemNameSize);
  LineWriter line;
  line.Text("call", "GetVolumeInformationA").Text("path", Text(root));
  line.Number("nameSize", volumeName != nullptr ? volumeNameSize : 0);
  line.Number("fileSystemSize", fileSystemName != nullptr ? fileSystemNameSize : 0);
  line.Number("result", ok ? 1 : 0);
  line.Text("volumeName", Written(volumeName, volumeNameSize));
  line.Number("serial", serialNumber != nullptr ? *serialNumber : 0);
  line.Number("maxComponent", maxComponentLength != nullptr ? *maxComponentLength : 0);
  line.Number("fileSystemFlags", fileSystemFlags != nullptr ? *fileSystemFlags : 0);
  line.Text("fileSystem", Written(fileSystemName, fileSystemNameSize));
  Write(line);
  return ok;
}

LPVOID Recorder::VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  return m_inner.VirtualAlloc(address, size, type, protect);
}

BOOL Recorder::VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  return m_inner.VirtualFree(address, size, type);
}

BOOL Recorder::GetVersionExA(LPOSVERSIONINFOA info) {
  const DWORD size = info != nullptr ? info->dwOSVersionInfoSize : 0;
  const BOOL ok = m_inner.GetVersionExA(info);
  LineWriter line;
  line.Text("call", "GetVersionExA").Number("size", size).Number("result", ok ? 1 : 0);
  line.Hex("out", info, info != nullptr && size <= sizeof *info ? size : 0);
  Write(line);
  return ok;
}

HANDLE Recorder::FindFirstVolumeA(LPSTR name, DWORD size) {
  HANDLE h = m_inner.FindFirstVolumeA(name, size);
  LineWriter line;
  line.Text("call", "FindFirstVolumeA").Number("size", size);
  if (h == INVALID_HANDLE_VALUE)
    line.Null("handle");
  else
    line.Number("handle", Opened(h));
  line.Text("name", h != INVALID_HANDLE_VALUE ? Written(name, size) : "");
  Write(line);
  return h;
}

BOOL Recorder::FindNextVolumeA(HANDLE h, LPSTR name, DWORD size) {
  const BOOL ok = m_inner.FindNextVolumeA(h, name, size);
  LineWriter line;
  line.Text("call", "FindNextVolumeA").Number("handle", NumberOf(h)).Number("size", size);
  line.Number("result", ok ? 1 : 0).Text("name", ok ? Written(name, size) : "");
  Write(line);
  return ok;
}

BOOL Recorder::FindVolumeClose(HANDLE h) {
  const BOOL ok = m_inner.FindVolumeClose(h);
  LineWriter line;
  line.Text("call", "FindVolumeClose").Number("handle", NumberOf(h)).Number("result", ok ? 1 : 0);
  Write(line);
  m_numbers.erase(h);
  m_positions.erase(h);
  return ok;
}

BOOL Recorder::GetVolumePathNamesForVolumeNameA(LPCSTR name, LPSTR paths, DWORD size,
                                                 PDWORD returned) {
  const BOOL ok = m_inner.GetVolumePathNamesForVolumeNameA(name, paths, size, returned);
  LineWriter line;
  line.Text("call", "GetVolumePathNamesForVolumeNameA").Text("path", Text(name));
  line.Number("size", size).Number("result", ok ? 1 : 0);
  const DWORD count = ok && returned != nullptr && paths != nullptr ? *returned : 0;
  line.Hex("out", paths, count <= size ? count : size);
  line.NumberAt("returned", returned);
  Write(line);
  return ok;
}

BOOL Recorder::GetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR name, DWORD size) {
  const BOOL ok = m_inner.GetVolumeNameForVolumeMountPointA(mountPoint, name, size);
  LineWriter line;
  line.Text("call", "GetVolumeNameForVolumeMountPointA").Text("path", Text(mountPoint));
  line.Number("size", size).Number("result", ok ? 1 : 0).Text("name", ok ? Written(name, size) : "");
  Write(line);
  return ok;
}

}  // namespace trace
