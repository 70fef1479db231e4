// Devices and buffers owned by small objects: whatever is opened or allocated through the
// door is released on every path when its object goes. Device paths are built here only.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "platform/win32types.h"

// "\\.\PhysicalDriveN": the disk the system numbers N.
std::string PhysicalDrivePath(uint32_t number);
// "\\.\X:": the volume behind drive letter X.
std::string VolumeDevicePath(char letter);
// "X:\": the root the volume calls take for drive letter X.
std::string RootPath(char letter);

// An existing device, opened shared for reading and writing (the file systems on a disk
// keep it open both ways).
class Device {
 public:
  Device(const std::string& path, DWORD access, DWORD flags);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
  // The error a failed open left; ERROR_SUCCESS when it opened.
  DWORD OpenError() const { return m_openError; }

  // One device request. *returned is the count the device reports, 0 when it reports none.
  bool Control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned);
  // A request whose answer is one structure, zeroed first, and whose question is `in`, or
  // nothing.
  template <class Answer>
  bool Out(DWORD code, Answer* out, DWORD* returned) {
    std::memset(out, 0, sizeof *out);
    return Control(code, nullptr, 0, out, sizeof *out, returned);
  }
  template <class Question, class Answer>
  bool Out(DWORD code, Question* in, Answer* out, DWORD* returned) {
    std::memset(out, 0, sizeof *out);
    return Control(code, in, sizeof *in, out, sizeof *out, returned);
  }
  // Windows' view of the sectors under the device (FileStorageInfo); false where Windows
  // gives none (before Windows 8, or a device that has no file system).
  bool StorageInfo(FILE_STORAGE_INFO* out);
  // The size of an open file, from a seek to its end; none where the seek fails.
  std::optional<uint64_t> Size();
  // Reads exactly `bytes` at byte `position`; a failed seek or a short read reads nothing.
  // A new handle stands at byte 0, so a first read there needs no seek.
  bool ReadAt(uint64_t position, void* buffer, DWORD bytes);
  // What Windows said when the last ReadAt failed: the seek's or the read's error;
  // ERROR_SUCCESS for a read that succeeded short.
  DWORD ReadError() const { return m_readError; }

 private:
  static constexpr uint64_t kPositionUnknown = ~uint64_t{0};
  HANDLE m_handle;
  DWORD m_openError = ERROR_SUCCESS;
  uint64_t m_position = 0;
  DWORD m_readError = ERROR_SUCCESS;
};

// A page-aligned, zero-filled block for unbuffered reads, freed when the object goes.
// Empty when the size does not fit the 32-bit address space or the allocation fails.
class SectorBuffer {
 public:
  explicit SectorBuffer(uint64_t bytes);
  ~SectorBuffer();
  SectorBuffer(const SectorBuffer&) = delete;
  SectorBuffer& operator=(const SectorBuffer&) = delete;

  bool IsValid() const { return m_data != nullptr; }
  BYTE* Data() const { return m_data; }

 private:
  BYTE* m_data = nullptr;
};
