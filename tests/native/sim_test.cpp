// The simulated machine behaves as a device would: it refuses what a device refuses.
#include <cstring>
#include <new>

#include "platform/sys.h"
#include "sim_fixture.h"

namespace {

class SimMachineTest : public SimTest {};

TEST_F(SimMachineTest, BuildersProduceValidStructures) {
  const auto id = sim::BuildIdentify("MODEL", "SERIAL", "FW", 0x6003, 0x4001);
  unsigned sum = 0;
  for (uint8_t b : id) sum += b;
  EXPECT_EQ(sum % 256, 0u);
  EXPECT_EQ(id[510], 0xA5);
  EXPECT_EQ(id[54], 'O');  // "MO": the first character in the high byte
  EXPECT_EQ(id[55], 'M');

  const auto fat = sim::BuildFatBootSector({4096, 1, 32, 2, 0, 0, 1000});
  ASSERT_EQ(fat.size(), 4096u);
  EXPECT_EQ(fat[11] | (fat[12] << 8), 4096);
  EXPECT_EQ(fat[14], 32);
  EXPECT_EQ(fat[36] | (fat[37] << 8), 1000);
  EXPECT_EQ(fat[510], 0x55);
  EXPECT_EQ(fat[511], 0xAA);
}

TEST_F(SimMachineTest, UnbufferedReadsMustBeWholeAlignedSectors) {
  sim::AddAtaDrive(machine, 0, "M", "", "", 0x4000, 0);
  HANDLE h = sys::CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, 3, nullptr, OPEN_EXISTING,
                              FILE_FLAG_NO_BUFFERING, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  auto* buffer =
      static_cast<uint8_t*>(sys::VirtualAlloc(nullptr, 1024, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(buffer, nullptr);
  DWORD read = 0;
  EXPECT_FALSE(sys::ReadFile(h, buffer, 100, &read, nullptr));
  EXPECT_EQ(sys::GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(sys::ReadFile(h, buffer + 1, 512, &read, nullptr));
  LONG high = 0;
  sys::SetFilePointer(h, 100, &high, FILE_BEGIN);
  EXPECT_FALSE(sys::ReadFile(h, buffer, 512, &read, nullptr));
  sys::SetFilePointer(h, 0, &high, FILE_BEGIN);
  EXPECT_TRUE(sys::ReadFile(h, buffer + 512, 512, &read, nullptr));
  EXPECT_EQ(read, 512u);
  EXPECT_EQ(buffer[512 + 510], 0x55);
  EXPECT_FALSE(sys::VirtualFree(buffer, 1024, MEM_RELEASE));  // MEM_RELEASE takes no size
  EXPECT_TRUE(sys::VirtualFree(buffer, 0, MEM_RELEASE));
  EXPECT_TRUE(sys::CloseHandle(h));
  EXPECT_FALSE(sys::CloseHandle(h));
  ExpectNothingLeft();
}

TEST_F(SimMachineTest, RequestsNeedTheAccessTheirCodesDemand) {
  sim::AddAtaDrive(machine, 0, "M", "", "", 0x4000, 0);
  HANDLE h = sys::CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  uint8_t in[33] = {};
  in[10] = 0xEC;
  uint8_t out[528];
  DWORD returned = 1;
  EXPECT_FALSE(sys::DeviceIoControl(h, SMART_RCV_DRIVE_DATA, in, 33, out, 528, &returned, nullptr));
  EXPECT_EQ(sys::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(returned, 0u);
  sys::CloseHandle(h);

  h = sys::CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  in[10] = 0xB0;  // SMART, not IDENTIFY: not what this device answers here
  EXPECT_FALSE(sys::DeviceIoControl(h, SMART_RCV_DRIVE_DATA, in, 33, out, 528, &returned, nullptr));
  in[10] = 0xEC;
  EXPECT_FALSE(sys::DeviceIoControl(h, SMART_RCV_DRIVE_DATA, in, 33, out, 100, &returned, nullptr));
  EXPECT_TRUE(sys::DeviceIoControl(h, SMART_RCV_DRIVE_DATA, in, 33, out, 528, &returned, nullptr));
  EXPECT_EQ(returned, 528u);
  sys::CloseHandle(h);
  ExpectNothingLeft();
}

TEST_F(SimMachineTest, OpensNeedSharingAndExistingDevices) {
  sim::AddAtaDrive(machine, 0, "M", "", "", 0x4000, 0);
  EXPECT_EQ(sys::CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(sys::GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(sys::CreateFileA("\\\\.\\PhysicalDrive10", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0,
                             nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(sys::GetLastError(), ERROR_FILE_NOT_FOUND);
  HANDLE h = sys::CreateFileA("\\\\.\\physicaldrive0", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  sys::CloseHandle(h);
  ExpectNothingLeft();
}

TEST_F(SimMachineTest, VersionQueryChecksTheStructureSize) {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(sys::GetVersionExA(&info));
  info.dwOSVersionInfoSize = sizeof info;
  machine.platformId = VER_PLATFORM_WIN32_WINDOWS;
  EXPECT_TRUE(sys::GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, DWORD(VER_PLATFORM_WIN32_WINDOWS));
}

}  // namespace
