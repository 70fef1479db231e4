#include "platform/device.h"

#include <cstdio>
#include <cstring>

#include "platform/sys.h"

std::string PhysicalDrivePath(uint32_t number) {
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%lu", static_cast<unsigned long>(number));
  return path;
}

std::string VolumeDevicePath(char letter) { return std::string("\\\\.\\") + letter + ':'; }

std::string RootPath(char letter) { return std::string(1, letter) + ":\\"; }

Device::Device(const std::string& path, DWORD access, DWORD flags)
    : m_handle(sys::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, flags, nullptr)) {
  if (!IsOpen()) m_openError = sys::GetLastError();
}

Device::~Device() {
  if (IsOpen()) sys::CloseHandle(m_handle);
}

bool Device::Control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned) {
  *returned = 0;
  return sys::DeviceIoControl(m_handle, code, in, inSize, out, outSize, returned, nullptr) != FALSE;
}

bool Device::StorageInfo(FILE_STORAGE_INFO* out) {
  std::memset(out, 0, sizeof *out);
  return sys::GetFileInformationByHandleEx(m_handle, FileStorageInfo, out, sizeof *out) != FALSE;
}

std::optional<uint64_t> Device::Size() {
  LONG high = 0;
  const DWORD low = sys::SetFilePointer(m_handle, 0, &high, FILE_END);
  m_position = kPositionUnknown;
  if (low == INVALID_SET_FILE_POINTER && sys::GetLastError() != ERROR_SUCCESS) return std::nullopt;
  return (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
}

bool Device::ReadAt(uint64_t position, void* buffer, DWORD bytes) {
  if (position != m_position) {
    LONG high = static_cast<LONG>(position >> 32);
    const DWORD low =
        sys::SetFilePointer(m_handle, static_cast<LONG>(position & 0xFFFFFFFFu), &high, FILE_BEGIN);
    // The low half of a good position can be all ones: only the error tells.
    const DWORD error = low == INVALID_SET_FILE_POINTER ? sys::GetLastError() : ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) {
      m_readError = error;
      m_position = kPositionUnknown;
      return false;
    }
    m_position = position;
  }
  DWORD read = 0;
  const bool ok = sys::ReadFile(m_handle, buffer, bytes, &read, nullptr) != FALSE;
  m_readError = ok ? ERROR_SUCCESS : sys::GetLastError();
  const bool whole = ok && read == bytes;
  m_position = whole ? m_position + read : kPositionUnknown;
  return whole;
}

SectorBuffer::SectorBuffer(uint64_t bytes) {
  // Computed wide: a size past 32 bits gets no buffer rather than one smaller than the
  // reads into it.
  if (bytes == 0 || bytes > 0xFFFFFFFFu) return;
  m_data = static_cast<BYTE*>(
      sys::VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_COMMIT, PAGE_READWRITE));
}

SectorBuffer::~SectorBuffer() {
  if (m_data != nullptr) sys::VirtualFree(m_data, 0, MEM_RELEASE);
}
