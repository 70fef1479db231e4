// What the simulated machine models of Windows, checked against Windows: one table of
// behaviours, run against the simulated machine everywhere and, in the Windows build,
// against the real backend too (under Wine, the cases Wine answers; each other case says
// why it is left out).
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <ctime>
#include <vector>
#include <string>

#include "platform/backend.h"
#include "platform/sys.h"
#include "sim/builders.h"
#include "sim/code_pages.h"
#include "sim/machine.h"

namespace {

// A handle through the door, closed with its scope.
struct Opened {
  Opened(const char* path, DWORD access, DWORD share, DWORD flags = 0)
      : h(sys::CreateFileA(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr)),
        error(sys::GetLastError()) {}
  ~Opened() {
    if (h != INVALID_HANDLE_VALUE) sys::CloseHandle(h);
  }
  HANDLE h;
  DWORD error;
};

constexpr DWORD kShareBoth = FILE_SHARE_READ | FILE_SHARE_WRITE;

// C:'s volume name, as the mount point function gives it.
std::string VolumeNameOfC() {
  char name[MAX_PATH] = {};
  return sys::GetVolumeNameForVolumeMountPointA("C:\\", name, MAX_PATH) ? name : "";
}

const struct Case {
  const char* behaviour;
  const char* notUnderWine;  // why Wine cannot answer it; null when it does
  void (*check)();
} kContract[] = {
    {"volume names are handed out with a trailing backslash", nullptr,
     [] {
       char name[MAX_PATH] = {};
       HANDLE find = sys::FindFirstVolumeA(name, MAX_PATH);
       ASSERT_NE(find, INVALID_HANDLE_VALUE);
       EXPECT_EQ(std::string(name).back(), '\\') << name;
       sys::FindVolumeClose(find);
     }},
    {"a mount point is named with its trailing backslash", nullptr,
     [] {
       const std::string name = VolumeNameOfC();
       ASSERT_FALSE(name.empty());
       EXPECT_EQ(name.back(), '\\');
       char other[MAX_PATH] = {};
       EXPECT_FALSE(sys::GetVolumeNameForVolumeMountPointA("C:", other, MAX_PATH));
     }},
    {"a path list too long for its buffer fails with ERROR_MORE_DATA and the size it needs",
     nullptr,
     [] {
       const std::string name = VolumeNameOfC();
       char paths[MAX_PATH] = {};
       DWORD needed = 0;
       EXPECT_FALSE(sys::GetVolumePathNamesForVolumeNameA(name.c_str(), paths, 1, &needed));
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
       EXPECT_GT(needed, 1u);
       EXPECT_TRUE(sys::GetVolumePathNamesForVolumeNameA(name.c_str(), paths, needed, &needed));
     }},
    {"a volume's extents in a buffer too small for their header fail",
     "Wine answers every volume with no extents, whatever the buffer",
     [] {
       Opened volume("\\\\.\\C:", GENERIC_READ, kShareBoth);
       ASSERT_NE(volume.h, INVALID_HANDLE_VALUE);
       BYTE out[8] = {};
       DWORD returned = 0;
       EXPECT_FALSE(sys::DeviceIoControl(volume.h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0,
                                         out, sizeof out, &returned, nullptr));
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
     }},
    {"an unbuffered read moves whole sectors between sector-aligned places",
     "Wine reads through the host's page cache and takes any size",
     [] {
       Opened volume("\\\\.\\C:", GENERIC_READ, kShareBoth, FILE_FLAG_NO_BUFFERING);
       ASSERT_NE(volume.h, INVALID_HANDLE_VALUE);
       auto* block =
           static_cast<BYTE*>(sys::VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
       DWORD read = 0;
       EXPECT_FALSE(sys::ReadFile(volume.h, block, 100, &read, nullptr));
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
       EXPECT_FALSE(sys::ReadFile(volume.h, block + 1, 512, &read, nullptr)) << "an odd buffer";
       LONG high = 0;
       sys::SetFilePointer(volume.h, 100, &high, FILE_BEGIN);
       EXPECT_FALSE(sys::ReadFile(volume.h, block, 512, &read, nullptr)) << "an odd position";
       sys::SetFilePointer(volume.h, 0, &high, FILE_BEGIN);
       EXPECT_TRUE(sys::ReadFile(volume.h, block, 512, &read, nullptr)) << sys::GetLastError();
       EXPECT_EQ(read, 512u);
       EXPECT_FALSE(sys::VirtualFree(block, 4096, MEM_RELEASE)) << "MEM_RELEASE takes no size";
       EXPECT_TRUE(sys::VirtualFree(block, 0, MEM_RELEASE));
     }},
    {"a disk's volume opened without sharing writes is refused: its file system writes",
     "Wine's volumes are folders of the host, which keep no share modes against it",
     [] {
       Opened volume("\\\\.\\C:", GENERIC_READ, FILE_SHARE_READ);
       EXPECT_EQ(volume.h, INVALID_HANDLE_VALUE);
       EXPECT_EQ(volume.error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
     }},
    {"a physical drive is named in any case; one past the last is not found", nullptr,
     [] {
       EXPECT_NE(Opened("\\\\.\\physicaldrive0", GENERIC_READ, kShareBoth).h, INVALID_HANDLE_VALUE);
       Opened missing("\\\\.\\PhysicalDrive99", GENERIC_READ, kShareBoth);
       EXPECT_EQ(missing.h, INVALID_HANDLE_VALUE);
       EXPECT_EQ(missing.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
     }},
    {"a handle closes once", nullptr,
     [] {
       HANDLE h = sys::CreateFileA("\\\\.\\C:", GENERIC_READ, kShareBoth, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
       EXPECT_TRUE(sys::CloseHandle(h));
       EXPECT_FALSE(sys::CloseHandle(h));
     }},
    {"the partition and device-number requests refuse a buffer short of their answer",
     "Wine's volumes answer no partition request",
     [] {
       Opened volume("\\\\.\\C:", GENERIC_READ, kShareBoth);
       BYTE out[200] = {};
       DWORD returned = 0;
       EXPECT_FALSE(sys::DeviceIoControl(volume.h, IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0,
                                         out, 143, &returned, nullptr));
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
       EXPECT_TRUE(sys::DeviceIoControl(volume.h, IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, out,
                                        144, &returned, nullptr));
       EXPECT_EQ(returned, 144u);
       EXPECT_FALSE(sys::DeviceIoControl(volume.h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, out,
                                         11, &returned, nullptr));
     }},
    {"an open for no access checks no sharing, and reads nothing", nullptr,
     [] {
       Opened volume("\\\\.\\C:", 0, 0);
       ASSERT_NE(volume.h, INVALID_HANDLE_VALUE) << volume.error;
       BYTE sector[512] = {};
       DWORD read = 0;
       EXPECT_FALSE(sys::ReadFile(volume.h, sector, sizeof sector, &read, nullptr));
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
     }},
    {"the process's token, opened to query, says in four bytes whether it is elevated", nullptr,
     [] {
       HANDLE token = nullptr;
       ASSERT_TRUE(sys::OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
       TOKEN_ELEVATION elevation = {7};
       DWORD returned = 0;
       EXPECT_TRUE(sys::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation,
                                            &returned));
       EXPECT_EQ(returned, 4u);
       EXPECT_NE(elevation.TokenIsElevated, 7u);
       EXPECT_TRUE(sys::CloseHandle(token));
       // Any right past the query is the door's to refuse (TOKEN_ADJUST_PRIVILEGES here).
       EXPECT_FALSE(sys::OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | 0x20, &token));
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
     }},
    {"a volume's storage information is its disk's sectors and how its partition lies on them",
     "Wine does not implement FileStorageInfo (WindowsBehavesAs... says what it answers)",
     [] {
       Opened volume("\\\\.\\C:", 0, kShareBoth);
       FILE_STORAGE_INFO info = {};
       ASSERT_TRUE(sys::GetFileInformationByHandleEx(volume.h, FileStorageInfo, &info, sizeof info))
           << sys::GetLastError();
       EXPECT_EQ(info.LogicalBytesPerSector, 512u);
       EXPECT_GE(info.PhysicalBytesPerSectorForAtomicity, info.LogicalBytesPerSector);
       EXPECT_GE(info.PhysicalBytesPerSectorForPerformance, info.LogicalBytesPerSector);
       EXPECT_LE(info.FileSystemEffectivePhysicalBytesPerSectorForAtomicity,
                 info.PhysicalBytesPerSectorForAtomicity);
       EXPECT_EQ((info.Flags & STORAGE_INFO_FLAGS_PARTITION_ALIGNED_ON_DEVICE) != 0,
                 info.ByteOffsetForPartitionAlignment == 0);
       // The class has a fixed size: NtQueryVolumeInformationFile's length mismatch.
       EXPECT_FALSE(
           sys::GetFileInformationByHandleEx(volume.h, FileStorageInfo, &info, sizeof info - 1));
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
     }},
    {"the computer's name fits 16 characters; a buffer short of it is told the size it needs",
     nullptr,
     [] {
       char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
       DWORD size = sizeof name;
       ASSERT_TRUE(sys::GetComputerNameA(name, &size)) << sys::GetLastError();
       EXPECT_EQ(size, std::string(name).size());
       EXPECT_GT(size, 0u);
       DWORD small = 1;
       EXPECT_FALSE(sys::GetComputerNameA(name, &small));
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
       EXPECT_EQ(small, size + 1);
     }},
    {"the time is UTC in 100-nanosecond ticks from 1601: past 2020, and never going back",
     nullptr,
     [] {
       const auto ask = [] {
         FILETIME t{};
         sys::GetSystemTimeAsFileTime(&t);
         return uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime;
       };
       const uint64_t first = ask();
       EXPECT_GT(first, 132223104000000000u);  // 2020-01-01
       EXPECT_GE(ask(), first);
     }},
    {"every character of each ANSI code page decodes as the machine's tables give it, a lead "
     "byte with its trail; CP_ACP is GetACP's",
     nullptr,
     [] {
       const auto decode = [](uint32_t page, std::string bytes) {
         WCHAR wide[4] = {};
         const int n = sys::MultiByteToWideChar(page, 0, bytes.data(), int(bytes.size()), wide, 4);
         return n == 1 ? uint32_t{wide[0]} : 0x110000u + n;
       };
       for (size_t t = 0; t < sim::kCodePageTableCount; ++t) {
         const sim::CodePageTable& table = sim::kCodePageTables[t];
         SCOPED_TRACE(table.codePage);
         int wrong = 0;
         for (uint32_t b = 0x80; b < 0x100 && wrong < 3; ++b) {
           if (table.single[b - 0x80] == sim::kLeadByte) continue;
           const uint32_t got = decode(table.codePage, std::string(1, char(b)));
           if (got != table.single[b - 0x80])
             ADD_FAILURE() << std::hex << "byte " << b << ": " << got << ", not "
                           << table.single[b - 0x80] << (++wrong, "");
         }
         for (size_t i = 0; i < table.pairCount && wrong < 3; ++i) {
           const uint32_t pair = table.pairs[i];
           const uint32_t got =
               decode(table.codePage, {char(pair >> 24), char((pair >> 16) & 0xFF)});
           if (got != (pair & 0xFFFF))
             ADD_FAILURE() << std::hex << "pair " << (pair >> 16) << ": " << got << ", not "
                           << (pair & 0xFFFF) << (++wrong, "");
         }
       }
       // And back: each character the page holds encodes to bytes that decode to it, with no
       // default put; one it holds not is a '?' and said so.
       for (size_t t = 0; t < sim::kCodePageTableCount; ++t) {
         const sim::CodePageTable& table = sim::kCodePageTables[t];
         SCOPED_TRACE(table.codePage);
         int wrong = 0;
         for (size_t i = 0; i < table.pairCount && wrong < 3; i += 7) {
           const WCHAR c = static_cast<WCHAR>(table.pairs[i] & 0xFFFF);
           char bytes[4] = {};
           BOOL defaulted = TRUE;
           const int n =
               sys::WideCharToMultiByte(table.codePage, 0, &c, 1, bytes, 4, nullptr, &defaulted);
           if (n < 1 || defaulted || decode(table.codePage, std::string(bytes, n)) != c)
             ADD_FAILURE() << std::hex << "character " << c << (++wrong, "");
         }
         const WCHAR outside = 0x10D0;  // Georgian: in none of them
         char bytes[4] = {};
         BOOL defaulted = FALSE;
         EXPECT_EQ(sys::WideCharToMultiByte(table.codePage, 0, &outside, 1, bytes, 4, nullptr,
                                            &defaulted),
                   1);
         EXPECT_EQ(bytes[0], '?');
         EXPECT_TRUE(defaulted);
       }
       const UINT acp = sys::GetACP();
       const char text[] = "\xC9t\xE9";
       WCHAR own[4] = {}, named[4] = {};
       EXPECT_EQ(sys::MultiByteToWideChar(CP_ACP, 0, text, 3, own, 4),
                 sys::MultiByteToWideChar(acp, 0, text, 3, named, 4));
       EXPECT_EQ(std::u16string(own, own + 3), std::u16string(named, named + 3));
       EXPECT_EQ(sys::MultiByteToWideChar(acp, 0, text, 3, nullptr, 0), 3);
       EXPECT_EQ(sys::MultiByteToWideChar(acp, 0, text, 3, own, 2), 0);
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
     }},
    {"a folder lists . and .. first, its folders marked, and ends with ERROR_NO_MORE_FILES",
     nullptr,
     [] {
       WIN32_FIND_DATAA found = {};
       HANDLE find = sys::FindFirstFileA("C:\\windows\\*", &found);
       ASSERT_NE(find, INVALID_HANDLE_VALUE);
       std::vector<std::string> names = {found.cFileName};
       bool system32 = false;
       while (sys::FindNextFileA(find, &found)) {
         names.push_back(found.cFileName);
         std::string name = found.cFileName;
         for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
         if (name == "system32")
           system32 = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
       }
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
       EXPECT_TRUE(sys::FindClose(find));
       ASSERT_GE(names.size(), 3u);
       EXPECT_EQ(names[0], ".");
       EXPECT_EQ(names[1], "..");
       EXPECT_TRUE(system32);
     }},
    {"a folder that is not there is ERROR_PATH_NOT_FOUND; no entry that matches, "
     "ERROR_FILE_NOT_FOUND",
     nullptr,
     [] {
       WIN32_FIND_DATAA found = {};
       EXPECT_EQ(sys::FindFirstFileA("C:\\tessarel-no-folder\\*", &found), INVALID_HANDLE_VALUE);
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
       EXPECT_EQ(sys::FindFirstFileA("C:\\windows\\tessarel-no-file.*", &found),
                 INVALID_HANDLE_VALUE);
       EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
     }},
    {"a folder opens with access 0 only with backup semantics; a file's and a folder's "
     "identities differ, and one file's is the same by any spelling of its path, in both classes",
     nullptr,
     [] {
       constexpr DWORD kAll = kShareBoth | FILE_SHARE_DELETE;
       Opened plain("C:\\windows", 0, kAll);
       EXPECT_EQ(plain.h, INVALID_HANDLE_VALUE);
       EXPECT_EQ(plain.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
       Opened folder("C:\\windows", 0, kAll, FILE_FLAG_BACKUP_SEMANTICS);
       Opened file("C:\\windows\\win.ini", 0, kAll, FILE_FLAG_BACKUP_SEMANTICS);
       Opened again("c:/WINDOWS/Win.ini", FILE_READ_ATTRIBUTES, kAll, FILE_FLAG_BACKUP_SEMANTICS);
       ASSERT_NE(folder.h, INVALID_HANDLE_VALUE);
       ASSERT_NE(file.h, INVALID_HANDLE_VALUE);
       ASSERT_NE(again.h, INVALID_HANDLE_VALUE);
       FILE_ID_INFO ids[3] = {};
       BY_HANDLE_FILE_INFORMATION infos[3] = {};
       const HANDLE handles[3] = {folder.h, file.h, again.h};
       for (int i = 0; i < 3; ++i) {
         ASSERT_TRUE(sys::GetFileInformationByHandleEx(handles[i], FileIdInfo, &ids[i], sizeof ids[i]));
         ASSERT_TRUE(sys::GetFileInformationByHandle(handles[i], &infos[i]));
       }
       const auto same = [](const FILE_ID_INFO& a, const FILE_ID_INFO& b) {
         return a.VolumeSerialNumber == b.VolumeSerialNumber &&
                std::memcmp(a.FileId.Identifier, b.FileId.Identifier, 16) == 0;
       };
       EXPECT_FALSE(same(ids[0], ids[1]));
       EXPECT_TRUE(same(ids[1], ids[2]));
       EXPECT_EQ(infos[1].nFileIndexLow, infos[2].nFileIndexLow);
       EXPECT_EQ(infos[1].nFileIndexHigh, infos[2].nFileIndexHigh);
       EXPECT_EQ(infos[1].dwVolumeSerialNumber, infos[2].dwVolumeSerialNumber);
       EXPECT_NE(infos[0].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
     }},
};

void Check(bool wine) {
  for (const Case& c : kContract) {
    if (wine && c.notUnderWine != nullptr) continue;
    SCOPED_TRACE(c.behaviour);
    c.check();
  }
}

TEST(DoorContractTest, TheSimulatedMachineBehavesAsWindows) {
  sim::Machine machine;
  machine.majorVersion = 10;  // the token's elevation came with Vista
  sim::AddAtaDrive(machine, 0, "M", "", "", 0x6003, 0x4000);
  sim::VolumeLayout c;
  c.bootSector = sim::BuildNtfsBootSector(512, 8, 2048);
  sim::PlaceVolume(machine, c);
  machine.folders["C:\\windows\\system32"] = {};
  machine.files["C:\\windows\\win.ini"].size = 92;
  const sys::Using door(machine);
  Check(false);
}

#ifdef _WIN32
TEST(DoorContractTest, WindowsBehavesAsTheSimulatedMachineModelsIt) {
  const bool wine =
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  const sys::Using door(sys::WindowsBackend());
  Check(wine);
  // The system's time, in Unix seconds, is the C library's.
  FILETIME now{};
  sys::GetSystemTimeAsFileTime(&now);
  const uint64_t ticks = uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
  EXPECT_NEAR(static_cast<double>(ticks / 10000000 - 11644473600),
              static_cast<double>(std::time(nullptr)), 60);
  if (!wine) return;
  // What Wine answers where it differs: no storage information, so no view of Windows'
  // own beside the verdicts.
  Opened volume("\\\\.\\C:", 0, kShareBoth);
  FILE_STORAGE_INFO info = {};
  EXPECT_FALSE(sys::GetFileInformationByHandleEx(volume.h, FileStorageInfo, &info, sizeof info));
  EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}
#endif

}  // namespace
