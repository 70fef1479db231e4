// The simulated machine behaves as a device would: it refuses what a device refuses.
#include <cstring>
#include <new>

#include "platform/sys.h"
#include "sim_fixture.h"

namespace {

class SimMachineTest : public SimTest {};

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

TEST_F(SimMachineTest, AGptVolumeAndAStorageDriveAnswerAsWindowsDoes) {
  sim::AddStorageDrive(machine, 0, "NVMe", "X", 512, 4096);
  sim::VolumeLayout v;
  v.table = sim::PartitionTable::Gpt;
  sim::PlaceVolume(machine, v);
  HANDLE volume =
      sys::CreateFileA("\\\\.\\C:", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE drive = sys::CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, 3, nullptr, OPEN_EXISTING,
                                  0, nullptr);
  uint8_t out[200] = {};
  DWORD returned = 1;
  EXPECT_FALSE(sys::DeviceIoControl(volume, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, out, 32,
                                    &returned, nullptr));
  EXPECT_EQ(sys::GetLastError(), ERROR_INVALID_FUNCTION) << "MBR only";

  // The property query wants a whole query in and room for a header out, and copies
  // what fits.
  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = StorageAccessAlignmentProperty;
  EXPECT_FALSE(sys::DeviceIoControl(drive, IOCTL_STORAGE_QUERY_PROPERTY, &query, 8, out, 28,
                                    &returned, nullptr));
  EXPECT_FALSE(sys::DeviceIoControl(drive, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, out,
                                    7, &returned, nullptr));
  EXPECT_TRUE(sys::DeviceIoControl(drive, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, out,
                                   8, &returned, nullptr));
  EXPECT_EQ(returned, 8u);
  // The device's texts lie past the fixed part: a short buffer is filled, and the
  // descriptor's Size still names the whole.
  query.PropertyId = StorageDeviceProperty;
  EXPECT_TRUE(sys::DeviceIoControl(drive, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, out,
                                   28, &returned, nullptr));
  STORAGE_DESCRIPTOR_HEADER header;
  std::memcpy(&header, out, sizeof header);
  EXPECT_EQ(returned, 28u);
  EXPECT_GT(header.Size, 40u);
  sys::CloseHandle(volume);
  sys::CloseHandle(drive);
  ExpectNothingLeft();
}

TEST_F(SimMachineTest, AnEncryptedVolumeReadsOtherBytesThanItsDriveAtTheSamePlace) {
  sim::AddAtaDrive(machine, 0, "M", "", "", 0x4000, 0);
  sim::VolumeLayout v;
  v.bootSector = sim::BuildNtfsBootSector(512, 8, 2048);
  v.encryptionKey = 77;
  sim::PlaceVolume(machine, v);
  // What the probe sees: the volume's first sector, and the drive's at the volume's start.
  auto firstSector = [](const char* path, uint64_t byte) {
    sim::Bytes sector(512);
    HANDLE h = sys::CreateFileA(path, GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    LONG high = static_cast<LONG>(byte >> 32);
    sys::SetFilePointer(h, static_cast<LONG>(byte), &high, FILE_BEGIN);
    DWORD read = 0;
    EXPECT_TRUE(sys::ReadFile(h, sector.data(), 512, &read, nullptr)) << path;
    sys::CloseHandle(h);
    return sector;
  };
  EXPECT_EQ(firstSector("\\\\.\\C:", 0), v.bootSector);
  EXPECT_NE(firstSector("\\\\.\\PhysicalDrive0", 2048 * 512), v.bootSector);
  ExpectNothingLeft();
}

TEST_F(SimMachineTest, EmptyInquiryDataCopiesNothing) {
  sim::Drive& d = machine.drives[0];
  d.open = sim::Open::Ok;
  d.scsi.supported = true;  // answers, with no data at all
  DriveInfo info;
  IdentifyDrive(0, &info);
  EXPECT_EQ(info.status, 0);
  EXPECT_STREQ(info.model, " ");  // an empty vendor and product, as the count claims
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
