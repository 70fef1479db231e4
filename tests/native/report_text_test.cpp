#include "report/report_text.h"
#include "report/report_json.h"
#include "report/report_words.h"

#include <gtest/gtest.h>

#include "json_check.h"
#include "findings_of.h"
#include "recorded.h"
#include "units_print.h"
#include "json/json_writer.h"

namespace {

const report::VolumeHeadings kHeadings = {"Drive", "Drv No", "Drive Name", "Offset"};

// A volume on one disk, or on none.
ScanRow Row(char letter, std::optional<uint32_t> drive, const char* name, uint64_t start,
            Verdict verdict) {
  ScanRow row;
  row.name = std::string(1, letter) + ":";
  row.letter = letter;
  row.paths = {std::string(1, letter) + ":\\"};
  if (drive) row.drive = DiskNumber(*drive);
  row.driveName = name;
  row.dataStart = Sectors(start);
  row.verdict = verdict;
  row.fileSystem = "NTFS";
  PieceVerdict piece;
  piece.disk = row.drive;
  piece.start = Sectors(start);
  piece.dataStart = Sectors(start);
  if (drive) piece.bytesPastPhysicalStart = ByteCount(verdict == Verdict::Misaligned ? 3584 : 0);
  piece.verdict = verdict;
  row.extents.push_back(piece);
  return row;
}

std::vector<ScanRow> Rows(std::initializer_list<std::tuple<char, Verdict>> verdicts) {
  std::vector<ScanRow> rows;
  for (const auto& [letter, verdict] : verdicts) rows.push_back(Row(letter, 0, "D", 2048, verdict));
  return rows;
}

// The advice in words: each start with its own room in the console; in the tip, a start
// that fits or what it costs, never a start with no room as if it were free.
TEST(ReportTextTest, EachStartIsToldWithItsRoom) {
  const auto advice = [](std::optional<uint64_t> to, Room room, std::optional<uint64_t> mib,
                         Room mibRoom, std::optional<uint64_t> clusters = std::nullopt,
                         bool format = false) {
    Advice a;
    if (to) {
      a.moveTo = Sectors(*to);
      a.moveBy = Sectors(*to % 8 == 0 ? 1 : 2);
      a.moveByBytes = ByteCount(a.moveBy->value * 512);
    }
    a.moveToRoom = room;
    if (mib) a.moveToMiB = Sectors(*mib);
    a.moveToMiBRoom = mibRoom;
    a.clusterBytes = clusters;
    a.clusterUnit = 4096;
    a.format = format;
    return a;
  };
  const Room fits{Fit::Fits, Sectors(0)}, shrink1{Fit::Shrinks, Sectors(1)},
      shrink1985{Fit::Shrinks, Sectors(1985)}, noRoom{Fit::NoRoom, Sectors(0)}, unknown{};
  const std::optional<uint64_t> none;
  const struct {
    const char* what;
    Advice advice;
    const char* lines;
    const char* sentence;
  } cases[] = {
      {"D: shrinks at 64, no room at 1 MiB", advice(64, shrink1, 2048, noRoom),
       "    move to sector 64 (1 sector, 512 bytes later) after shrinking it by 1 sector; no room "
       "at 2048, on 1 MiB\n",
       "Moving its start to sector 64 would align it, after shrinking it by 1 sector; there is no "
       "room at 2048 (1 MiB)."},
      {"the swap shrinks at both", advice(8390720, shrink1, 8392704, shrink1985),
       "    move to sector 8390720 (1 sector, 512 bytes later) after shrinking it by 1 sector, or "
       "to 8392704 on 1 MiB after shrinking it by 1985 sectors\n",
       "Moving its start to sector 8390720 would align it, after shrinking it by 1 sector."},
      {"M: the first start is on 1 MiB", advice(1026048, fits, 1026048, fits),
       "    move to sector 1026048 (1 sector, 512 bytes later), on 1 MiB\n",
       "Moving its start to sector 1026048 (501 MiB) would align it."},
      {"both fit: the tip names 1 MiB", advice(64, fits, 2048, fits),
       "    move to sector 64 (1 sector, 512 bytes later), or to 2048 on 1 MiB\n",
       "Moving its start to sector 2048 (1 MiB) would align it."},
      {"the first fits, 1 MiB shrinks", advice(64, fits, 2048, shrink1985),
       "    move to sector 64 (1 sector, 512 bytes later), or to 2048 on 1 MiB after shrinking it "
       "by 1985 sectors\n",
       "Moving its start to sector 64 would align it."},
      {"no room at the first, 1 MiB fits", advice(63, noRoom, 2048, fits),
       "    no room at sector 63 (2 sectors, 1024 bytes later); move to 2048 on 1 MiB\n",
       "Moving its start to sector 2048 (1 MiB) would align it."},
      {"no room anywhere", advice(63, noRoom, 2048, noRoom),
       "    no room at sector 63 (2 sectors, 1024 bytes later); no room at 2048, on 1 MiB\n",
       "Moving its start to sector 63 would align it, but there is no room there; there is no "
       "room at 2048 (1 MiB)."},
      {"the room is not known", advice(64, unknown, 2048, unknown),
       "    move to sector 64 (1 sector, 512 bytes later), or to 2048 on 1 MiB\n",
       "Moving its start to sector 2048 (1 MiB) would align it; whether it has room there is not "
       "known."},
      {"clusters too small", advice(none, unknown, none, unknown, 4096, true),
       "    format with clusters of 4096 bytes\n",
       "Formatting it with clusters of 4096 bytes would align it."},
      {"a data area off the grid", advice(none, unknown, none, unknown, none, true),
       "    format it again, with clusters of at least 4096 bytes\n",
       "Formatting it again with clusters of at least 4096 bytes would align it."},
      {"a start to move and a format", advice(64, fits, 2048, fits, 4096, true),
       "    format with clusters of 4096 bytes\n"
       "    move to sector 64 (1 sector, 512 bytes later), or to 2048 on 1 MiB\n",
       "Moving its start to sector 2048 (1 MiB) and formatting it with clusters of 4096 bytes "
       "would align it."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(report::AdviceLines(c.advice), c.lines);
    EXPECT_EQ(report::AdviceSentence(c.advice, SectorSize(512)), c.sentence);
  }
  EXPECT_EQ(report::AdviceLines(std::nullopt), "");
}

TEST(ReportTextTest, FixedWidthCellsArePaddedNeverCut) {
  std::string text;
  report::AppendFixedWidthLine(text, {"Drive", "Drv No", "Drive Name", "Offset"},
                               report::VolumeWidths());
  EXPECT_EQ(text, "Drive   Drv No  Drive Name                      Offset      \n");
  EXPECT_EQ(text.size(), 61u);

  const std::string name40(40, 'N');
  text.clear();
  report::AppendFixedWidthLine(text, {"C:", "0", name40, "123456789012"}, report::VolumeWidths());
  EXPECT_EQ(text, "C:      0       " + name40 + "123456789012\n");
  EXPECT_EQ(text.size(), 69u);
}

TEST(ReportTextTest, ConsoleTextAddsTheVerdictColumn) {
  EXPECT_EQ(report::VolumeText(kHeadings, {}, DriveTable(), {}),
            "Drive   Drv No  Drive Name                      Offset      Alignment   Partition aligned to\n");
  std::vector<ScanRow> rows;
  rows.push_back(Row('C', 0, "KESTREL KD4000-512E", 2048, Verdict::Aligned));
  rows.push_back(Row('D', 1, std::string(40, 'X').c_str(), 63, Verdict::Misaligned));
  rows.push_back(Row('E', std::nullopt, "", 5000000000ull, Verdict::Undetermined));
  // A volume over two disks: each piece on a line of its own, with its disk's name.
  rows.push_back(Row('S', 11, "ELEVEN", 2048, Verdict::Misaligned));
  rows.back().extents.push_back(rows.back().extents[0]);
  rows.back().extents[0].verdict = Verdict::Aligned;
  rows.back().extents[1].disk = DiskNumber(12);
  rows.back().extents[1].dataStart = Sectors(63);
  DriveTable drives;
  drives[DiskNumber(11)].model = "ELEVEN";
  drives[DiskNumber(12)].model = "TWELVE";
  EXPECT_EQ(report::VolumeText(kHeadings, rows, drives, {}),
            "Drive   Drv No  Drive Name                      Offset      Alignment   Partition aligned to\n"
            "C:      0       KESTREL KD4000-512E             2048        aligned     \n"
            "D:      1       XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX 63          misaligned  \n"
            "E:                                              5000000000  undetermined\n"
            "S:      11      ELEVEN                          2048        misaligned  \n"
            "  1/2   11      ELEVEN                          2048        aligned     \n"
            "  2/2   12      TWELVE                          63          misaligned  \n");
}

TEST(ReportTextTest, ControlCharactersInDeviceTextsKeepTheLinesWhole) {
  ScanRow row = Row('C', 0, "BAD\nNAME\r\x1B[2J\x7F\x01", 63, Verdict::Misaligned);
  EXPECT_EQ(report::VolumeCells(row)[2], "BAD?NAME??[2J??");
  std::vector<ScanRow> rows;
  rows.push_back(std::move(row));
  const std::string withRow = report::VolumeText(kHeadings, rows, DriveTable(), {});
  EXPECT_EQ(std::count(withRow.begin(), withRow.end(), '\n'), 2);
  DriveTable drives;
  drives[DiskNumber(0)].model = "M\tX";
  drives[DiskNumber(0)].serial = "S\n1";
  drives[DiskNumber(1)].status = -1;
  const std::string table = report::DriveText(kHeadings, drives);
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 2);
  EXPECT_NE(table.find("M?X"), std::string::npos);
  EXPECT_NE(table.find("S?1"), std::string::npos);
  // The JSON keeps the device's bytes, escaped.
  EXPECT_NE(report::Json(MachineFindingsOf(std::move(rows), {}, drives))
                .find("\"BAD\\nNAME\\r\\u001B[2J\x7f\\u0001\""),
            std::string::npos);
}

TEST(ReportTextTest, ExitStatusSumsTheVerdictsUp) {
  using report::ExitStatus;
  const std::vector<SkippedVolume> none, one = {{"H:", ProbeFailure::PartitionStart}};
  struct {
    std::vector<ScanRow> rows;
    const std::vector<SkippedVolume>& skipped;
    ExitStatus status;
  } cases[] = {
      {{}, none, ExitStatus::Aligned},  // no fixed volume at all
      {Rows({{'C', Verdict::Aligned}}), none, ExitStatus::Aligned},
      {Rows({{'C', Verdict::Aligned}, {'D', Verdict::Undetermined}}), none, ExitStatus::Undetermined},
      {Rows({{'C', Verdict::Aligned}}), one, ExitStatus::Undetermined},
      {{}, one, ExitStatus::Undetermined},  // a machine not examined is no aligned machine
      {Rows({{'C', Verdict::Undetermined}, {'D', Verdict::Misaligned}, {'E', Verdict::Aligned}}),
       one, ExitStatus::Misaligned},
  };
  for (auto& c : cases) {
    const DriveTable drives;
    EXPECT_EQ(report::ExitStatusOf(MachineFindingsOf(std::move(c.rows), c.skipped, drives)),
              c.status);
  }
  // The numbers scripts test, as the README gives them.
  EXPECT_EQ(static_cast<int>(ExitStatus::Aligned), 0);
  EXPECT_EQ(static_cast<int>(ExitStatus::Misaligned), 1);
  EXPECT_EQ(static_cast<int>(ExitStatus::Undetermined), 2);
  EXPECT_EQ(static_cast<int>(ExitStatus::CannotRun), 3);
}

TEST(ReportTextTest, DriveTableShowsWhatDeviceInformationShows) {
  DriveTable drives;
  drives[DiskNumber(0)].status = 1;
  drives[DiskNumber(0)].model = "KESTREL KD4000-512E";
  drives[DiskNumber(0)].serial = "KD40A0001";
  drives[DiskNumber(0)].firmware = "KD01";
  drives[DiskNumber(0)].sectorsPerPhysical = 8;
  drives[DiskNumber(0)].alignPhase = 8;
  drives[DiskNumber(0)].bytesPerLogicalSector = 512;
  drives[DiskNumber(0)].geometry = GeometrySource::AtaIdentity;
  drives[DiskNumber(1)].model = "NVMe VOLANTE VX2 1TB";
  drives[DiskNumber(1)].sectorsPerPhysical = 8;
  drives[DiskNumber(1)].alignPhase = 7;
  drives[DiskNumber(1)].bytesPerLogicalSector = 512;
  drives[DiskNumber(1)].geometry = GeometrySource::StorageDescriptor;
  drives[DiskNumber(1)].seekPenalty = false;
  drives[DiskNumber(2)].model = "VITRELLE PORTA-DISK 2T";
  drives[DiskNumber(3)].status = 1;
  drives[DiskNumber(3)].rotationWord = 5400;
  drives[DiskNumber(3)].model = "ORMOLU";
  drives[DiskNumber(3)].sectorsPerPhysical = 1;
  drives[DiskNumber(3)].bytesPerLogicalSector = 512;
  drives[DiskNumber(3)].geometry = GeometrySource::AtaIdentity;
  drives[DiskNumber(4)].status = -1;  // ends the list
  drives[DiskNumber(5)].status = 1;
  EXPECT_EQ(Numbers(drives.Listed()), (std::vector<uint32_t>{0, 1, 2, 3}));
  EXPECT_EQ(report::DriveText(kHeadings, drives),
            "Drv No  Drive Name                      Serial                Firmware  Alignment "
            "Phys Sector Size  Geometry           Media\n"
            "0       KESTREL KD4000-512E             KD40A0001             KD01      0         "
            "4096              ATA identity            \n"
            "1       NVMe VOLANTE VX2 1TB                                            1         "
            "4096              storage descriptor SSD  \n"
            "2       VITRELLE PORTA-DISK 2T                                          Unknown   "
            "Unknown           none                    \n"
            "3       ORMOLU                                                                    "
            "512               ATA identity       HDD  \n");
}

// What kind of disk a drive is: the storage stack's seek penalty first, then the identity's
// rotation rate (1: not rotating; a rate only from 0x0401 to 0xFFFE); TRIM the same way;
// its sector format from its two sizes; what misalignment costs on it.
TEST(ReportTextTest, MediaRules) {
  const std::optional<bool> none;
  const std::optional<uint16_t> noWord;
  const char* hdd =
      "On this hard disk each misaligned write reads and rewrites a whole physical sector.";
  const char* ssd = "On this SSD a misaligned volume costs extra writes and wear.";
  const struct {
    std::optional<bool> seekPenalty;
    std::optional<uint16_t> rotation;
    std::optional<bool> stackTrim, identityTrim;
    uint32_t logical;
    uint16_t spp;  // 0: no grid
    const char* media;
    std::optional<uint16_t> rate;
    std::optional<bool> trim;
    std::optional<std::string> format;
    std::string cost;
  } cases[] = {
      {true, 1, false, true, 512, 8, "HDD", noWord, false, "512e", hdd},  // the stack first
      {false, 7200, none, true, 512, 8, "SSD", 7200, true, "512e", ssd},
      {none, 1, none, none, 512, 8, "SSD", noWord, none, "512e", ssd},
      {none, 0x0401, none, false, 512, 1, "HDD", 0x0401, false, "512n",
       "Misalignment costs this disk nothing: its physical sector is its logical one."},
      {none, 0xFFFE, none, none, 4096, 1, "HDD", 0xFFFE, none, "4Kn",
       "Misalignment costs this disk nothing: its physical sector is its logical one."},
      {none, 0xFFFF, none, none, 512, 32, "", noWord, none, "512/16384", ""},
      {none, 0x0400, none, none, 512, 8, "", noWord, none, "512e", ""},
      {none, 0, none, none, 4096, 2, "", noWord, none, "4096/8192", ""},
      {none, noWord, true, none, 512, 0, "", noWord, true, std::nullopt, ""},
      {true, noWord, none, none, 512, 0, "HDD", noWord, none, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << (&c - cases));
    DriveInfo d;
    d.status = 1;
    d.seekPenalty = c.seekPenalty;
    d.rotationWord = c.rotation;
    d.trimEnabled = c.stackTrim;
    d.identityTrim = c.identityTrim;
    d.bytesPerLogicalSector = c.logical;
    d.sectorsPerPhysical = c.spp;
    if (c.spp) d.geometry = GeometrySource::AtaIdentity;
    EXPECT_EQ(report::MediaWord(d), c.media);
    EXPECT_EQ(d.RotationRate(), c.rate);
    EXPECT_EQ(d.Trim(), c.trim);
    EXPECT_EQ(report::SectorFormat(d), c.format);
    EXPECT_EQ(report::CostNote(d), c.cost);
  }
}

TEST(ReportTextTest, JsonHoldsVolumesAndDrivesAsNumbersAndStrings) {
  DriveTable drives;
  drives[DiskNumber(0)].status = 1;
  drives[DiskNumber(0)].model = "M";
  drives[DiskNumber(0)].sectorsPerPhysical = 8;
  drives[DiskNumber(0)].alignPhase = 7;
  drives[DiskNumber(0)].bytesPerLogicalSector = 512;
  drives[DiskNumber(0)].geometry = GeometrySource::AtaIdentity;
  Partition linux;  // a partition Windows has no volume for, off the grid
  linux.number = 4;
  linux.gptType = "0FC63DAF-8483-4772-8E79-3D69D8477DE4";
  linux.start = ByteCount(100239679ull * 512);
  linux.length = ByteCount(2048 * 512);
  linux.holds = PartitionHolds::NoVolume;
  linux.verdict = Verdict::Misaligned;
  Partition mbr;  // an MBR byte with no name, tied to a row; the MSR has no data to align
  mbr.number = 1;
  mbr.mbrType = 0xA5;
  mbr.holds = PartitionHolds::Row;
  mbr.volume = "\\\\?\\Volume{1}\\";
  mbr.row = "C:";
  mbr.verdict = Verdict::Aligned;
  linux.advice = Advice{};
  linux.advice->moveTo = Sectors(100239680);
  linux.advice->moveBy = Sectors(1);
  linux.advice->moveByBytes = ByteCount(512);
  linux.advice->moveToRoom = {Fit::Fits, Sectors(0)};
  linux.advice->moveToMiB = Sectors(100241408);
  linux.advice->moveToMiBRoom = {Fit::Shrinks, Sectors(1985)};
  mbr.onMiB = true;
  DriveLayout layout;
  layout.style = PartitionStyle::Gpt;
  layout.partitions = {linux, mbr};
  drives[DiskNumber(0)].layout = layout;
  Partition efi;  // an EFI system partition whose boot sector could not be read
  efi.number = 2;
  efi.gptType = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";
  efi.start = ByteCount(2048 * 512);
  efi.length = ByteCount(204800 * 512);
  efi.holds = PartitionHolds::NoPath;
  efi.verdict = Verdict::Undetermined;
  efi.reason = Undetermined::BootSectorUnread;
  efi.onMiB = true;
  drives[DiskNumber(0)].layout->partitions.push_back(efi);
  drives[DiskNumber(1)].status = -1;  // ends the drive phase: not listed
  drives[DiskNumber(12)].status = -2;  // holds a volume, but did not open: listed with its failure
  drives.HoldsVolume(DiskNumber(12));
  std::vector<ScanRow> rows;
  rows.push_back(Row('C', 0, "M", 5000000000ull, Verdict::Misaligned));
  // A volume mounted in a folder, whose exFAT boot sector is not valid, on no disk found.
  rows.push_back(Row('P', std::nullopt, "", 2048, Verdict::Undetermined));
  rows[1].name = "C:\\SQL\\Data\\";
  rows[1].letter = 0;
  rows[1].paths = {"C:\\SQL\\Data\\", "E:\\Logs\\"};
  rows[1].extents[0].dataStart.reset();
  rows[1].dataStart.reset();
  rows[1].fileSystem = "exFAT";
  rows[1].placedBy = PlacedBy::Search;
  rows[1].reason = Undetermined::NoDrive;
  rows[1].onMiB = true;
  rows[0].advice = Advice{};  // format with larger clusters: the other fields do not apply
  rows[0].advice->clusterBytes = 4096;
  rows[0].advice->format = true;
  rows[0].windows = WindowsView{true, false, ByteCount(0), 512, 4096, 4096, 4096};
  drives[DiskNumber(0)].rotationWord = 7200;
  drives[DiskNumber(0)].trimEnabled = false;
  const std::string json =
      report::Json(MachineFindingsOf(std::move(rows), {{"V:", ProbeFailure::PartitionStart}},
                                     drives, {}, {Elevation::NotElevated, false, 5, ""}));
  ExpectRecorded(json, "json/hand-made-machine.json");
  EXPECT_TRUE(IsValidJson(json));
}

// LBA 0's place in its physical sector, from the grid each source reports.
TEST(ReportTextTest, Lba0OffsetIsNullWithoutAGrid) {
  const struct {
    int32_t status;
    uint16_t spp, phase;
    GeometrySource source;
    std::optional<uint32_t> offset;
  } cases[] = {
      {1, 8, 8, GeometrySource::AtaIdentity, 0},  // word 209: offset 0
      {1, 8, 7, GeometrySource::AtaIdentity, 1},
      {1, 8, 0, GeometrySource::AtaIdentity, 0},  // word 209 not valid: the grid at 0
      {1, 1, 0, GeometrySource::AtaIdentity, 0},
      {0, 8, 5, GeometrySource::StorageDescriptor, 3},
      {1, 8, 65535, GeometrySource::None, std::nullopt},  // an impossible word 209
      {0, 0, 0, GeometrySource::None, std::nullopt},
      {-1, 8, 8, GeometrySource::AtaIdentity, std::nullopt},
  };
  for (const auto& c : cases) {
    DriveInfo d;
    d.status = c.status;
    d.sectorsPerPhysical = c.spp;
    d.alignPhase = c.phase;
    d.geometry = c.source;
    EXPECT_EQ(d.Lba0Offset(), c.offset) << c.spp << "/" << c.phase;
  }
}

TEST(ReportTextTest, DeviceTextsBecomeValidUtf8Json) {
  EXPECT_EQ(JsonString("a\"b\\c/"), "\"a\\\"b\\\\c/\"");
  EXPECT_EQ(JsonString("\t\n\r\b\f\x01\x1f\x7f"), "\"\\t\\n\\r\\b\\f\\u0001\\u001F\x7f\"");
  // Code page 1252: the euro sign, a right quotation mark, a no-break space, e acute,
  // y diaeresis; the bytes the code page leaves undefined are the C1 controls.
  EXPECT_EQ(JsonString("\x80\x92\xA0\xE9\xFF"), "\"\\u20AC\\u2019\\u00A0\\u00E9\\u00FF\"");
  EXPECT_EQ(JsonString("\x81\x8D\x8F\x90\x9D"), "\"\\u0081\\u008D\\u008F\\u0090\\u009D\"");

  std::string every;
  for (int b = 1; b < 256; ++b) every += static_cast<char>(b);
  const std::string literal = JsonString(every);
  EXPECT_TRUE(IsValidJson(literal));
  for (char c : literal) EXPECT_LT(static_cast<unsigned char>(c), 0x80u) << "ASCII only";
  ScanRow hostile = Row('Z', 3, every.substr(0, 40).c_str(), ~uint64_t{0} - 1, Verdict::Aligned);
  std::vector<ScanRow> rows;
  rows.push_back(std::move(hostile));
  rows.push_back(Row('Y', 4, every.substr(200).c_str(), 0, Verdict::Misaligned));
  DriveTable drives;
  drives[DiskNumber(0)].model = every.substr(100, 40).c_str();
  drives[DiskNumber(0)].serial = "\"quoted\\";
  drives[DiskNumber(1)].status = -1;
  EXPECT_TRUE(IsValidJson(report::Json(MachineFindingsOf(std::move(rows), {}, drives))));
}

// A bool is written as JSON's true or false, never as the number it converts to.
TEST(ReportTextTest, JsonBooleansAreNoNumbers) {
  JsonWriter json(JsonWriter::Layout::OneLine);
  json.BeginObject();
  json.Member("yes", true);
  json.Member("no", std::optional<bool>(false));
  json.Member("unknown", std::optional<bool>());
  json.Member("one", uint8_t{1});
  json.EndObject();
  EXPECT_EQ(json.Text(), "{\"yes\": true, \"no\": false, \"unknown\": null, \"one\": 1}\n");
}

TEST(ReportTextTest, TheCheckerItselfRejectsWhatIsNotJson) {
  for (const char* bad : {"", "{", "{\"a\" 1}", "[1,]", "\"\x01\"", "\"\\x\"", "01", "1.",
                          "\"\xC3\"", "\"\xC0\x80\"", "\"\xED\xA0\x80\"", "{} {}", "nul"})
    EXPECT_FALSE(IsValidJson(bad)) << bad;
  for (const char* good : {"{}", "[]", "0", "-1.5e+3", "\"\xE2\x82\xAC\"", " [null, true] "})
    EXPECT_TRUE(IsValidJson(good)) << good;
}

}  // namespace
