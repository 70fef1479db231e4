#include <array>
#include <cstring>

#include "sim_fixture.h"
#include "inspect/drive_layout.h"

namespace {

using sim::Open;
using sim::SmartAnswer;

class IdentifyTest : public SimTest {
 protected:
  // A drive that opens and answers INQUIRY, with SMART answering as told.
  sim::Drive& ScsiDrive(int index, SmartAnswer::Kind smart, DWORD returned = 98) {
    sim::Drive& d = machine.drives[index];
    d.open = Open::Ok;
    d.smart.kind = smart;
    d.scsi.supported = true;
    d.scsi.inquiry = sim::BuildInquiry("XYZ", "DISK-100");
    d.scsi.returned = returned;
    return d;
  }
  size_t Requests(DWORD code) const {
    size_t n = 0;
    for (const sim::Call& c : machine.Calls("DeviceIoControl")) n += c.code == code;
    return n;
  }
  size_t ScsiRequests() const { return Requests(IOCTL_SCSI_PASS_THROUGH); }
  // Property queries for the drive's identity or geometry; what kind of disk it is (the
  // seek penalty, TRIM) is asked of every drive.
  size_t IdentityQueries() const {
    size_t n = 0;
    for (const sim::Call& c : machine.Calls("DeviceIoControl"))
      n += c.code == IOCTL_STORAGE_QUERY_PROPERTY &&
           c.request[0] != StorageDeviceSeekPenaltyProperty &&
           c.request[0] != StorageDeviceTrimProperty;
    return n;
  }
};

TEST_F(IdentifyTest, GeometryFromWords106And209) {
  struct Case {
    uint16_t w106, w209, spp, phase;
  } cases[] = {
      {0x6003, 0x4000, 8, 8},     {0x6003, 0x4001, 8, 7}, {0x6003, 0x0000, 8, 0},
      {0x6003, 0x4009, 8, 65535}, {0x6003, 0x8001, 8, 0}, {0x4000, 0x4001, 1, 0},
      {0xE003, 0x4001, 1, 0},     {0x7003, 0x4001, 8, 7}, {0x600F, 0x4000, 32768, 32768},
      {0x6001, 0x4001, 2, 1},     {0x0000, 0x4001, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << "w106=0x" << c.w106 << " w209=0x" << c.w209);
    sim::AddAtaDrive(machine, 0, "M", "S", "F", c.w106, c.w209);
    DriveInfo info;
    IdentifyDrive(0, &info);
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.sectorsPerPhysical, c.spp);
    EXPECT_EQ(info.alignPhase, c.phase);
  }
}

TEST_F(IdentifyTest, AtaTextsTakeWholeFieldsAndDropOnlyTrailingSpaces) {
  const std::string model40 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789WXYZ";
  sim::AddAtaDrive(machine, 0, model40, "  LEAD 42", "FW1.0", 0x4000, 0);
  IdentifyDrive(0, &g_drives[DiskNumber(0)]);
  EXPECT_EQ(g_drives[DiskNumber(0)].status, 1);
  EXPECT_STREQ(g_drives[DiskNumber(0)].model, model40.c_str());
  EXPECT_STREQ(g_drives[DiskNumber(0)].serial, "  LEAD 42");
  EXPECT_STREQ(g_drives[DiskNumber(0)].firmware, "FW1.0");

  // A serial of spaces keeps one; a zero byte ends a text; a full firmware field stays whole.
  auto data = sim::BuildIdentify("", "", "", 0x4000, 0);
  sim::PutAtaText(data, 10, 20, std::string(20, ' '));
  sim::PutAtaText(data, 27, 40, std::string("AB\0CD", 5) + std::string(35, 'x'));
  sim::PutAtaText(data, 23, 8, "12345678");
  sim::SealIdentify(data);
  machine.drives[1] = machine.drives[0];
  machine.drives[1].smart.data = data;
  IdentifyDrive(1, &g_drives[DiskNumber(1)]);
  EXPECT_EQ(g_drives[DiskNumber(1)].status, 1);
  EXPECT_STREQ(g_drives[DiskNumber(1)].serial, " ");
  EXPECT_STREQ(g_drives[DiskNumber(1)].model, "AB");
  EXPECT_STREQ(g_drives[DiskNumber(1)].firmware, "12345678");
}

TEST_F(IdentifyTest, BadChecksumFallsBackToInquiryNameOnly) {
  sim::Drive& d = ScsiDrive(0, SmartAnswer::Identify);
  d.smart.data = sim::BuildIdentify("ATA MODEL", "SER", "FW", 0x6003, 0x4000);
  d.smart.data[100] ^= 0x01;  // one bit off: the sum is no longer 0
  IdentifyDrive(0, &g_drives[DiskNumber(0)]);
  EXPECT_EQ(g_drives[DiskNumber(0)].status, 0);
  EXPECT_STREQ(g_drives[DiskNumber(0)].model, "XYZ DISK-100");
  EXPECT_STREQ(g_drives[DiskNumber(0)].serial, "");
  EXPECT_STREQ(g_drives[DiskNumber(0)].firmware, "");
  EXPECT_EQ(g_drives[DiskNumber(0)].sectorsPerPhysical, 0);
  EXPECT_EQ(ScsiRequests(), 1u);
  ExpectNothingLeft();
}

TEST_F(IdentifyTest, InquiryNameDependsOnReturnedByteCount) {
  struct Case {
    DWORD returned;
    const char* model;
  } cases[] = {{98, "XYZ DISK-100"},
               {72, "XYZ DISK-100"},
               {71, "XYZ "},
               {60, "XYZ "},
               {56, "XYZ "},
               {55, ""},
               {0, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.returned);
    ScsiDrive(0, SmartAnswer::Unsupported, c.returned);
    DriveInfo info;
    IdentifyDrive(0, &info);
    EXPECT_EQ(info.status, 0);
    EXPECT_STREQ(info.model, c.model);
  }
}

TEST_F(IdentifyTest, InquiryTextsStopAtZeroBytesAndKeepOneSpaceOfBlankFields) {
  sim::Drive& d = ScsiDrive(0, SmartAnswer::Unsupported);
  d.scsi.inquiry = sim::BuildInquiry("", "PRODUCT-0123456789");  // product longer than its field
  std::memset(&d.scsi.inquiry[8], ' ', 8);
  IdentifyDrive(0, &g_drives[DiskNumber(0)]);
  EXPECT_STREQ(g_drives[DiskNumber(0)].model, "  PRODUCT-01234567");

  d.scsi.inquiry[8] = 'V';
  d.scsi.inquiry[9] = '\0';
  IdentifyDrive(0, &g_drives[DiskNumber(1)]);
  EXPECT_STREQ(g_drives[DiskNumber(1)].model, "V PRODUCT-01234567");
}

TEST_F(IdentifyTest, SmartAnswerDecidesWhetherInquiryIsSent) {
  struct Case {
    SmartAnswer::Kind kind;
    DWORD returned;
    bool inquiry;
  } cases[] = {
      {SmartAnswer::FailWithBytes, 16, false},  // gives up on the drive
      {SmartAnswer::Unsupported, 0, true},
      {SmartAnswer::SucceedNoBytes, 0, true},
      {SmartAnswer::Identify, 100, true},  // too short to hold an identity
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    machine.ClearLog();
    sim::Drive& d = ScsiDrive(0, c.kind);
    d.smart.data = sim::BuildIdentify("ATA", "S", "F", 0x6003, 0x4000);
    d.smart.returned = c.returned;
    DriveInfo info;
    IdentifyDrive(0, &info);
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(ScsiRequests(), c.inquiry ? 1u : 0u);
    EXPECT_STREQ(info.model, c.inquiry ? "XYZ DISK-100" : "");
    EXPECT_STREQ(info.serial, "");
    ExpectNothingLeft();
  }
}

TEST_F(IdentifyTest, ValidIdentityIsNeverAskedForInquiryOrTheStorageStack) {
  sim::AddAtaDrive(machine, 0, "M", "S", "F", 0x6003, 0x4000);
  machine.drives[0].scsi.supported = true;
  machine.drives[0].alignment.supported = true;
  machine.drives[0].alignment.physical = 512;  // would say 512n, against the identity's 512e
  IdentifyDrive(0, &g_drives[DiskNumber(0)]);
  EXPECT_EQ(g_drives[DiskNumber(0)].status, 1);
  EXPECT_EQ(g_drives[DiskNumber(0)].geometry, GeometrySource::AtaIdentity);
  EXPECT_EQ(g_drives[DiskNumber(0)].sectorsPerPhysical, 8);
  EXPECT_EQ(ScsiRequests() + IdentityQueries(), 0u);
}

TEST_F(IdentifyTest, AnIdentityWithoutItsSignatureIsNoIdentity) {
  // 512 zero bytes sum to 0; so does data whose integrity word lacks 0xA5.
  auto unsigned_ = sim::BuildIdentify("ATA", "S", "F", 0x6003, 0x4000);
  unsigned_[510] = 0x5A;
  unsigned partial = 0;
  for (int i = 0; i < 511; ++i) partial += unsigned_[i];
  unsigned_[511] = static_cast<uint8_t>(0u - partial);
  for (const auto& data : {std::array<uint8_t, 512>{}, unsigned_}) {
    machine.ClearLog();
    sim::Drive& d = ScsiDrive(0, SmartAnswer::Identify);
    d.smart.data = data;
    unsigned sum = 0;
    for (uint8_t b : data) sum += b;
    ASSERT_EQ(sum % 256, 0u);
    DriveInfo info;
    IdentifyDrive(0, &info);
    EXPECT_EQ(info.status, 0);
    EXPECT_STREQ(info.model, "XYZ DISK-100");
    EXPECT_EQ(info.geometry, GeometrySource::None);
    EXPECT_EQ(ScsiRequests(), 1u);
  }
}

TEST_F(IdentifyTest, AnswersThatOnlyLookLikeData) {
  // SMART says the command failed, yet hands back a sound identity: no identity.
  sim::Drive& d = ScsiDrive(0, SmartAnswer::Identify);
  d.smart.data = sim::BuildIdentify("ATA", "S", "F", 0x6003, 0x4000);
  d.smart.driverError = 0x04;  // SMART_IDE_ERROR... as the driver reports it
  DriveInfo smart;
  IdentifyDrive(0, &smart);
  EXPECT_EQ(smart.status, 0);
  EXPECT_STREQ(smart.model, "XYZ DISK-100");
  EXPECT_STREQ(smart.serial, "");

  // INQUIRY that ends in CHECK CONDITION: its data is no name.
  d.smart.kind = SmartAnswer::Unsupported;
  d.scsi.status = 0x02;
  DriveInfo scsi;
  IdentifyDrive(0, &scsi);
  EXPECT_EQ(scsi.status, 0);
  EXPECT_STREQ(scsi.model, "");
  ExpectNothingLeft();
}

TEST_F(IdentifyTest, AnImpossibleWord209GivesNoGridButIsStillShown) {
  struct Case {
    uint16_t w106, w209;
    bool grid;
    uint16_t phase;
  } cases[] = {
      {0x6003, 0x4007, true, 1},       // offset 7 of 8: the last possible
      {0x6003, 0x4008, false, 0},      // offset 8: a whole physical sector in
      {0x6003, 0x4009, false, 65535},  // as the drive reported it
      {0x6001, 0x7FFF, false, 49155},  // 2 - 16383, kept to 16 bits
      {0x6003, 0x0009, true, 0},       // word 209 not valid: not consulted
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << "w209=0x" << c.w209);
    sim::AddAtaDrive(machine, 0, "M", "S", "F", c.w106, c.w209);
    DriveInfo info;
    IdentifyDrive(0, &info);
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.HasGeometry(), c.grid);
    EXPECT_EQ(info.alignPhase, c.phase);
  }
}

// The drive's one sector size: the geometry request's, which must agree with the identity's.
TEST_F(IdentifyTest, LogicalSectorSizeFromWords117And118) {
  struct Case {
    uint16_t w106;
    uint32_t words;
    uint32_t geometry;  // what the geometry request says; 520 is no size it can say
    uint32_t logical;
    uint64_t physical;
    bool disagree;
  } cases[] = {
      {0x5000, 2048, 4096, 4096, 4096, false},       // 4K native: bit 12, one per physical
      {0x4000, 2048, 512, 512, 512, false},          // bit 12 clear: the words are not consulted
      {0x7003, 2048, 4096, 4096, 32768, false},      // bit 12 with 8 per physical
      {0x5000, 256, 512, 512, 512, false},           // not longer than 256 words after all
      {0x5000, 0, 512, 512, 512, false},             //
      {0xD000, 2048, 512, 512, 512, false},          // word 106 not valid
      {0x5000, 0x80000000u, 512, 512, 512, false},   // no size a 32-bit count can hold
      {0x5000, 260, 520, 520, 520, false},           // 520-byte sectors, from the identity only
      {0x5000, 2048, 512, 512, 512, true},           // a bridge that shows 512: the two disagree
      {0x4000, 0, 4096, 4096, 4096, true},           // an identity of 512 on a 4096-byte disk
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << "w106=0x" << c.w106 << " words=" << c.words
                                      << std::dec << " geometry " << c.geometry);
    sim::AddAtaDrive(machine, 0, "M", "S", "F", c.w106, 0x4000);
    machine.drives[0].sectorSize = c.geometry;
    auto& data = machine.drives[0].smart.data;
    data[234] = static_cast<uint8_t>(c.words);
    data[235] = static_cast<uint8_t>(c.words >> 8);
    data[236] = static_cast<uint8_t>(c.words >> 16);
    data[237] = static_cast<uint8_t>(c.words >> 24);
    sim::SealIdentify(data);
    DriveInfo info;
    IdentifyDrive(0, &info);
    ASSERT_EQ(info.status, 1);
    EXPECT_EQ(info.bytesPerLogicalSector, c.logical);
    EXPECT_EQ(info.PhysicalSectorBytes(), c.physical);
    EXPECT_EQ(info.sectorSizesDisagree, c.disagree);
  }
}

TEST_F(IdentifyTest, GeometryFromTheStorageStackWhenThereIsNoAtaIdentity) {
  struct Case {
    const char* name;
    DWORD logical, physical, offset, size, returned;
    bool taken;
    uint16_t spp, phase;
  } cases[] = {
      {"512e", 512, 4096, 0, 28, 28, true, 8, 8},
      {"512e, sector 0 one in", 512, 4096, 512, 28, 28, true, 8, 7},
      {"4K native", 4096, 4096, 0, 28, 28, true, 1, 0},
      {"512 native", 512, 512, 0, 28, 28, true, 1, 0},
      {"largest ratio", 512, 512u * 32768, 0, 28, 28, true, 32768, 32768},
      {"ratio past 32768", 512, 512u * 65536, 0, 28, 28, false, 0, 0},
      {"ratio not a power of two", 512, 3072, 0, 28, 28, false, 0, 0},
      {"logical below 512", 256, 4096, 0, 28, 28, false, 0, 0},
      {"physical below logical", 4096, 512, 0, 28, 28, false, 0, 0},
      {"physical zero", 512, 0, 0, 28, 28, false, 0, 0},
      {"offset not whole sectors", 512, 4096, 100, 28, 28, false, 0, 0},
      {"offset a whole physical sector", 512, 4096, 4096, 28, 28, false, 0, 0},
      {"answer cut short", 512, 4096, 0, 28, 27, false, 0, 0},
      {"descriptor says it is short", 512, 4096, 0, 8, 28, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    machine.ClearLog();
    sim::AddStorageDrive(machine, 2, "NVMe", "FAST 1TB", c.logical, c.physical, c.offset);
    machine.drives[2].alignment.size = c.size;
    machine.drives[2].alignment.returned = c.returned;
    DriveInfo info;
    IdentifyDrive(2, &info);
    EXPECT_EQ(info.status, 0);
    EXPECT_STREQ(info.model, "NVMe FAST 1TB");
    EXPECT_EQ(info.geometry, c.taken ? GeometrySource::StorageDescriptor : GeometrySource::None);
    EXPECT_EQ(info.HasGeometry(), c.taken);
    EXPECT_EQ(info.sectorsPerPhysical, c.spp);
    EXPECT_EQ(info.alignPhase, c.phase);
    EXPECT_EQ(info.PhysicalSectorBytes(), c.taken ? c.physical : 0u);
    EXPECT_STREQ(info.serial, "");
    ExpectNothingLeft();
  }
}

TEST_F(IdentifyTest, StorageStackIsAskedAfterTheScsiNameOrWithoutOne) {
  sim::AddStorageDrive(machine, 1, "USB", "BRIDGE", 512, 4096);
  IdentifyDrive(1, &g_drives[DiskNumber(1)]);
  const auto ioctls = machine.Calls("DeviceIoControl");
  ASSERT_EQ(ioctls.size(), 3u + 4);  // then the seek penalty, TRIM, the disk's size and its table
  EXPECT_EQ(ioctls[0].code, 0x7C088u);
  EXPECT_EQ(ioctls[1].code, 0x4D004u);
  const sim::Call& query = ioctls[2];
  EXPECT_EQ(query.code, 0x2D1400u);
  EXPECT_EQ(query.inSize, 12u);
  EXPECT_EQ(query.outSize, 28u);
  sim::Bytes expected(12, 0);
  expected[0] = 6;  // StorageAccessAlignmentProperty, PropertyStandardQuery
  EXPECT_EQ(query.request, expected);

  // A SMART failure that gives up on INQUIRY still leaves the storage stack to ask.
  machine.ClearLog();
  sim::Drive& d = machine.drives[1];
  d.smart.kind = SmartAnswer::FailWithBytes;
  d.smart.returned = 16;
  DriveInfo info;
  IdentifyDrive(1, &info);
  EXPECT_EQ(ScsiRequests(), 0u);
  EXPECT_EQ(IdentityQueries(), 1u);
  EXPECT_EQ(info.geometry, GeometrySource::StorageDescriptor);

  // A drive that answers no property request: no grid, as before.
  machine.ClearLog();
  d.alignment.supported = false;
  DriveInfo none;
  IdentifyDrive(1, &none);
  EXPECT_EQ(none.geometry, GeometrySource::None);
  EXPECT_EQ(none.sectorsPerPhysical, 0);
  ExpectNothingLeft();
}

TEST_F(IdentifyTest, OpenFailuresSetOnlyTheStatus) {
  struct Case {
    Open open;
    int status;
  } cases[] = {{Open::AccessDenied, -2},
               {Open::ReadOnly, -2},
               {Open::NotFound, -1},
               {Open::SharingViolation, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    machine.ClearLog();
    machine.drives[4].open = c.open;
    DriveInfo info;
    info.sectorsPerPhysical = 8;
    info.alignPhase = 3;
    info.model = "kept";
    info.serial = "kept";
    info.firmware = "kept";
    IdentifyDrive(4, &info);
    EXPECT_EQ(info.status, c.status);
    EXPECT_EQ(info.sectorsPerPhysical, 8);
    EXPECT_EQ(info.alignPhase, 3);
    EXPECT_STREQ(info.model, "kept");
    EXPECT_STREQ(info.serial, "kept");
    EXPECT_STREQ(info.firmware, "kept");
    EXPECT_TRUE(machine.Calls("DeviceIoControl").empty());
    EXPECT_TRUE(machine.Calls("VirtualAlloc").empty());
    ExpectNothingLeft();
  }
}

TEST_F(IdentifyTest, OpensTheNumberedDriveForReadAndWrite) {
  sim::AddAtaDrive(machine, 7, "M", "S", "F", 0x4000, 0);
  IdentifyDrive(7, &g_drives[DiskNumber(7)]);
  const auto opens = machine.Calls("CreateFileA");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].path, "\\\\.\\PhysicalDrive7");
  EXPECT_EQ(opens[0].access, GENERIC_READ | GENERIC_WRITE);
  EXPECT_EQ(opens[0].share, DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE));
  EXPECT_EQ(opens[0].disposition, DWORD(OPEN_EXISTING));
  EXPECT_EQ(opens[0].flags, 0u);
  EXPECT_EQ(g_drives[DiskNumber(7)].status, 1);
}

TEST_F(IdentifyTest, RequestBytesAreExact) {
  ScsiDrive(3, SmartAnswer::Unsupported);
  IdentifyDrive(3, &g_drives[DiskNumber(3)]);
  const auto ioctls = machine.Calls("DeviceIoControl");
  // then the storage stack's geometry, the seek penalty, TRIM, the disk's size and table
  ASSERT_EQ(ioctls.size(), 3u + 4);

  const sim::Call& smart = ioctls[0];
  EXPECT_EQ(smart.code, 0x7C088u);
  EXPECT_EQ(smart.inSize, 33u);
  EXPECT_EQ(smart.outSize, 528u);
  sim::Bytes expectedSmart(33, 0);
  expectedSmart[9] = 0xA0;
  expectedSmart[10] = 0xEC;
  EXPECT_EQ(smart.request, expectedSmart);  // drive number byte 0 even for drive 3

  const sim::Call& scsi = ioctls[1];
  EXPECT_EQ(scsi.code, 0x4D004u);
  EXPECT_EQ(scsi.inSize, 100u);
  EXPECT_EQ(scsi.outSize, 100u);
  sim::Bytes expectedScsi(100, 0);
  expectedScsi[0] = 44;
  expectedScsi[6] = 6;
  expectedScsi[7] = 18;
  expectedScsi[8] = 1;
  expectedScsi[12] = 36;
  expectedScsi[16] = 5;
  expectedScsi[20] = 62;
  expectedScsi[24] = 44;
  expectedScsi[28] = 0x12;
  expectedScsi[32] = 36;
  EXPECT_EQ(scsi.request, expectedScsi);
}

TEST_F(IdentifyTest, NothingLeftOpenWhicheverCallFails) {
  auto setup = [](sim::Machine& m) {
    sim::Drive& d = m.drives[0];
    d.open = Open::Ok;
    d.smart.kind = SmartAnswer::Identify;
    d.smart.data = sim::BuildIdentify("M", "S", "F", 0x6003, 0x4000);
    d.smart.data[0] ^= 1;  // bad sum: the longest path, through INQUIRY
    d.scsi.supported = true;
    d.scsi.inquiry = sim::BuildInquiry("V", "P");
    d.alignment.supported = true;
    d.alignment.physical = 4096;
  };
  FailEachCallInTurn(
      setup, [] { IdentifyDrive(0, &g_drives[DiskNumber(0)]); },
      [](const sim::Machine&) { EXPECT_LE(g_drives[DiskNumber(0)].status, 0); });
}

}  // namespace

// The device descriptor is the device's answer: a text is taken only with its offset and
// its zero byte inside what came back and inside the descriptor's own size.
TEST(DeviceDescriptorTest, TextsOnlyWhereTheAnswerHoldsThemWhole) {
  // The fixed part, then the texts from byte 40: vendor at 40, product at 48, revision at
  // 59, serial at 63 (68 bytes in all).
  const std::string texts = std::string("  ACME \0Disk 9    \0001.0\0 SN1\0", 28);
  const struct {
    const char* what;
    DWORD vendor, product, revision, serial, size, returned;
    const char *name, *firmware, *serial_;
  } cases[] = {
      {"whole", 40, 48, 59, 63, 68, 68, "ACME Disk 9", "1.0", "SN1"},
      {"no vendor", 0, 48, 59, 63, 68, 68, "Disk 9", "1.0", "SN1"},
      {"a vendor inside the fixed part", 12, 48, 59, 63, 68, 68, "Disk 9", "1.0", "SN1"},
      {"no product", 40, 0, 59, 63, 68, 68, "ACME", "1.0", "SN1"},
      {"a serial cut before its end", 40, 48, 59, 63, 68, 66, "ACME Disk 9", "1.0", ""},
      {"offsets past what came back", 40, 480, 0xFFFFFFFF, 68, 68, 68, "ACME", "", ""},
      {"a size shorter than the answer", 40, 48, 59, 63, 52, 68, "ACME", "", ""},
      {"too short to hold the offsets", 40, 48, 59, 63, 68, 27, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<BYTE> answer(1024, 0xEE);  // what lies past the answer is never read
    STORAGE_DEVICE_DESCRIPTOR d = {};
    d.Size = c.size;
    d.VendorIdOffset = c.vendor;
    d.ProductIdOffset = c.product;
    d.ProductRevisionOffset = c.revision;
    d.SerialNumberOffset = c.serial;
    std::memcpy(answer.data(), &d, sizeof d);
    std::memcpy(answer.data() + 40, texts.data(), texts.size());
    const DescriptorTexts read = ReadDeviceDescriptor(answer.data(), c.returned);
    EXPECT_STREQ(read.name, c.name);
    EXPECT_STREQ(read.revision, c.firmware);
    EXPECT_STREQ(read.serial, c.serial_);
  }
}

// A drive's table as Windows lists it, read back as the partitions to judge.
TEST_F(IdentifyTest, PartitionTablesAsWindowsListThem) {
  using sim::PartitionEntry;
  using sim::PartitionTable;
  std::vector<PartitionEntry> everyGptType;
  const char* const kGuids[] = {
      sim::gpt::kEfiSystem,       sim::gpt::kMsReserved,       sim::gpt::kRecovery,
      sim::gpt::kLdmMetadata,     sim::gpt::kLdmData,          sim::gpt::kStorageSpaces,
      sim::gpt::kLinuxFileSystem, sim::gpt::kLinuxSwap,        "E6D6D379-F507-44C2-A23C-238F2A3DF928",
      "A19D880F-05FC-4D3B-A006-743F0F84911E", "7C3457EF-0000-11AA-AA11-00306543ECAC",
      "48465300-0000-11AA-AA11-00306543ECAC", "",  // basic data
      "01234567-89AB-CDEF-0123-456789ABCDEF"};
  for (const char* guid : kGuids)
    everyGptType.push_back({2048 * (everyGptType.size() + 1), 2048, 0, guid, false});
  std::vector<PartitionEntry> forty;
  for (uint64_t i = 1; i <= 40; ++i) forty.push_back({2048 * i, 2048, 0, "", false});
  const struct {
    const char* what;
    PartitionTable style;
    std::vector<PartitionEntry> entries;
    DWORD claimedCount;
    std::string expected;  // each partition: number, type name, start
    size_t requests;       // of the table: the first buffer holds 16 entries
    const char* limits;    // where each may end if it moves; null: not looked at
  } cases[] = {
      {"MBR: unused entries, the container and its links are no partitions", PartitionTable::Mbr,
       {{2048, 0, 0x07, "", false}, {63, 1985, 0xA5, "", false}, {4196352, 2048, 0x83, "", true},
        {8390719, 2048, 0x82, "", true}, {9000000, 2048, 0x0C, "", true}},
       0, "1 NTFS/exFAT 2048; 2 0xA5 63; 3 Linux 4196352; 4 Linux swap 8390719; 5 FAT32 9000000; ",
       1,
       // before the container, before each link to the next logical partition's record, and
       // the last logical partition inside its container
       "4196289 2048 8390656 8999937 9002048 "},
      {"GPT: every type named", PartitionTable::Gpt, everyGptType, 0,
       "1 EFI system 2048; 2 Microsoft reserved 4096; 3 Windows recovery 6144; 4 LDM metadata "
       "8192; 5 LDM data 10240; 6 Storage Spaces 12288; 7 Linux file system 14336; 8 Linux swap "
       "16384; 9 Linux LVM 18432; 10 Linux RAID 20480; 11 Apple APFS 22528; 12 Apple HFS+ 24576; "
       "13 basic data 26624; 14 unknown 28672; ",
       1, nullptr},
      {"more entries than the first buffer holds: asked again, larger", PartitionTable::Gpt, forty,
       0, "", 3, nullptr},
      {"a count past the entries that came back", PartitionTable::Gpt,
       {{2048, 2048, 0, "", false}}, 5000, "1 basic data 2048; ", 1, nullptr},
      {"an entry past the disk's end: not judged, but it still bounds the one before it",
       PartitionTable::Gpt, {{2048, 2048, 0, "", false}, {(1ull << 32) - 100, 2048, 0, "", false}},
       0, "1 basic data 2048; ", 1, "4294967196 "},
      {"GPT: the last partition ends before the backup table", PartitionTable::Gpt,
       {{2048, 2048, 0, "", false}, {4096, 0, 0, "", false}}, 0,
       "1 basic data 2048; 2 basic data 4096; ", 1, "4096 4294967263 "},
      {"entries out of disk order: each bounded by the next start on the disk, not in the table",
       PartitionTable::Gpt,
       {{6144, 1000, 0, "", false}, {2048, 1000, 0, "", false}, {4096, 1000, 0, "", false}}, 0,
       "1 basic data 6144; 2 basic data 2048; 3 basic data 4096; ", 1, "4294967263 4096 6144 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Machine m;
    sim::Installation in(m);
    sim::AddAtaDrive(m, 0, "M", "S", "F", 0x6003, 0x4000);
    for (const PartitionEntry& e : c.entries) sim::AddPartition(m, 0, c.style, e);
    m.drives[0].layout.claimedCount = c.claimedCount;
    DriveInfo info;
    IdentifyDrive(0, &info);
    ASSERT_TRUE(info.layout.has_value());
    std::string got;
    for (const Partition& p : info.layout->partitions)
      got += std::to_string(p.number) + " " + PartitionTypeName(p) + " " +
             std::to_string(info.layout->SectorOf(p.start).value) + "; ";
    if (c.entries.size() == 40)
      EXPECT_EQ(info.layout->partitions.size(), 40u);
    else
      EXPECT_EQ(got, c.expected);
    size_t requests = 0;
    for (const sim::Call& call : m.Calls("DeviceIoControl"))
      requests += call.code == IOCTL_DISK_GET_DRIVE_LAYOUT_EX;
    EXPECT_EQ(requests, c.requests);
    if (c.limits == nullptr) continue;
    std::string limits;
    for (const Partition& p : info.layout->partitions)
      limits += std::to_string(info.layout->SectorOf(MoveLimit(*info.layout, p).value_or(ByteCount(0))).value) + " ";
    EXPECT_EQ(limits, c.limits);
  }
}

