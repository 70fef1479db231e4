// The simulated machine behaves as a device would: it refuses what a device refuses.
#include <cstring>
#include <new>

#include <gtest/gtest-spi.h>

#include <functional>
#include <map>

#include "disk/partition_table.h"
#include "inspect/drive_layout.h"
#include "inspect/volume_info.h"
#include "platform/device.h"
#include "platform/read_only.h"
#include "platform/sys.h"
#include "sim/lab.h"
#include "sim_fixture.h"

namespace {

class SimMachineTest : public SimTest {};

// Every answer of the simulated devices, read back by the product's own reader of it, says
// what the machine holds; and every request the read-only door lets through has one.
TEST_F(SimMachineTest, EachAnswerReadsBackAsWhatTheMachineHolds) {
  sim::BuildLab(machine);
  const auto identified = [](uint32_t disk, AccessMode mode) {
    DriveInfo d;
    IdentifyDrive(disk, &d, mode);
    return d;
  };
  const auto probed = [this](char letter) {
    machine.letters[letter].extentsOk = false;  // placed by the partition requests instead
    CVolumeInfo v(letter);
    v.Probe();
    return v;
  };
  const DWORD none = ~DWORD{0};
  const std::map<std::pair<DWORD, DWORD>, std::function<void()>> readers = {
      {{SMART_RCV_DRIVE_DATA, none},
       [&] {
         const DriveInfo d = identified(0, AccessMode::Raw);
         EXPECT_EQ(std::string(d.model), "KESTREL KD4000-512E");
         EXPECT_EQ(std::string(d.serial), "KD40A0001");
         EXPECT_EQ(d.sectorsPerPhysical, 8);
       }},
      {{IOCTL_SCSI_PASS_THROUGH, none},
       [&] {
         EXPECT_EQ(std::string(identified(4, AccessMode::Raw).model), "VITRELLE PORTA-DISK 2T");
       }},
      {{IOCTL_STORAGE_QUERY_PROPERTY, StorageDeviceProperty},
       [&] { EXPECT_EQ(std::string(identified(16, AccessMode::QueryOnly).serial), "KD60G0016"); }},
      {{IOCTL_STORAGE_QUERY_PROPERTY, StorageAccessAlignmentProperty},
       [&] {
         const DriveInfo d = identified(15, AccessMode::QueryOnly);
         EXPECT_EQ(d.PhysicalSectorBytes(), 16384u);
         EXPECT_EQ(d.geometry, GeometrySource::StorageDescriptor);
       }},
      {{IOCTL_STORAGE_QUERY_PROPERTY, StorageDeviceSeekPenaltyProperty},
       [&] {
         EXPECT_EQ(identified(10, AccessMode::QueryOnly).seekPenalty, false);
         EXPECT_EQ(identified(11, AccessMode::QueryOnly).seekPenalty, true);
       }},
      {{IOCTL_STORAGE_QUERY_PROPERTY, StorageDeviceTrimProperty},
       [&] { EXPECT_EQ(identified(15, AccessMode::QueryOnly).trimEnabled, true); }},
      {{IOCTL_DISK_GET_DRIVE_LAYOUT_EX, none},
       [&] {
         const DriveInfo d = identified(14, AccessMode::Raw);
         ASSERT_EQ(d.layout->partitions.size(), machine.drives[14].layout.partitions.size());
         for (size_t i = 0; i < d.layout->partitions.size(); ++i)
           EXPECT_EQ(d.layout->partitions[i].start,
                     ByteCount(machine.drives[14].layout.partitions[i].start * 512));
         EXPECT_EQ(d.layout->partitions.back().containerEnd, ByteCount((8390719ull + 2097152) * 512));
       }},
      {{IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, none},
       [&] {
         Device drive(PhysicalDrivePath(6), 0, 0);
         const DiskSize size = AskDiskSize(drive);
         EXPECT_EQ(size.bytes, machine.drives[6].sectorCount * 512);
         EXPECT_EQ(size.bytesPerSector, 512u);
       }},
      {{IOCTL_DISK_GET_PARTITION_INFO, none}, [&] { EXPECT_EQ(probed('D').m_startSector, 63u); }},
      {{IOCTL_DISK_GET_PARTITION_INFO_EX, none},
       [&] { EXPECT_EQ(probed('N').m_startSector, 5000000000u); }},  // GPT: only the _EX one
      {{IOCTL_STORAGE_GET_DEVICE_NUMBER, none}, [&] { EXPECT_EQ(probed('Q').GetDriveIndex(), 8); }},
      {{IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, none},
       [&] {
         const std::vector<VolumeExtent> pieces =
             VolumePieces(sim::Machine::NameOf('S', machine.letters['S']));
         ASSERT_EQ(pieces.size(), 2u);
         EXPECT_EQ(pieces[1].disk, DiskNumber(12));
         EXPECT_EQ(pieces[1].offset, ByteCount(2099199ull * 512));
         EXPECT_EQ(pieces[1].length, ByteCount(1048576ull * 512));
       }},
  };
  for (const auto& key : sim::Machine::Answered()) {
    SCOPED_TRACE(::testing::Message() << std::hex << "request 0x" << key.first << " property "
                                      << key.second);
    const auto reader = readers.find(key);
    ASSERT_NE(reader, readers.end()) << "an answer nobody reads back";
    reader->second();
  }
  // The door lets no request through that the devices have no answer to.
  for (const auto& [key, reader] : readers) {
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = static_cast<STORAGE_PROPERTY_ID>(key.second);
    SENDCMDINPARAMS identify = {};
    identify.irDriveRegs.bCommandReg = ID_CMD;
    SCSI_PASS_THROUGH inquiry = {};
    inquiry.Cdb[0] = 0x12;
    inquiry.DataIn = SCSI_IOCTL_DATA_IN;
    const void* in = key.first == SMART_RCV_DRIVE_DATA ? static_cast<const void*>(&identify)
                     : key.first == IOCTL_SCSI_PASS_THROUGH ? static_cast<const void*>(&inquiry)
                                                            : &query;
    EXPECT_TRUE(IsReadOnlyRequest(key.first, in, sizeof(SCSI_PASS_THROUGH)));
  }
  ExpectNothingLeft();
}

// A request the simulated machine does not model is no answer: it fails the test that
// sent it, naming it, unless that test says it means to see Windows refuse it.
TEST(SimUnmodelledTest, ARequestWithoutAnAnswerFailsItsTest) {
  const auto askDeviceId = [](sim::Machine& m) {
    HANDLE h = sys::CreateFileA("\\\\.\\PhysicalDrive0", 0, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId =
        static_cast<STORAGE_PROPERTY_ID>(2);  // StorageDeviceIdProperty: not modelled
    BYTE out[64];
    DWORD returned = 0;
    EXPECT_FALSE(sys::DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, out,
                                      sizeof out, &returned, nullptr));
    EXPECT_EQ(sys::GetLastError(), ERROR_NOT_SUPPORTED);
    sys::CloseHandle(h);
    (void)m;
  };
  EXPECT_NONFATAL_FAILURE(
      {
        sim::Machine m;
        sim::AddAtaDrive(m, 0, "M", "", "", 0x4000, 0);
        sim::Installation in(m);
        askDeviceId(m);
      },
      "DeviceIoControl 0x2D1400 property 2 on a drive");
  sim::Machine m;
  sim::AddAtaDrive(m, 0, "M", "", "", 0x4000, 0);
  sim::Installation in(m);
  askDeviceId(m);
  m.ClearUnmodelled();  // meant: Windows refuses it here
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

// What the simulated machine's folders model beyond what Windows shows every machine: a
// drive's root without . and .., a junction listed as its target, a folder Windows will not
// list, sizes from the files held.
TEST(SimFolderTest, FoldersListAsWindowsListsThem) {
  sim::Machine machine;
  machine.files["D:\\VMs\\b.vhdx"].size = 5ull << 32;
  machine.files["D:\\VMs\\old\\a.vhd"].size = 512;
  machine.folders["D:\\Link"].linkTo = "D:\\VMs";
  machine.folders["D:\\Secret"].listable = false;
  const sys::Using door(machine);
  const auto list = [](const char* pattern, DWORD* error) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found = {};
    HANDLE find = sys::FindFirstFileA(pattern, &found);
    *error = find == INVALID_HANDLE_VALUE ? sys::GetLastError() : 0;
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                        found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT;
      const uint64_t size = uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
      names.push_back(std::string(found.cFileName) + (link ? ">" : folder ? "/" : "") +
                      (size != 0 ? " " + std::to_string(size) : ""));
    } while (sys::FindNextFileA(find, &found));
    sys::FindClose(find);
    return names;
  };
  DWORD error = 0;
  EXPECT_EQ(list("D:\\*", &error), (std::vector<std::string>{"Link>", "Secret/", "VMs/"}));
  EXPECT_EQ(list("D:\\Link\\*", &error),
            (std::vector<std::string>{"./", "../", "b.vhdx 21474836480", "old/"}));
  EXPECT_EQ(list("D:\\VMs\\*.vhd?", &error), (std::vector<std::string>{"b.vhdx 21474836480"}));
  EXPECT_TRUE(list("D:\\Secret\\*", &error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(machine.OpenHandles(), 0);
}
