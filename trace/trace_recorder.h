// A field trace in the making: sits in the door in front of the machine's backend and
// writes every call it answers, with its answer, to a file, one JSON line per call.
// Memory calls are left out; no address or handle value is written, only a number per
// open handle, counted from 1, so that two recordings of one machine are the same bytes.
// The file is written with the C runtime: the door would refuse to create it.
#pragma once

#include <cstdio>
#include <map>
#include <string>

#include "platform/backend.h"

namespace trace {

// The machine's Windows version as a trace's first line names it, asked of `machine`.
std::string WindowsVersion(sys::Backend& machine);

class Recorder final : public sys::Backend {
 public:
  // Writes the first line: the program, its version and the machine's Windows version.
  Recorder(sys::Backend& inner, std::FILE* out, const std::string& program,
           const std::string& windows);
  // A write to the trace failed: the trace is not whole.
  bool Failed() const { return m_failed; }

  HANDLE CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) override;
  BOOL DeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override;
  DWORD SetFilePointer(HANDLE, LONG, PLONG, DWORD) override;
  BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override;
  BOOL CloseHandle(HANDLE) override;
  DWORD GetLastError() override { return m_inner.GetLastError(); }
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
  // Writes the call's line, ended by the error it left.
  template <class C>
  void Write(C& call);
  void Put(const std::string& line);
  uint64_t Opened(HANDLE handle);
  uint64_t NumberOf(HANDLE handle) const;
  void Closed(HANDLE handle);

  sys::Backend& m_inner;
  std::FILE* m_out;
  bool m_failed = false;
  std::map<HANDLE, uint64_t> m_numbers;    // open handles by their number in the trace
  std::map<HANDLE, uint64_t> m_positions;  // where each device's next read begins
  uint64_t m_next = 1;
};

}  // namespace trace
