#include "dialog_fixture.h"
#include "res/resource.h"
#include "ui/device_info_dlg.h"

namespace {

using wintest::ListCell;
using wintest::ListData;
using wintest::ListRows;

DriveInfo Identified(const char* model, uint16_t spp, uint16_t phase, const char* serial = "",
                     const char* firmware = "") {
  DriveInfo d;
  d.status = 1;
  d.sectorsPerPhysical = spp;
  d.alignPhase = phase;
  d.geometry = GeometrySource::AtaIdentity;
  d.bytesPerLogicalSector = 512;
  d.model = model;
  d.serial = serial;
  d.firmware = firmware;
  return d;
}

class DeviceInfoTest : public SimTest {
 protected:
  void TearDown() override {
    if (::IsWindow(dlg.m_hWnd)) ::DestroyWindow(dlg.m_hWnd);
  }
  void Open() {
    ASSERT_TRUE(dlg.Create());
    list = dlg.m_list.m_hWnd;
  }
  std::vector<std::string> Row(int r) const {
    return {ListCell(list, r, 0), ListCell(list, r, 1), ListCell(list, r, 2)};
  }
  // The tip for a row's item data, in a buffer of size bytes pre-filled with '#'.
  std::string Tip(LPARAM data, int size = 80) {
    return wintest::RequestInfoTip(dlg.m_hWnd, list, 0, data, size, '#');
  }

  CDeviceInfoDlg dlg;
  HWND list = nullptr;
};

TEST_F(DeviceInfoTest, TitleButtonColumnsAndStyles) {
  Open();
  EXPECT_EQ(wintest::WindowText(dlg.m_hWnd), "Device Information");
  EXPECT_EQ(wintest::WindowText(dlg.m_btnOk), "&Ok");
  EXPECT_TRUE(::IsWindowEnabled(dlg.m_btnOk));
  EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dlg.m_hWnd, IDC_COPY)));
  EXPECT_EQ(::SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x420);

  // The columns fill the client area beside any scroll bar, no more: the name takes what
  // the other two, as wide as their texts, leave.
  RECT client;
  ::GetClientRect(list, &client);
  const struct {
    const char* heading;
    int format;
  } columns[] = {
      {"Drive Name", LVCFMT_LEFT}, {"Alignment", LVCFMT_RIGHT}, {"Phys Sector Size", LVCFMT_RIGHT}};
  int total = 0;
  for (int c = 0; c < 3; ++c) {
    const wintest::ListColumn column = wintest::Column(list, c);
    EXPECT_EQ(column.heading, columns[c].heading);
    EXPECT_EQ(column.format, columns[c].format);
    total += column.width;
  }
  EXPECT_EQ(total, client.right - client.left);
  EXPECT_EQ(wintest::Column(list, 3).width, -1) << "three columns";
}

TEST_F(DeviceInfoTest, RowsPerGeometry) {
  g_drives[DiskNumber(0)] = Identified("ONE TO ONE", 1, 0);
  g_drives[DiskNumber(1)] = Identified("PHASE 8", 8, 8);
  g_drives[DiskNumber(2)] = Identified("PHASE 7", 8, 7);
  g_drives[DiskNumber(3)] = Identified("PHASE 0", 8, 0);
  g_drives[DiskNumber(4)] = Identified("PHASE 65535", 8, 65535);
  g_drives[DiskNumber(5)] = Identified("HUGE", 32768, 0);
  g_drives[DiskNumber(6)].model = "XYZ DISK-100";  // status 0 with a SCSI name
  g_drives[DiskNumber(7)] = DriveInfo();           // status 0 without one
  g_drives[DiskNumber(8)].status = -1;
  g_drives[DiskNumber(9)] = Identified("AFTER THE END", 8, 0);
  Open();
  const std::vector<std::vector<std::string>> expected = {
      {"ONE TO ONE", "", "512"},
      {"PHASE 8", "0", "4096"},
      {"PHASE 7", "1", "4096"},
      {"PHASE 0", "8", "4096"},
      {"PHASE 65535", "-65527", "4096"},
      {"HUGE", "32768", "16777216"},
      {"XYZ DISK-100", "Unknown", "Unknown"},
      {"", "Unknown", "Unknown"},
  };
  ASSERT_EQ(ListRows(list), 8);
  for (int r = 0; r < 8; ++r) EXPECT_EQ(Row(r), expected[r]) << r;
  for (int r = 0; r < 6; ++r) EXPECT_EQ(ListData(list, r), r);
  EXPECT_EQ(ListData(list, 6), -1) << "no identity: no tip from drive 0";
  EXPECT_EQ(ListData(list, 7), -1);
}

TEST_F(DeviceInfoTest, DrivesOfTodayShowTheirRealPhysicalSectors) {
  g_drives[DiskNumber(0)] = Identified("4K NATIVE", 1, 0);
  g_drives[DiskNumber(0)].bytesPerLogicalSector = 4096;    // from words 117-118
  g_drives[DiskNumber(1)].model = "NVMe VOLANTE VX2 1TB";  // no ATA identity, a grid from the storage stack
  g_drives[DiskNumber(1)].sectorsPerPhysical = 8;
  g_drives[DiskNumber(1)].alignPhase = 8;
  g_drives[DiskNumber(1)].bytesPerLogicalSector = 512;
  g_drives[DiskNumber(1)].geometry = GeometrySource::StorageDescriptor;
  g_drives[DiskNumber(2)].model = "SAS 4KN";
  g_drives[DiskNumber(2)].sectorsPerPhysical = 1;
  g_drives[DiskNumber(2)].bytesPerLogicalSector = 4096;
  g_drives[DiskNumber(2)].geometry = GeometrySource::StorageDescriptor;
  g_drives[DiskNumber(3)].status = -1;
  Open();
  ASSERT_EQ(ListRows(list), 3);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"4K NATIVE", "", "4096"}));
  EXPECT_EQ(Row(1), (std::vector<std::string>{"NVMe VOLANTE VX2 1TB", "0", "4096"}));
  EXPECT_EQ(Row(2), (std::vector<std::string>{"SAS 4KN", "", "4096"}));
  EXPECT_EQ(ListData(list, 1), -1) << "no serial or firmware of its own";
}

TEST_F(DeviceInfoTest, TenRowsOrNone) {
  for (uint32_t n = 0; n < 10; ++n) g_drives[DiskNumber(n)] = Identified("D", 8, 8);
  Open();
  EXPECT_EQ(ListRows(list), 10);
  ::DestroyWindow(dlg.m_hWnd);

  g_drives[DiskNumber(0)].status = -2;
  CDeviceInfoDlg empty;
  ASSERT_TRUE(empty.Create());
  EXPECT_EQ(ListRows(empty.m_list.m_hWnd), 0);
  ::DestroyWindow(empty.m_hWnd);
}

TEST_F(DeviceInfoTest, DrivesBehindAGapOrPastTheTenthShowTheirNumbers) {
  g_drives[DiskNumber(0)] = Identified("ZERO", 8, 8, "S0", "F0");
  g_drives[DiskNumber(1)].status = -1;  // a gap: the drive phase ended here
  g_drives[DiskNumber(3)] = Identified("THREE", 8, 8, "S3", "F3");
  g_drives[DiskNumber(12)].status = -2;  // holds a volume, but did not open
  g_drives[DiskNumber(4000000000u)] = Identified("FAR", 1, 0, "", "F9");
  for (uint32_t n : {3u, 12u, 4000000000u}) g_drives.HoldsVolume(DiskNumber(n));
  Open();
  ASSERT_EQ(ListRows(list), 4);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"0: ZERO", "0", "4096"}));
  EXPECT_EQ(Row(1), (std::vector<std::string>{"3: THREE", "0", "4096"}));
  EXPECT_EQ(Row(2), (std::vector<std::string>{"12: ", "Unknown", "Unknown"}));
  EXPECT_EQ(Row(3), (std::vector<std::string>{"4000000000: FAR", "", "512"}));
  EXPECT_EQ(Tip(ListData(list, 1)), "Ser=S3\nf/w=F3");
  EXPECT_EQ(ListData(list, 2), -1);
  EXPECT_EQ(
      Tip(ListData(list, 3), 512),
      "f/w=F9\nMisalignment costs this disk nothing: its physical sector is its logical one.");
}

TEST_F(DeviceInfoTest, SerialAndFirmwareTips) {
  g_drives[DiskNumber(0)] = Identified("A", 8, 8, "ABC", "1.0");
  g_drives[DiskNumber(1)] = Identified("B", 8, 8, "", "1.0");
  g_drives[DiskNumber(2)] = Identified("C", 8, 8, "ABC", "");
  g_drives[DiskNumber(3)] = Identified("D", 8, 8, "", "");
  g_drives[DiskNumber(4)] = Identified("E", 8, 8, "SERIALNUMBER12345678", "FIRMWARE");
  g_drives[DiskNumber(5)].model = "SCSI NAME";
  Open();
  const std::string untouched(79, '#');
  EXPECT_EQ(Tip(ListData(list, 0)), "Ser=ABC\nf/w=1.0");
  EXPECT_EQ(Tip(ListData(list, 1)), "f/w=1.0");
  EXPECT_EQ(Tip(ListData(list, 2)), "Ser=ABC");
  EXPECT_EQ(Tip(ListData(list, 3)), untouched);
  EXPECT_EQ(Tip(ListData(list, 4)), "Ser=SERIALNUMBER12345678\nf/w=FIRMWARE");
  EXPECT_EQ(Tip(ListData(list, 4)).size(), 37u);
  EXPECT_EQ(Tip(ListData(list, 5)), untouched) << "a drive without identity";
  EXPECT_EQ(Tip(ListData(list, 4), 10), "Ser=SERIA") << "kept within the buffer";
}

TEST_F(DeviceInfoTest, ShowsTheTableAsItStoodWhenOpened) {
  sim::BuildLab(machine);
  COffsetDlg report;
  ASSERT_TRUE(report.Create());
  report.SendMessage(WM_TIMER, 0);  // drive 0 identified, the rest not yet
  Open();
  ASSERT_EQ(ListRows(list), 10);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"KESTREL KD4000-512E", "0", "4096"}));
  for (int r = 1; r < 10; ++r)
    EXPECT_EQ(Row(r), (std::vector<std::string>{"", "Unknown", "Unknown"}));
  report.SendMessage(WM_TIMER, 0);
  EXPECT_EQ(ListCell(list, 1, 0), "") << "rows are not refreshed";
  EXPECT_EQ(Tip(ListData(list, 0), 512),
            "Ser=KD40A0001\nf/w=KD01\nOn this hard disk each misaligned write reads and rewrites a "
            "whole physical sector.");
  ::DestroyWindow(report.m_hWnd);
}

// A misaligned partition that no row shows is named in its drive's tip, after the serial
// and firmware of an ATA identity and what misalignment costs on the drive; so is a
// physical sector past 4 KiB.
TEST_F(DeviceInfoTest, AMisalignedPartitionWithoutARowIsNamedInItsDrivesTip) {
  sim::BuildLab(machine);
  CScan scan;
  while (!scan.Finished()) scan.Step();
  Open();
  ASSERT_EQ(ListRows(list), 16);  // drives 0 to 8, and 10 to 16
  EXPECT_EQ(Tip(ListData(list, 6), 512),
            "Ser=KD80D0006\nf/w=KD04\nOn this hard disk each misaligned write reads and rewrites a "
            "whole physical sector.\nPartition 3 (EFI system) has no letter or folder in Windows "
            "and its data area begins off the grid, at sector 98.");
  // A buffer too small for it all ends the tip at a whole line or sentence.
  EXPECT_EQ(Tip(ListData(list, 6), 120),
            "Ser=KD80D0006\nf/w=KD04\nOn this hard disk each misaligned write reads and rewrites a "
            "whole physical sector.");
  EXPECT_EQ(Tip(ListData(list, 12), 512),
            "Ser=KD20H0013\nf/w=KD03\nOn this hard disk each misaligned write reads and rewrites a "
            "whole physical sector.\nPartition 4 (Linux file system) has no volume in Windows and "
            "starts off the grid, at sector 100239679."
            "\nFree space starts off the grid at sector 102336831 (4192630432 sectors): start a "
            "partition there at sector 102336832.");
  EXPECT_EQ(Tip(ListData(list, 13), 512),
            "On this hard disk each misaligned write reads and rewrites a whole physical "
            "sector.\nPartition 3 (Linux swap) has no volume in Windows and starts off the grid, "
            "at sector "
            "8390719."
            "\nFree space starts off the grid at sector 10487871 (4284479425 sectors): start a "
            "partition there at sector 10487872.");
  EXPECT_EQ(Tip(ListData(list, 9), 512),
            "On this SSD a misaligned volume costs extra writes and wear.")
      << "drive 10: no identity";
  EXPECT_EQ(ListData(list, 4), -1) << "drive 4: neither its kind nor its sectors known, no tip";
  EXPECT_EQ(Tip(ListData(list, 14), 512),
            "On this SSD a misaligned volume costs extra writes and wear.\nThis drive reports "
            "16384-byte physical sectors; Windows writes in 4096-byte units."
            "\nFree space starts off the grid at sector 2304008 (4292663255 sectors): start a "
            "partition there at sector 2304032.");
}

}  // namespace
