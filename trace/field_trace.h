// A field trace as a backend behind the door, in one of two ways:
// - recording: in front of the machine's backend, it passes every call on and writes it,
//   with its answer, to a file, one JSON line per call. Memory calls are left out; no
//   address or handle value is written, only a number per open handle, counted from 1,
//   so that two recordings of one machine are the same bytes. The file is written with
//   the C runtime: the door would refuse to create it.
// - replaying: it answers each call from a loaded trace by what the call asks (function,
//   path, access, flags, request code, input bytes, position and size), among equal
//   questions in recorded order, so a program that asks the same questions in another
//   order still replays. A question the trace does not hold gets the function's failure
//   with ERROR_NOT_SUPPORTED, and is kept to be told.
// Each call is mapped from its arguments to its fields (trace_calls.h) once, here, for both.
#pragma once

#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/memory_blocks.h"
#include "trace/trace_calls.h"

namespace trace {

// The format this version writes in a trace's first line (trace_calls.h names them).
constexpr uint32_t kTraceFormat = kFolderFormat;

// The machine's Windows version as a trace's first line names it, asked of `machine`.
std::string WindowsVersion(sys::Backend& machine);

class FieldTrace final : public sys::Backend {
 public:
  // Recording: writes the first line (the program, its version and the machine's Windows
  // version) and then every call that passes to `inner`.
  FieldTrace(sys::Backend& inner, std::FILE* out, const std::string& program,
             const std::string& windows);
  // Replaying: reads a whole trace; nullptr with "line N: why" in *error when it is not one.
  static std::unique_ptr<FieldTrace> Load(const std::string& text, std::string* error);

  // Recording: a write to the trace failed, so it is not whole.
  bool Failed() const { return m_failed; }
  // Replaying: the Windows version the trace's first line names, and the questions the
  // trace held no answer for, in the order they were asked.
  const std::string& Windows() const { return m_windows; }
  const std::vector<std::string>& Unanswered() const { return m_unanswered; }
  int OpenHandles() const { return static_cast<int>(m_handles.size()); }
  int OpenBuffers() const { return m_buffers.Count(); }

  HANDLE CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) override;
  BOOL DeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override;
  DWORD SetFilePointer(HANDLE, LONG, PLONG, DWORD) override;
  BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override;
  BOOL CloseHandle(HANDLE) override;
  DWORD GetLastError() override;
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
  HANDLE FindFirstFileA(LPCSTR, LPWIN32_FIND_DATAA) override;
  BOOL FindNextFileA(HANDLE, LPWIN32_FIND_DATAA) override;
  BOOL FindClose(HANDLE) override;
  BOOL GetVolumePathNamesForVolumeNameA(LPCSTR, LPSTR, DWORD, PDWORD) override;
  BOOL GetVolumeNameForVolumeMountPointA(LPCSTR, LPSTR, DWORD) override;
  BOOL OpenProcessToken(HANDLE, DWORD, PHANDLE) override;
  BOOL GetTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD) override;
  BOOL GetFileInformationByHandleEx(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) override;
  BOOL GetFileInformationByHandle(HANDLE, LPBY_HANDLE_FILE_INFORMATION) override;
  UINT GetACP() override;
  void GetSystemTimeAsFileTime(LPFILETIME time) override;
  int MultiByteToWideChar(UINT, DWORD, LPCCH, int, LPWSTR, int) override;
  int WideCharToMultiByte(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL) override;
  BOOL GetComputerNameA(LPSTR name, LPDWORD size) override;

 private:
  FieldTrace() = default;
  bool Recording() const { return m_inner != nullptr; }

  // Answers `call`, whose question fields are set: recording, `real` makes the call and
  // sets its result; replaying, the trace's next answer to the same question replaces it.
  // False when a replayed trace holds none (the question is then kept to be told).
  template <class C, class Real>
  bool Answer(C& call, HANDLE h, Real real);
  // Recording: writes the call's line, ended by the error it left.
  template <class C>
  void Finish(C& call);
  // The function's failure for a question the trace holds no answer for.
  template <typename Result>
  Result Missing(Result failure) {
    m_lastError = ERROR_NOT_SUPPORTED;
    return failure;
  }

  // What the call wrote through a pointer or into a buffer: recording, taken into the
  // field; replaying, given from the field.
  template <typename F, typename T>
  void At(std::optional<F>& field, T* out);
  void Value(uint32_t& field, LPDWORD out);
  void Buffer(Bytes& field, void* out, size_t written);
  void Buffer(std::optional<Bytes>& field, void* out, size_t written);
  void Name(std::string& field, LPSTR out, DWORD size);

  // A handle opened: recording, the real one numbered; replaying, a new one that stands
  // for the open's question. Returns the handle to give the caller.
  HANDLE Opened(HANDLE real, const Question& open, std::optional<uint64_t>* number);
  struct OpenHandle {
    uint64_t number = 0;   // recording: its number in the trace
    std::string question;  // replaying: what later calls on it are asked under
    uint64_t position = 0;
  };
  // The question an open handle stands for, or a word for a handle never opened.
  std::string HandleQuestion(HANDLE handle) const;
  uint64_t NumberOf(HANDLE handle) const;
  void Put(const std::string& line);

  sys::Backend* m_inner = nullptr;  // recording: the machine the calls go to
  std::FILE* m_out = nullptr;
  bool m_failed = false;
  uint64_t m_next = 1;
  std::map<Question, std::deque<Call>> m_answers;  // replaying
  std::vector<std::string> m_unanswered;
  std::string m_windows;
  uint32_t m_format = kTraceFormat;  // replaying: the format the trace names
  std::map<HANDLE, OpenHandle> m_handles;
  sys::MemoryBlocks m_buffers;
  uintptr_t m_nextHandle = 0x100;
  DWORD m_lastError = ERROR_SUCCESS;
};

}  // namespace trace
