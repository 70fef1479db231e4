// A simulated machine behind the sys:: operations: physical drives by any number, drive
// letters, the OS family. It answers requests as the devices would; it knows nothing of
// the code that asks.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/memory_blocks.h"
#include "sim/model.h"

namespace sim {

class Machine : public sys::Backend {
 public:
  Machine();
  ~Machine() override;
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // By the number the system gives each disk; a number without a drive is not found.
  std::map<uint32_t, Drive> drives;
  std::map<char, Volume> letters;  // upper-case letters
  // Volumes without a letter, by their volume name with its trailing backslash.
  std::map<std::string, Volume> unlettered;
  // Files, by their path ("C:\VMs\xp.vhd"; named alike in any case, or after "\\?\").
  std::map<std::string, File> files;
  // Folders besides those the files' paths make (an empty one, a link, one Windows will not
  // list), by their path without a trailing backslash.
  std::map<std::string, Folder> folders;
  // FindFirstVolumeA and FindNextVolumeA: every volume, the lettered ones first in letter
  // order. Windows ends each name with a backslash; some callers are handed names without.
  bool enumerationOk = true;
  bool namesWithoutBackslash = false;
  // GetVolumePathNamesForVolumeNameA: the length it asks for when the buffer is too
  // small, 0 for the true one (a driver that lies asks for too little).
  DWORD claimedPathsLength = 0;
  DWORD platformId = VER_PLATFORM_WIN32_NT;
  // GetComputerNameA: the NetBIOS name, at most 15 characters.
  std::string computerName = "SIMULATED";
  // GetACP: the ANSI code page every name above is written in (a Russian Windows's 1251,
  // a Japanese one's 932); MultiByteToWideChar decodes it and the others of sim/code_pages.
  uint32_t codePage = 1252;
  // GetSystemTimeAsFileTime: a fixed moment, 2026-03-02T09:30:00Z, so that every run of a
  // simulated machine is told the same time.
  uint64_t systemTime = 134169174000000000;
  // The NT version GetVersionExA gives; the token's elevation can be asked from 6.0 (Vista).
  DWORD majorVersion = 5, minorVersion = 1, buildNumber = 2600;
  User user = User::ElevatedAdministrator;
  // A security policy (Controlled Folder Access's protection of disk sectors, say) that
  // refuses read-write opens of physical drives, even to an elevated administrator.
  bool policyBlocksDriveWrites = false;
  // Largest block VirtualAlloc grants: the room a 32-bit process has.
  uint64_t addressSpace = 1ull << 30;

  // Makes call number `index` (counted from 0 across every operation) fail as the
  // system would fail it. -1: nothing fails.
  long failCall = -1;

  // False: calls are counted, not kept (a run of millions of reads, measured for its own
  // memory). Reads are counted either way.
  bool keepLog = true;
  uint64_t readCalls = 0, readBytes = 0;

  const std::vector<Call>& Log() const { return m_log; }
  // The requests this machine was sent and does not model, each named ("DeviceIoControl
  // 0x2D1400 property 7 on a drive"). It fails them as Windows fails a request it does not
  // know, but a test must not take that for an answer: a test that means to see Windows
  // refuse one clears them.
  const std::vector<std::string>& Unmodelled() const { return m_unmodelled; }
  void ClearUnmodelled() { m_unmodelled.clear(); }
  // Each request the devices answer, as its code and the property it asks for (~0 for
  // requests that ask for none): the table's keys, for tests that read every answer back.
  static std::vector<std::pair<DWORD, DWORD>> Answered();
  std::vector<Call> Calls(const std::string& op) const;
  void ClearLog() {
    m_log.clear();
    m_calls = 0;
  }
  int OpenHandles() const {
    return static_cast<int>(m_handles.size() + m_finds.size() + m_tokens.size() +
                            m_listings.size());
  }
  int OpenBuffers() const { return m_buffers.Count(); }

  // The operations, as the door passes them on.
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
  HANDLE FindFirstFileA(LPCSTR, LPWIN32_FIND_DATAA) override;
  BOOL FindNextFileA(HANDLE, LPWIN32_FIND_DATAA) override;
  BOOL FindClose(HANDLE) override;
  BOOL GetVolumePathNamesForVolumeNameA(LPCSTR, LPSTR, DWORD, PDWORD) override;
  BOOL GetVolumeNameForVolumeMountPointA(LPCSTR, LPSTR, DWORD) override;
  BOOL OpenProcessToken(HANDLE, DWORD, PHANDLE) override;
  BOOL GetTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD) override;
  BOOL GetComputerNameA(LPSTR name, LPDWORD size) override;
  UINT GetACP() override;
  void GetSystemTimeAsFileTime(LPFILETIME time) override;
  int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int textBytes, LPWSTR wide,
                          int wideChars) override;
  int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideChars, LPSTR text,
                          int textBytes, LPCCH defaultChar, LPBOOL usedDefault) override;
  BOOL GetFileInformationByHandleEx(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) override;
  BOOL GetFileInformationByHandle(HANDLE, LPBY_HANDLE_FILE_INFORMATION) override;

  // The volume name a volume answers with: its own, or one made from its letter.
  static std::string NameOf(char letter, const Volume& v);

 private:
  struct OpenDevice {
    int64_t drive = -1;        // physical drive, or
    Volume* volume = nullptr;  // volume, or
    File* file = nullptr;      // file, or
    std::string folder;        // a folder, by its key (opened to ask who it is)
    DWORD access = 0;
    bool unbuffered = false;
    uint64_t position = 0;
  };
  // One DeviceIoControl as a device answers it (device_answers.cpp).
  struct Request {
    const void* in;
    DWORD inSize;
    void* out;
    DWORD outSize;
    DWORD* returned;
    DWORD code;
  };
  enum class HandleKind { Drive, Volume, Either };
  static constexpr DWORD kNoProperty = ~DWORD{0};
  struct AnswerEntry {
    DWORD code;
    HandleKind kind;
    DWORD property;  // the property a query asks for; kNoProperty for other requests
    BOOL (Machine::*answer)(const OpenDevice&, const Request&);
  };
  static const AnswerEntry kAnswers[];

  Call& Record(Call call);
  bool Injected(Call& call, DWORD error);
  BOOL Fail(DWORD error) {
    m_lastError = error;
    return FALSE;
  }
  // The logged call failed, with `error`.
  BOOL Fail(Call& call, DWORD error) {
    call.failed = true;
    return Fail(error);
  }
  OpenDevice* Find(HANDLE handle);
  // The device a path names, and how an open of it ends.
  Open ParseDevicePath(const std::string& path, OpenDevice* device);
  HANDLE OpenFile(Call& call, DWORD access, DWORD disposition);
  // `path` with each link on the way replaced by its target, as a key (sim/names.h).
  std::string Resolved(const std::string& path) const;
  bool IsFolder(const std::string& key) const;
  // Who the file or folder behind a handle is: its volume's serial and its index.
  bool IdentityOf(const OpenDevice& device, uint64_t* volume, uint64_t* index) const;
  BOOL FileIdAnswer(Call& c, uint64_t volume, uint64_t index, LPVOID info, DWORD size);
  // Windows' view of a volume's sectors, from the drives under its pieces.
  FILE_STORAGE_INFO StorageInfoOf(const Volume& volume) const;
  BOOL ReadOpenFile(OpenDevice& device, uint8_t* out, DWORD size, LPDWORD read, Call& c);
  // The volume a root path names: "X:\\", a volume name, or a folder it is mounted in.
  Volume* FindRoot(LPCSTR root);
  // The volume a volume name names, its trailing backslash included.
  Volume* FindByName(const std::string& name);
  std::string NameOf(const Volume* volume) const;
  // A volume search: the names it lists and the next one's index. As Windows' does, it takes
  // the mount manager's list once, when it begins.
  struct VolumeSearch {
    std::vector<std::string> names;
    size_t next = 0;
  };
  // Every volume's name in the order FindNextVolumeA gives them: the lettered ones first, in
  // letter order.
  std::vector<std::string> EnumeratedNames() const;
  BOOL NextVolume(VolumeSearch& search, LPSTR name, DWORD size);
  uint32_t SectorSizeOf(const OpenDevice& device) const;
  Bytes ReadDeviceSector(const OpenDevice& device, uint64_t lba) const;
  // The answers, each to the request the table gives it.
  BOOL Identify(const OpenDevice& device, const Request& r);
  BOOL Inquiry(const OpenDevice& device, const Request& r);
  BOOL DeviceDescriptor(const OpenDevice& device, const Request& r);
  BOOL AccessAlignment(const OpenDevice& device, const Request& r);
  BOOL SeekPenalty(const OpenDevice& device, const Request& r);
  BOOL Trim(const OpenDevice& device, const Request& r);
  BOOL DriveLayout(const OpenDevice& device, const Request& r);
  BOOL DriveGeometry(const OpenDevice& device, const Request& r);
  BOOL PartitionInfo(const OpenDevice& device, const Request& r);
  BOOL DeviceNumber(const OpenDevice& device, const Request& r);
  BOOL DiskExtents(const OpenDevice& device, const Request& r);
  std::optional<BOOL> PropertyQuery(const Request& r, bool supported);
  const Drive* DriveAt(int64_t number) const;
  std::vector<Extent> PiecesOf(const Volume& l) const;
  // The length in bytes of the partition at `offset` on drive `host`.
  uint64_t PartitionBytesAt(int64_t host, uint64_t offset) const;

  std::vector<Call> m_log;
  size_t m_calls = 0;  // made since the log was last cleared, kept or not
  Call m_unkept{""};   // the call being answered, where the log keeps none
  std::vector<std::string> m_unmodelled;
  std::map<HANDLE, OpenDevice> m_handles;
  std::map<HANDLE, VolumeSearch> m_finds;
  // A folder's listing: its entries as FindFirstFileA gave them, and the next to give.
  struct Listing {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
  };
  std::map<HANDLE, Listing> m_listings;
  // The entries of the folder `folder` (none where it is no folder) whose names `mask`
  // takes; false where Windows will not list it.
  bool ListFolder(const std::string& folder, const std::string& mask,
                  std::vector<WIN32_FIND_DATAA>* entries, bool* exists) const;
  std::map<HANDLE, DWORD> m_tokens;  // the process's token, opened: its access
  sys::MemoryBlocks m_buffers;
  uintptr_t m_nextHandle = 0x100;
  DWORD m_lastError = ERROR_SUCCESS;
};

// Puts a machine behind the door for the life of a scope. At its end, the requests the
// machine did not model go to the hook the tests set (none elsewhere), so that one fails
// the test that sent it.
class Installation {
 public:
  explicit Installation(Machine& machine) : m_machine(machine), m_door(machine) {}
  ~Installation() {
    if (onUnmodelled != nullptr && !m_machine.Unmodelled().empty())
      onUnmodelled(m_machine.Unmodelled());
  }
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  static void (*onUnmodelled)(const std::vector<std::string>& requests);

 private:
  Machine& m_machine;
  sys::Using m_door;
};

}  // namespace sim
