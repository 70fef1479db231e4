// A recorded machine: a field trace answers the calls that pass the door. A call is
// answered by what it asks (function, path, access, flags, request code, input bytes,
// position and size), among equal questions in recorded order, so a program that asks the
// same questions in another order still replays. A question the trace does not hold gets
// the function's failure with ERROR_NOT_SUPPORTED, and is kept to be told.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/memory_blocks.h"
#include "trace/trace_calls.h"

namespace trace {

class Replay final : public sys::Backend {
 public:
  // Reads a whole trace; nullptr with "line N: why" in *error when it is not one.
  static std::unique_ptr<Replay> Load(const std::string& text, std::string* error);

  // The Windows version the trace's first line names.
  const std::string& Windows() const { return m_windows; }
  // The questions the trace held no answer for, in the order they were asked.
  const std::vector<std::string>& Unanswered() const { return m_unanswered; }
  int OpenHandles() const { return static_cast<int>(m_handles.size()); }
  int OpenBuffers() const { return m_buffers.Count(); }

  HANDLE CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) override;
  BOOL DeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override;
  DWORD SetFilePointer(HANDLE, LONG, PLONG, DWORD) override;
  BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override;
  BOOL CloseHandle(HANDLE) override;
  DWORD GetLastError() override { return m_lastError; }
  UINT GetDriveTypeA(LPCSTR) override;
  BOOL GetDiskFreeSpaceA(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD) override;
  BOOL GetVolumeInformationA(LPCSTR, LPSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPSTR,
                             DWORD) override;
  LPVOID VirtualAlloc(LPVOID, SIZE_T, DWORD, DWORD) override;
  BOOL VirtualFree(LPVOID, SIZE_T, DWORD) override;
  BOOL GetVersionExA(LPOSVERSIONINFOA) override;
  HANDLE FindFirstVolumeA(LPSTR, DWORD) override;
  BOOL FindNextVolumeA(HANDLE, LPSTR, DWORD) override;
  BOOL FindVolumeClose(HANDLE) override;
  BOOL GetVolumePathNamesForVolumeNameA(LPCSTR, LPSTR, DWORD, PDWORD) override;
  BOOL GetVolumeNameForVolumeMountPointA(LPCSTR, LPSTR, DWORD) override;

 private:
  Replay() = default;
  // The recorded answer to the call `question` asks (its calls on a handle asked under
  // the question of the open `on`), the next among equals; none (and the question kept to
  // be told) when the trace holds no more.
  template <class C>
  std::optional<C> Ask(const C& question, const std::string& on = "");
  // The question an open handle stands for, or a word for a handle this replay never gave.
  std::string HandleQuestion(HANDLE handle) const;
  HANDLE Open(const std::string& question);
  // The function's failure for a question without an answer.
  template <typename Result>
  Result Missing(Result failure) {
    m_lastError = ERROR_NOT_SUPPORTED;
    return failure;
  }

  struct OpenHandle {
    std::string question;  // the open's question: what later calls on it are asked under
    uint64_t position = 0;
  };
  std::map<Question, std::deque<Call>> m_answers;
  std::map<HANDLE, OpenHandle> m_handles;
  sys::MemoryBlocks m_buffers;
  std::vector<std::string> m_unanswered;
  std::string m_windows;
  uintptr_t m_nextHandle = 0x100;
  DWORD m_lastError = ERROR_SUCCESS;
};

}  // namespace trace
