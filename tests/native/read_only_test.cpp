#include "platform/read_only.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/sys.h"
#include "sim_fixture.h"

namespace {

std::vector<BYTE> Smart(BYTE command) {
  std::vector<BYTE> in(sizeof(SENDCMDINPARAMS), 0);
  in[offsetof(SENDCMDINPARAMS, irDriveRegs) + offsetof(IDEREGS, bCommandReg)] = command;
  return in;
}

std::vector<BYTE> Scsi(BYTE operation, UCHAR dataIn) {
  std::vector<BYTE> in(100, 0);
  SCSI_PASS_THROUGH spt = {};
  spt.Length = sizeof spt;
  spt.CdbLength = 6;
  spt.DataIn = dataIn;
  spt.Cdb[0] = operation;
  std::memcpy(in.data(), &spt, sizeof spt);
  return in;
}

std::vector<BYTE> Query(DWORD type) {
  std::vector<BYTE> in(sizeof(STORAGE_PROPERTY_QUERY), 0);
  in[0] = StorageAccessAlignmentProperty;
  std::memcpy(&in[offsetof(STORAGE_PROPERTY_QUERY, QueryType)], &type, sizeof type);
  return in;
}

bool Passes(DWORD code, const std::vector<BYTE>& in) {
  return IsReadOnlyRequest(code, in.empty() ? nullptr : in.data(), static_cast<DWORD>(in.size()));
}

TEST(ReadOnlyTest, TheProgramsReadsPass) {
  EXPECT_TRUE(Passes(SMART_RCV_DRIVE_DATA, Smart(0xEC)));
  EXPECT_TRUE(Passes(IOCTL_SCSI_PASS_THROUGH, Scsi(0x12, SCSI_IOCTL_DATA_IN)));
  EXPECT_TRUE(Passes(IOCTL_DISK_GET_PARTITION_INFO, {}));
  EXPECT_TRUE(Passes(IOCTL_DISK_GET_PARTITION_INFO_EX, {}));
  EXPECT_TRUE(Passes(IOCTL_STORAGE_GET_DEVICE_NUMBER, {}));
  EXPECT_TRUE(Passes(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, {}));
  EXPECT_TRUE(Passes(IOCTL_DISK_GET_DRIVE_LAYOUT_EX, {}));
  EXPECT_TRUE(Passes(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, {}));
  EXPECT_TRUE(Passes(IOCTL_STORAGE_QUERY_PROPERTY, Query(PropertyStandardQuery)));
  EXPECT_TRUE(Passes(IOCTL_STORAGE_QUERY_PROPERTY, Query(PropertyExistsQuery)));
}

TEST(ReadOnlyTest, EveryOtherRequestIsRefused) {
  const DWORD allowed[] = {SMART_RCV_DRIVE_DATA,
                           IOCTL_SCSI_PASS_THROUGH,
                           IOCTL_DISK_GET_PARTITION_INFO,
                           IOCTL_DISK_GET_PARTITION_INFO_EX,
                           IOCTL_STORAGE_GET_DEVICE_NUMBER,
                           IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS,
                           IOCTL_DISK_GET_DRIVE_LAYOUT_EX,
                           IOCTL_DISK_GET_DRIVE_GEOMETRY_EX,
                           IOCTL_STORAGE_QUERY_PROPERTY};
  // The neighbours of each: the functions beside it, and the same function asking for
  // other access or another transfer method.
  for (DWORD code : allowed) {
    for (DWORD other : {code - 4, code + 4, code ^ 0xC000, code ^ 0x4000, code ^ 0x8000, code ^ 1,
                        code ^ 2, code ^ 3}) {
      if (other == code) continue;
      bool listed = false;
      for (DWORD a : allowed) listed = listed || a == other;
      if (listed) continue;
      EXPECT_FALSE(Passes(other, Query(PropertyStandardQuery))) << std::hex << other;
      EXPECT_FALSE(Passes(other, Scsi(0x12, SCSI_IOCTL_DATA_IN))) << std::hex << other;
    }
  }
  const DWORD writes[] = {
      0x0007C008,  // IOCTL_DISK_SET_PARTITION_INFO
      0x0007C10C,  // IOCTL_DISK_SET_PARTITION_INFO_EX
      0x0007C010,  // IOCTL_DISK_SET_DRIVE_LAYOUT
      0x0007C054,  // IOCTL_DISK_SET_DRIVE_LAYOUT_EX
      0x0007C058,  // IOCTL_DISK_CREATE_DISK
      0x0007C100,  // IOCTL_DISK_DELETE_DRIVE_LAYOUT
      0x0007C018,  // IOCTL_DISK_FORMAT_TRACKS
      0x0007C084,  // SMART_SEND_DRIVE_COMMAND
      0x0004D014,  // IOCTL_SCSI_PASS_THROUGH_DIRECT
      0x0004D02C,  // IOCTL_ATA_PASS_THROUGH
      0x00090018,  // FSCTL_LOCK_VOLUME
      0x00090020,  // FSCTL_DISMOUNT_VOLUME
      0x002D940C,  // IOCTL_STORAGE_SET_PROPERTY
      0x0056C00C,  // IOCTL_VOLUME_OFFLINE
      0x0056C008,  // IOCTL_VOLUME_ONLINE
      0x00070000,  // IOCTL_DISK_GET_DRIVE_GEOMETRY: a read, but not one of the program's
      0,
  };
  for (DWORD code : writes) {
    EXPECT_FALSE(Passes(code, {})) << std::hex << code;
    EXPECT_FALSE(Passes(code, Smart(0xEC))) << std::hex << code;
  }
}

TEST(ReadOnlyTest, AllowedCodesCarryingOtherCommandsAreRefused) {
  for (BYTE command : {0xB0, 0xA1, 0x30, 0xCA, 0x00, 0xED})  // SMART, PACKET IDENTIFY, writes
    EXPECT_FALSE(Passes(SMART_RCV_DRIVE_DATA, Smart(command))) << int{command};
  EXPECT_FALSE(Passes(SMART_RCV_DRIVE_DATA, {}));
  std::vector<BYTE> shortSmart = Smart(0xEC);
  shortSmart.resize(offsetof(SENDCMDINPARAMS, bBuffer) - 1);
  EXPECT_FALSE(Passes(SMART_RCV_DRIVE_DATA, shortSmart));

  EXPECT_FALSE(Passes(IOCTL_SCSI_PASS_THROUGH, Scsi(0x12, 0)));  // data out
  EXPECT_FALSE(Passes(IOCTL_SCSI_PASS_THROUGH, Scsi(0x12, 2)));  // direction unspecified
  for (BYTE op : {0x0A, 0x2A, 0x8A, 0xAA, 0x04, 0x15, 0x55, 0x3B, 0x28, 0x00})
    EXPECT_FALSE(Passes(IOCTL_SCSI_PASS_THROUGH, Scsi(op, SCSI_IOCTL_DATA_IN))) << int{op};
  std::vector<BYTE> shortScsi = Scsi(0x12, SCSI_IOCTL_DATA_IN);
  shortScsi.resize(sizeof(SCSI_PASS_THROUGH) - 1);
  EXPECT_FALSE(Passes(IOCTL_SCSI_PASS_THROUGH, shortScsi));

  for (DWORD type : {2u, 3u, 0xFFFFFFFFu})  // mask query, past the last, garbage
    EXPECT_FALSE(Passes(IOCTL_STORAGE_QUERY_PROPERTY, Query(type))) << type;
  EXPECT_FALSE(Passes(IOCTL_STORAGE_QUERY_PROPERTY, {}));
}

// Devices the program reads open as it asks; a file (a disk image) only for reading, shared
// with a hypervisor that writes it; nothing is created, emptied or deleted.
TEST(ReadOnlyTest, OnlyExistingDevicesAndFilesForReadingOpen) {
  constexpr DWORD R = GENERIC_READ, RW = GENERIC_READ | GENERIC_WRITE;
  constexpr DWORD kBoth = FILE_SHARE_READ | FILE_SHARE_WRITE, kAll = kBoth | FILE_SHARE_DELETE;
  struct Case {
    const char* path;
    DWORD access, share, disposition, flags;
    bool passes;
  } cases[] = {
      {"\\\\.\\PhysicalDrive0", RW, kBoth, OPEN_EXISTING, 0, true},
      {"\\\\.\\physicaldrive4000000000", 0, 0, OPEN_EXISTING, 0, true},
      {"\\\\.\\C:", R, kBoth, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL, true},
      {"\\\\?\\Volume{0a1b2c3d-0000-0000-0000-100000000000}", R, kBoth, OPEN_EXISTING, 0, true},
      {"\\\\.\\C:", R, kBoth, CREATE_NEW, 0, false},
      {"\\\\.\\C:", R, kBoth, CREATE_ALWAYS, 0, false},
      {"\\\\.\\C:", R, kBoth, OPEN_ALWAYS, 0, false},
      {"\\\\.\\C:", R, kBoth, TRUNCATE_EXISTING, 0, false},
      {"\\\\.\\C:", R, kBoth, 0, 0, false},
      {"\\\\.\\C:", R, kBoth, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, false},
      // Files: the image a person names, by any path.
      {"C:\\VMs\\xp.vhd", R, kBoth, OPEN_EXISTING, 0, true},
      {"xp.vhd", R, kAll, OPEN_EXISTING, 0, true},
      {"\\\\?\\C:\\VMs\\xp.vhdx", R, kBoth, OPEN_EXISTING, 0, true},
      {"\\\\?\\C:\\VMs\\xp.vhdx", RW, kBoth, OPEN_EXISTING, 0, false},
      {"\\\\?\\C:\\VMs\\xp.vhdx", GENERIC_ALL, kBoth, OPEN_EXISTING, 0, false},
      {"C:\\VMs\\xp.vhd", R, FILE_SHARE_READ, OPEN_EXISTING, 0, false},
      {"C:\\VMs\\xp.vhd", R, kBoth, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, false},
      // A file's or a folder's identity: no data access, backup semantics then alone.
      {"C:\\VMs\\xp.vhd", 0, kBoth, OPEN_EXISTING, 0, true},
      {"C:\\VMs", 0, kAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, true},
      {"C:\\VMs", FILE_READ_ATTRIBUTES, kAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, true},
      {"C:\\VMs", FILE_READ_ATTRIBUTES | 0x100, kAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
       false},
      {"C:\\VMs", 0, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, false},
      {"C:\\VMs", 0, kAll, OPEN_ALWAYS, FILE_FLAG_BACKUP_SEMANTICS, false},
      {"C:\\VMs", 0, kAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_DELETE_ON_CLOSE,
       false},
      {"\\\\.\\pipe\\x", 0, kAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, false},
      {"C:\\VMs\\AUX", 0, kAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, false},
      {"C:\\VMs\\xp.vhd", R, kBoth, OPEN_ALWAYS, 0, false},
      {"\\\\?\\C:\\data.db", R, kBoth, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, false},
      // Under \\.\ only the devices above: no pipe, no file named through the device space.
      {"\\\\.\\C:\\VMs\\xp.vhd", R, kBoth, OPEN_EXISTING, 0, false},
      {"\\\\.\\pipe\\x", R, kBoth, OPEN_EXISTING, 0, false},
      {"\\\\.\\PhysicalDrive", R, kBoth, OPEN_EXISTING, 0, false},
      {"\\\\.\\PhysicalDrive0\\x", R, kBoth, OPEN_EXISTING, 0, false},
      {"\\\\?\\Volume{0a1b2c3d-0000-0000-0000-100000000000}\\x.vhd", RW, kBoth, OPEN_EXISTING, 0,
       false},
      {"\\\\.", R, kBoth, OPEN_EXISTING, 0, false},
      // The device spaces by other spellings, and the names Windows maps to devices.
      {"//./PhysicalDrive0", R, kBoth, OPEN_EXISTING, 0, false},
      {"\\\\?\\PhysicalDrive0", R, kBoth, OPEN_EXISTING, 0, false},
      {"\\\\?\\C:", R, kBoth, OPEN_EXISTING, 0, false},
      {"\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition0", R, kBoth, OPEN_EXISTING, 0, false},
      {"\\??\\C:\\VMs\\xp.vhd", R, kBoth, OPEN_EXISTING, 0, false},
      {"C:\\VMs\\CON", R, kBoth, OPEN_EXISTING, 0, false},
      {"nul.vhd", R, kBoth, OPEN_EXISTING, 0, false},
      {"COM1", R, kBoth, OPEN_EXISTING, 0, false},
      {"COM10", R, kBoth, OPEN_EXISTING, 0, true},
      // Files a person names on a share, or behind \\?\: opened as named.
      {"\\\\sofs\\vms\\xp.vhdx", R, kBoth, OPEN_EXISTING, 0, true},
      {"\\\\?\\UNC\\sofs\\vms\\xp.vhdx", R, kBoth, OPEN_EXISTING, 0, true},
      {"\\\\?\\Volume{0a1b2c3d-0000-0000-0000-100000000000}\\xp.vhd", R, kBoth, OPEN_EXISTING, 0,
       true},
      {"", R, kBoth, OPEN_EXISTING, 0, false},
      {nullptr, R, kBoth, OPEN_EXISTING, 0, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsReadOnlyOpen(c.path, c.access, c.share, c.disposition, c.flags), c.passes)
        << (c.path ? c.path : "(null)") << " " << std::hex << c.access << " " << c.share << " "
        << c.disposition << " " << c.flags;
}

// The guard sits in the door: the simulated machine never sees what it refuses, just as
// Windows never does.
class DoorTest : public SimTest {};

TEST_F(DoorTest, RefusedCallsNeverReachTheMachine) {
  sim::AddAtaDrive(machine, 0, "M", "", "", 0x4000, 0);
  HANDLE drive = sys::CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE, 3,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(drive, INVALID_HANDLE_VALUE);
  machine.ClearLog();

  for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_ALWAYS, TRUNCATE_EXISTING}) {
    EXPECT_EQ(sys::CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, 3, nullptr, disposition, 0,
                               nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << disposition;
  }
  EXPECT_EQ(sys::CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, 3, nullptr, OPEN_EXISTING,
                             FILE_FLAG_DELETE_ON_CLOSE, nullptr),
            INVALID_HANDLE_VALUE);
  // A request the machine would answer, but not one of the program's reads.
  const DWORD kGetDriveGeometry = 0x00070000;
  BYTE out[64] = {};
  DWORD returned = 99;
  EXPECT_FALSE(sys::DeviceIoControl(drive, kGetDriveGeometry, nullptr, 0, out, sizeof out,
                                    &returned, nullptr));
  EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(returned, 0u);
  // Of a handle's information only FileStorageInfo and FileIdInfo: the neighbouring classes
  // set a file's basic information, name, deletion, size (4 to 7), or lie between them.
  for (int infoClass : {0, 4, 5, 6, 7, 15, 17, 19, 0x7FFFFFFF}) {
    EXPECT_FALSE(sys::GetFileInformationByHandleEx(
        drive, static_cast<FILE_INFO_BY_HANDLE_CLASS>(infoClass), out, sizeof out));
    EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << infoClass;
  }
  // A listing reads names only, but a device, a pipe or a device's name is no folder.
  WIN32_FIND_DATAA found;
  for (const char* pattern : {"\\\\.\\C:", "\\\\.\\PhysicalDrive0", "\\\\.\\pipe\\*",
                              "C:\\VMs\\NUL", "\\??\\C:\\*", ""}) {
    EXPECT_EQ(sys::FindFirstFileA(pattern, &found), INVALID_HANDLE_VALUE) << pattern;
    EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << pattern;
  }
  EXPECT_TRUE(machine.Log().empty()) << machine.Log().front().op;
  EXPECT_EQ(sys::FindFirstFileA("\\\\?\\C:\\VMs\\*", &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << "a folder's, asked";
  machine.ClearLog();

  // The next call that passes leaves its own error, not the door's.
  EXPECT_FALSE(sys::DeviceIoControl(drive, IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, out, 8,
                                    &returned, nullptr));
  EXPECT_EQ(sys::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(machine.Log().size(), 1u);
  sys::CloseHandle(drive);
}

}  // namespace
