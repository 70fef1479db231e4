// The door in front of the real backend, under Wine: a request or an open that could
// write is refused before Windows sees it, while the program's own reads reach Windows.
#include <gtest/gtest.h>

#include <string>

#include "platform/sys.h"

namespace {

class RealBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, dir);
    ::GetTempFileNameA(dir, "ro", 0, m_path);
    m_file = ::CreateFileA(m_path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY, nullptr);
    ASSERT_NE(m_file, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    ::CloseHandle(m_file);
    ::DeleteFileA(m_path);
    // What a guard with a hole would have left.
    for (const char* suffix : {".new", ".plain"})
      ::DeleteFileA((m_path + std::string(suffix)).c_str());
  }
  // The error a request ends with, through the product's own backend.
  DWORD Ask(DWORD code) {
    BYTE out[512] = {};
    DWORD returned = 77;
    ::SetLastError(0);
    if (sys::DeviceIoControl(m_file, code, nullptr, 0, out, sizeof out, &returned, nullptr))
      return ERROR_SUCCESS;
    m_returned = returned;
    return sys::GetLastError();
  }
  char m_path[MAX_PATH] = {};
  HANDLE m_file = INVALID_HANDLE_VALUE;
  DWORD m_returned = 0;
};

TEST_F(RealBackendTest, WritingRequestsNeverReachWindows) {
  // Every refused code is the native guard test's; here, that the real backend is behind
  // the guard: SMART_SEND_DRIVE_COMMAND and FSCTL_LOCK_VOLUME.
  for (DWORD code : {0x0007C084u, 0x00090018u}) {
    EXPECT_EQ(Ask(code), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << std::hex << code;
    EXPECT_EQ(m_returned, 0u);
  }
}

TEST_F(RealBackendTest, TheProgramsReadsReachWindows) {
  // A plain file is no disk: Windows refuses these itself, with its own error.
  for (DWORD code : {IOCTL_STORAGE_GET_DEVICE_NUMBER, IOCTL_DISK_GET_PARTITION_INFO_EX})
    EXPECT_NE(Ask(code), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << std::hex << code;
}

// Every open that could create, empty or delete a file is refused, and leaves the file
// system as it was; an existing device still opens.
TEST_F(RealBackendTest, OpensThatCouldChangeAFileLeaveNoTrace) {
  static const char kContent[] = "kept";
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(m_file, kContent, 4, &written, nullptr));
  ::FlushFileBuffers(m_file);
  const std::string existing = std::string("\\\\?\\") + m_path;
  const std::string fresh = existing + ".new";
  const std::string plainFresh = std::string(m_path) + ".plain";

  struct Case {
    std::string path;
    DWORD disposition, flags;
  } cases[] = {
      // One of each way to change a file; the native guard test has every disposition.
      {fresh, CREATE_NEW, 0},
      {plainFresh, OPEN_EXISTING, 0},  // not a device path
      {existing, TRUNCATE_EXISTING, 0},
      {existing, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " disposition " + std::to_string(c.disposition));
    HANDLE h = sys::CreateFileA(c.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                c.disposition, c.flags, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    if (h != INVALID_HANDLE_VALUE) sys::CloseHandle(h);
  }
  EXPECT_EQ(::GetFileAttributesA(fresh.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(::GetFileAttributesA(plainFresh.c_str()), INVALID_FILE_ATTRIBUTES);
  char content[8] = {};
  DWORD read = 0;
  ::SetFilePointer(m_file, 0, nullptr, FILE_BEGIN);
  ASSERT_TRUE(::ReadFile(m_file, content, sizeof content, &read, nullptr));
  EXPECT_EQ(std::string(content, read), kContent);

  HANDLE volume = sys::CreateFileA("\\\\.\\C:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(volume, INVALID_HANDLE_VALUE) << sys::GetLastError();
  if (volume != INVALID_HANDLE_VALUE) sys::CloseHandle(volume);
}

}  // namespace
