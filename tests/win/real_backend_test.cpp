// The door in front of the real backend, under Wine: an open that could create, empty or
// delete a file is refused and leaves the file system as it was. Which requests and opens
// the guard refuses is the native guard test's; that the program's reads reach Windows is
// the door's contract test's.
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
  char m_path[MAX_PATH] = {};
  HANDLE m_file = INVALID_HANDLE_VALUE;
};

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
