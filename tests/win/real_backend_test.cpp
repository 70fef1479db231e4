// The real backend under Wine: a request that could write is refused before Windows
// sees it, while the program's own reads reach Windows.
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
  for (DWORD code :
       {0x0007C008u, 0x0007C054u, 0x0007C058u, 0x00090018u, 0x0004D014u, 0x0007C084u}) {
    EXPECT_EQ(Ask(code), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << std::hex << code;
    EXPECT_EQ(m_returned, 0u);
  }
}

TEST_F(RealBackendTest, TheProgramsReadsReachWindows) {
  // A plain file is no disk: Windows refuses these itself, with its own error.
  for (DWORD code : {IOCTL_STORAGE_GET_DEVICE_NUMBER, IOCTL_DISK_GET_PARTITION_INFO_EX})
    EXPECT_NE(Ask(code), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << std::hex << code;
}

}  // namespace
