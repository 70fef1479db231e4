#include "report/report_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "json/json_writer.h"
#include "platform/volume_names.h"
#include "platform/win32types.h"
#include "res/version.h"

namespace report {

namespace {

constexpr int kVerdictWidth = 12;  // "undetermined"
// The console keeps a space between cells where a long one (a folder path, a 40-character
// drive name) fills its column: "C:\SQL\Data\ 3", not a path that reads "Data\3". The
// clipboard's table keeps its cells touching.
constexpr size_t kConsoleGap = 1;
const std::vector<int> kDriveWidths = {8, 32, 22, 10, 10, 18, 18};

// A device text as a table cell: a control character (a line feed in a drive's name,
// say) would break the table's lines, so each shows as '?'.
std::string Printable(const char* text) {
  std::string cell(text);
  for (char& c : cell)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return cell;
}

std::string Decimal(unsigned long long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llu", value);
  return text;
}

}  // namespace

void AppendFixedWidthLine(std::string& text, const std::vector<std::string>& cells,
                          const std::vector<int>& widths, size_t gap) {
  for (size_t c = 0; c < cells.size(); ++c) {
    text += cells[c];
    size_t width = c < widths.size() ? static_cast<size_t>(widths[c]) : 0;
    if (c + 1 < cells.size()) width = std::max(width, cells[c].size() + gap);
    if (cells[c].size() < width) text.append(width - cells[c].size(), ' ');
  }
  text += '\n';
}

const std::vector<int>& VolumeWidths() {
  static const std::vector<int> widths = {8, 8, 32, 12};
  return widths;
}

std::array<std::string, 4> VolumeCells(const ScanRow& row) {
  return {Printable(row.name.c_str()), row.drive ? std::to_string(*row.drive) : "",
          Printable(row.driveName), row.dataStart ? Decimal(*row.dataStart) : ""};
}

const char* FailureWords(ProbeFailure failure) {
  switch (failure) {
    case ProbeFailure::DriveType:
      return "drive type";
    case ProbeFailure::Sizes:
      return "sizes";
    case ProbeFailure::DeviceOpen:
      return "device open";
    case ProbeFailure::PartitionStart:
      return "partition start";
    case ProbeFailure::FirstSector:
      return "first sector";
    case ProbeFailure::None:
      break;
  }
  return "none";
}

const char* VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::Aligned:
      return "aligned";
    case Verdict::Misaligned:
      return "misaligned";
    case Verdict::Undetermined:
      break;
  }
  return "undetermined";
}

const char* UndeterminedWords(Undetermined reason) {
  switch (reason) {
    case Undetermined::DataAreaNeedsRights:
      return "its data area needs administrative rights to read";
    case Undetermined::NoGrid:
      return "the drive reported nothing about its physical sectors";
    case Undetermined::NoDrive:
      return "no drive holds the volume";
    case Undetermined::SearchNeedsRights:
      return "finding its drive needs administrative rights";
    case Undetermined::DataAreaUnread:
      return "its data area could not be read";
    case Undetermined::BootSectorUnread:
      return "its boot sector could not be read";
    case Undetermined::SectorSizes:
      return "the volume and its drive disagree about the sector size";
    case Undetermined::None:
      break;
  }
  return nullptr;
}

std::string ModeLine(const RunMode& mode) {
  if (mode.rawAccess) return "";
  if (mode.elevation == Elevation::Elevated)
    return "Windows refused write access to the disks although this prompt is elevated (error " +
           std::to_string(mode.refusal) +
           "): a security policy such as Controlled Folder Access blocks it. FAT and exFAT "
           "volumes are judged by their clusters only.\n";
  return "Not elevated: FAT and exFAT volumes are judged by their clusters only; run "
         "TessarelReport from an elevated command prompt for a full report.\n";
}

DriveGeometry GeometryOf(const DriveInfo& drive) {
  DriveGeometry g;
  // A drive without an ATA identity may still have reported its grid.
  g.reported = drive.status > 0 || drive.HasGeometry();
  if (!g.reported) return g;
  if (drive.sectorsPerPhysical != 1)
    g.alignment = static_cast<int>(drive.sectorsPerPhysical) - static_cast<int>(drive.alignPhase);
  g.physicalSectorSize = drive.PhysicalSectorBytes();
  return g;
}

std::string AlignmentCell(const DriveGeometry& geometry) {
  if (!geometry.reported) return "Unknown";
  return geometry.alignment ? std::to_string(*geometry.alignment) : "";
}

std::string PhysicalSectorCell(const DriveGeometry& geometry) {
  if (!geometry.reported || !geometry.physicalSectorSize) return "Unknown";
  return Decimal(*geometry.physicalSectorSize);
}

const char* GeometrySourceWords(GeometrySource source) {
  switch (source) {
    case GeometrySource::AtaIdentity:
      return "ATA identity";
    case GeometrySource::StorageDescriptor:
      return "storage descriptor";
    case GeometrySource::None:
      break;
  }
  return "none";
}

std::string VolumeText(const VolumeHeadings& headings, const std::vector<ScanRow>& rows,
                       const DriveTable& drives, const std::vector<SkippedVolume>& skipped,
                       const VolumeListing& listing) {
  std::vector<int> widths = VolumeWidths();
  widths.push_back(kVerdictWidth);
  // The first column fits the longest name, a folder path too, and a space after it.
  for (const ScanRow& row : rows)
    widths[0] = std::max(widths[0], static_cast<int>(Printable(row.name.c_str()).size() + kConsoleGap));
  std::string text;
  AppendFixedWidthLine(text, {headings[0], headings[1], headings[2], headings[3], "Alignment"},
                       widths, kConsoleGap);
  for (const ScanRow& row : rows) {
    const auto cells = VolumeCells(row);
    AppendFixedWidthLine(text, {cells[0], cells[1], cells[2], cells[3], VerdictWord(row.verdict)},
                         widths, kConsoleGap);
    for (size_t i = 0; row.extents.size() > 1 && i < row.extents.size(); ++i) {
      const PieceVerdict& piece = row.extents[i];
      AppendFixedWidthLine(
          text,
          {"  " + std::to_string(i + 1) + "/" + std::to_string(row.extents.size()),
           piece.disk ? std::to_string(*piece.disk) : "",
           piece.disk ? Printable(drives[*piece.disk].model) : "",
           piece.dataStart ? Decimal(*piece.dataStart) : "", VerdictWord(piece.verdict)},
          widths, kConsoleGap);
    }
    if (const char* why = UndeterminedWords(row.reason))
      text += std::string("    undetermined: ") + why + "\n";
    text += AdviceLines(row.advice);
  }
  for (const SkippedVolume& volume : skipped) {
    text += Printable(volume.name.c_str()) + "  not examined: " + FailureWords(volume.reason);
    if (volume.error != 0) text += " (" + WindowsErrorWords(volume.error) + ")";
    text += "\n";
  }
  if (!listing.complete)
    text += "The list of volumes is incomplete: " +
            (listing.error != 0 ? WindowsErrorWords(listing.error)
                                : "more than " + std::to_string(kMostVolumes) + " volumes") +
            "; volumes mounted only in folders may be missing.\n";
  return text;
}

// What a locked BitLocker volume's calls fail with (FVE_E_LOCKED_VOLUME).
constexpr uint32_t kLockedByBitLocker = 0x80310000u;

std::string WindowsErrorWords(uint32_t error) {
  const char* words = nullptr;
  switch (error) {
    case ERROR_INVALID_FUNCTION:
      words = "incorrect function";
      break;
    case ERROR_ACCESS_DENIED:
      words = "access denied";
      break;
    case ERROR_NOT_READY:
      words = "not ready";
      break;
    case ERROR_SHARING_VIOLATION:
      words = "sharing violation";
      break;
    case ERROR_IO_DEVICE:
      words = "the device's I/O error";
      break;
    case ERROR_CRC:
      words = "the device's data error (CRC)";
      break;
    case kLockedByBitLocker:
      words = "the volume is locked by BitLocker";
      break;
  }
  const std::string number = "Windows error " + std::to_string(error);
  return words != nullptr ? number + ", " + words : number;
}

std::string HoldsWords(const Partition& p) {
  switch (p.holds) {
    case PartitionHolds::Row:
      return p.row;
    case PartitionHolds::NoPath:
      return "no letter or folder";
    case PartitionHolds::NoVolume:
      return "no volume";
    case PartitionHolds::Container:
      return "holds other volumes";
    case PartitionHolds::NotFixed:
      return p.shownAs + " (not a fixed volume)";
    case PartitionHolds::NotExamined: {
      std::string words = p.shownAs + " not examined: " + FailureWords(p.failure);
      if (p.failureError != 0) words += " (" + WindowsErrorWords(p.failureError) + ")";
      return words;
    }
    case PartitionHolds::Unknown:
      break;
  }
  return "no volume found";
}

namespace {
std::string Count(uint64_t n, const char* one, const char* many) {
  return Decimal(n) + " " + (n == 1 ? one : many);
}
}  // namespace

namespace {

// "64 (1 sector, 512 bytes later)"
std::string Later(const Advice& advice) {
  return Decimal(*advice.moveTo) + " (" + Count(*advice.moveBy, "sector", "sectors") + ", " +
         Count(*advice.moveByBytes, "byte", "bytes") + " later)";
}

std::string AfterShrinking(const Room& room) {
  return " after shrinking it by " + Count(room.shrinkBy, "sector", "sectors");
}

// The format line: the cluster size where the clusters are too small; otherwise at least
// the unit, which today's formatters lay the data area out on.
std::string FormatWords(const Advice& advice) {
  if (advice.clusterBytes) return "format with clusters of " + Decimal(*advice.clusterBytes) + " bytes";
  return "format it again, with clusters of at least " + Decimal(advice.clusterUnit) + " bytes";
}

}  // namespace

std::string AdviceLines(const std::optional<Advice>& advice) {
  std::string lines;
  if (!advice) return lines;
  if (advice->format) lines += "    " + FormatWords(*advice) + "\n";
  if (!advice->moveTo) return lines;
  // Each start with its own room: the first that aligns it, then the first on 1 MiB.
  const Room& first = advice->moveToRoom;
  const bool same = advice->moveToMiB == advice->moveTo;
  std::string line = first.fit == Fit::NoRoom ? "    no room at sector " : "    move to sector ";
  line += Later(*advice);
  if (same) line += first.fit == Fit::Shrinks ? ", on 1 MiB," : ", on 1 MiB";
  if (first.fit == Fit::Shrinks) line += AfterShrinking(first);
  if (advice->moveToMiB && !same) {
    const Room& mib = advice->moveToMiBRoom;
    const std::string at = Decimal(*advice->moveToMiB);
    if (mib.fit == Fit::NoRoom)
      line += "; no room at " + at + ", on 1 MiB";
    else
      line += (first.fit == Fit::NoRoom ? "; move to " : ", or to ") + at + " on 1 MiB" +
              (mib.fit == Fit::Shrinks ? AfterShrinking(mib) : "");
  }
  return lines + line + "\n";
}

std::string AdviceSentence(const Advice& advice, uint32_t bytesPerSector) {
  const auto mib = [&](uint64_t sector) {
    return Decimal(sector) + " (" + Decimal(sector * bytesPerSector / kMiB) + " MiB)";
  };
  // The start it names has room, or says what it costs: the 1 MiB start where it fits, else
  // the first aligning start where it fits, else that start with its shrink.
  std::string move, after;
  bool namedMiB = false;
  const Fit first = advice.moveToRoom.fit;
  if (advice.moveToMiB && advice.moveToMiBRoom.fit == Fit::Fits) {
    move = "moving its start to sector " + mib(*advice.moveToMiB);
    namedMiB = true;
  } else if (advice.moveTo && first != Fit::NoRoom) {
    const bool unknown = first == Fit::Unknown;
    namedMiB = unknown && advice.moveToMiB;
    move = "moving its start to sector " +
           (namedMiB ? mib(*advice.moveToMiB) : Decimal(*advice.moveTo));
    if (first == Fit::Shrinks) after = "," + AfterShrinking(advice.moveToRoom);
    if (unknown) after = "; whether it has room there is not known";
  } else if (advice.moveTo) {
    move = "moving its start to sector " + Decimal(*advice.moveTo);
    after = ", but there is no room there";
  }
  std::vector<std::string> steps;
  if (advice.format)
    steps.push_back(advice.clusterBytes
                        ? "formatting it with clusters of " + Decimal(*advice.clusterBytes) + " bytes"
                        : "formatting it again with clusters of at least " +
                              Decimal(advice.clusterUnit) + " bytes");
  if (!move.empty()) steps.insert(steps.begin(), move);
  if (steps.empty()) return "";
  std::string sentence = steps.front();
  if (steps.size() > 1) sentence += " and " + steps.back();
  sentence += " would align it" + after;
  if (advice.moveToMiB && !namedMiB && advice.moveToMiBRoom.fit == Fit::NoRoom &&
      advice.moveToMiB != advice.moveTo)
    sentence += "; there is no room at " + mib(*advice.moveToMiB);
  sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
  return sentence + ".";
}

std::string PartitionTip(const DriveInfo& drive) {
  std::string tip;
  if (!drive.layout) return tip;
  for (const Partition& p : drive.layout->partitions) {
    if (p.holds == PartitionHolds::Row || p.verdict != Verdict::Misaligned) continue;
    const char* holds = p.holds == PartitionHolds::NoPath     ? "has no letter or folder in Windows"
                        : p.holds == PartitionHolds::NoVolume ? "has no volume in Windows"
                                                              : "has no row in this report";
    if (!tip.empty()) tip += '\n';
    tip += "Partition " + std::to_string(p.number) + " (" + PartitionTypeName(p) + ") " + holds;
    // A FAT partition is judged where its clusters begin, past its allocation tables.
    if (p.dataOffset && *p.dataOffset != 0)
      tip += " and its data area begins off the grid, at sector " + Decimal(p.start + *p.dataOffset) + ".";
    else
      tip += " and starts off the grid, at sector " + Decimal(p.start) + ".";
  }
  return tip;
}

std::string PhysicalSectorNote(const DriveInfo& drive) {
  if (!drive.HasGeometry() || drive.PhysicalSectorBytes() <= 4096) return "";
  return "This drive reports " + Decimal(drive.PhysicalSectorBytes()) +
         "-byte physical sectors; Windows writes in " + Decimal(drive.ClusterUnitBytes()) +
         "-byte units.";
}

std::string PartitionText(const DriveTable& drives) {
  static const std::vector<int> widths = {8, 6, 20, 12, 12, 13};
  std::string lines;
  for (uint32_t number : drives.Listed()) {
    const DriveInfo& d = drives[number];
    if (!d.layout) continue;
    for (const Partition& p : d.layout->partitions) {
      if (p.holds == PartitionHolds::Row) continue;
      AppendFixedWidthLine(lines,
                           {std::to_string(number), std::to_string(p.number),
                            PartitionTypeName(p), Decimal(p.start), Decimal(p.length),
                            p.verdict ? VerdictWord(*p.verdict) : "", Printable(HoldsWords(p).c_str())},
                           widths, kConsoleGap);
      if (const char* why = UndeterminedWords(p.reason))
        lines += std::string("    undetermined: ") + why + "\n";
      lines += AdviceLines(p.advice);
    }
  }
  if (lines.empty()) return "";
  std::string text = "Partitions without a letter or folder\n";
  AppendFixedWidthLine(text, {"Drv No", "Part", "Type", "Start", "Length", "Alignment", "Holds"},
                       widths, kConsoleGap);
  return text + lines;
}

std::string DriveText(const VolumeHeadings& headings, const DriveTable& drives) {
  std::string text;
  AppendFixedWidthLine(
      text,
      {headings[1], headings[2], "Serial", "Firmware", "Alignment", "Phys Sector Size", "Geometry"},
      kDriveWidths, kConsoleGap);
  for (uint32_t number : drives.Listed()) {
    const DriveInfo& d = drives[number];
    const DriveGeometry g = GeometryOf(d);
    AppendFixedWidthLine(
        text,
        {std::to_string(number), Printable(d.model), Printable(d.serial), Printable(d.firmware),
         AlignmentCell(g), PhysicalSectorCell(g), GeometrySourceWords(d.geometry)},
        kDriveWidths, kConsoleGap);
  }
  return text;
}

namespace {

const char* PlacedByWord(PlacedBy by) {
  switch (by) {
    case PlacedBy::Extents:
      return "extents";
    case PlacedBy::Partition:
      return "partition";
    case PlacedBy::Search:
      break;
  }
  return "search";
}

void OptionalBoolean(JsonWriter& json, const char* key, std::optional<bool> value) {
  json.Key(key);
  if (value)
    json.Boolean(*value);
  else
    json.Null();
}

std::optional<std::string> ReasonOf(Undetermined reason) {
  const char* why = UndeterminedWords(reason);
  return why != nullptr ? std::optional<std::string>(why) : std::nullopt;
}

void AdviceMember(JsonWriter& json, const std::optional<Advice>& advice) {
  json.Key("advice");
  if (!advice) return json.Null();
  json.BeginObject();
  json.Member("moveTo", advice->moveTo);
  json.Member("moveBy", advice->moveBy);
  json.Member("moveByBytes", advice->moveByBytes);
  json.Member("moveToMiB", advice->moveToMiB);
  OptionalBoolean(json, "fits", advice->moveToRoom.Fits());
  json.Member("shrinkBy", advice->moveToRoom.ShrinkBy());
  OptionalBoolean(json, "moveToMiBFits", advice->moveToMiBRoom.Fits());
  json.Member("moveToMiBShrinkBy", advice->moveToMiBRoom.ShrinkBy());
  json.Member("clusterBytes", advice->clusterBytes);
  json.Key("format");
  json.Boolean(advice->format);
  json.EndObject();
}

void VolumeObject(JsonWriter& json, const ScanRow& row) {
  json.BeginObject();
  json.Member("name", row.name);
  json.Member("letter", row.letter != 0 ? std::optional<std::string>(std::string(1, row.letter))
                                        : std::nullopt);
  json.Member("paths", row.paths);
  json.Member("drive", row.drive);
  json.Member("driveName", row.driveName.GetString());
  json.Member("dataStart", row.dataStart);
  json.Member("verdict", VerdictWord(row.verdict));
  json.Member("reason", ReasonOf(row.reason));
  json.Member("fileSystem", row.fileSystem);
  json.Member("placedBy", PlacedByWord(row.placedBy));
  json.Key("onMiB");
  json.Boolean(row.onMiB);
  AdviceMember(json, row.advice);
  json.Key("extents");
  json.BeginArray();
  for (const PieceVerdict& piece : row.extents) {
    json.BeginObject();
    json.Member("drive", piece.disk);
    json.Member("start", piece.start);
    json.Member("dataStart", piece.dataStart);
    json.Member("bytesPastPhysicalStart", piece.bytesPastPhysicalStart);
    json.Member("verdict", VerdictWord(piece.verdict));
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

const char* PartitionStyleWord(PartitionStyle style) {
  switch (style) {
    case PartitionStyle::Mbr:
      return "MBR";
    case PartitionStyle::Gpt:
      return "GPT";
    case PartitionStyle::Raw:
      break;
  }
  return "RAW";
}

std::optional<std::string> Named(const std::string& text) {
  return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

void PartitionObject(JsonWriter& json, const Partition& p) {
  json.BeginObject();
  json.Member("number", p.number);
  if (p.mbrType)
    json.Member("type", uint32_t{*p.mbrType});
  else
    json.Member("type", p.gptType);
  json.Member("typeName", PartitionTypeName(p));
  json.Member("start", p.start);
  json.Member("length", p.length);
  json.Member("volume", Named(p.volume));
  json.Member("row", Named(p.row));
  json.Member("verdict",
              p.verdict ? std::optional<std::string>(VerdictWord(*p.verdict)) : std::nullopt);
  json.Member("reason", ReasonOf(p.reason));
  json.Key("onMiB");
  json.Boolean(p.onMiB);
  AdviceMember(json, p.advice);
  json.EndObject();
}

void DriveObject(JsonWriter& json, uint32_t number, const DriveInfo& d) {
  const DriveGeometry g = GeometryOf(d);
  json.BeginObject();
  json.Member("number", number);
  json.Member("name", d.model.GetString());
  json.Member("serial", d.serial.GetString());
  json.Member("firmware", d.firmware.GetString());
  json.Member("status", d.status);
  json.Member("logicalSectorSize", d.bytesPerLogicalSector != 0
                                       ? std::optional<uint32_t>(d.bytesPerLogicalSector)
                                       : std::nullopt);
  json.Member("alignment", g.alignment);
  json.Member("physicalSectorSize", g.physicalSectorSize);
  json.Member("lba0Offset", d.Lba0Offset());
  json.Member("geometry", GeometrySourceWords(d.geometry));
  json.Key("partitionStyle");
  if (!d.layout)
    json.Null();
  else
    json.String(PartitionStyleWord(d.layout->style));
  json.Key("partitions");
  json.BeginArray();
  if (d.layout)
    for (const Partition& p : d.layout->partitions) PartitionObject(json, p);
  json.EndArray();
  json.EndObject();
}

}  // namespace

std::string Json(const std::vector<ScanRow>& rows, const std::vector<SkippedVolume>& skipped,
                 const DriveTable& drives, const VolumeListing& listing, const RunMode& mode) {
  JsonWriter json;
  json.BeginObject();
  json.Member("program", TESSAREL_NAME);
  json.Member("version", TESSAREL_VERSION);
  json.Key("elevated");
  if (mode.elevation == Elevation::Unknown)
    json.Null();
  else
    json.Boolean(mode.elevation == Elevation::Elevated);
  json.Key("rawAccess");
  json.Boolean(mode.rawAccess);
  json.Key("volumes");
  json.BeginArray();
  for (const ScanRow& row : rows) VolumeObject(json, row);
  json.EndArray();
  json.Key("skipped");
  json.BeginArray();
  for (const SkippedVolume& volume : skipped) {
    json.BeginObject();
    json.Member("name", volume.name);
    json.Member("reason", FailureWords(volume.reason));
    json.Member("error", volume.error != 0 ? std::optional<uint32_t>(volume.error) : std::nullopt);
    json.EndObject();
  }
  json.EndArray();
  json.Key("volumeListComplete");
  json.Boolean(listing.complete);
  json.Key("drives");
  json.BeginArray();
  for (uint32_t number : drives.Listed()) DriveObject(json, number, drives[number]);
  json.EndArray();
  json.EndObject();
  return json.Text();
}

ExitStatus ExitStatusOf(const std::vector<ScanRow>& rows, const std::vector<SkippedVolume>& skipped,
                        const VolumeListing& listing) {
  // A list of volumes that did not come whole is no report to act on: at least 2.
  if (!listing.complete) return ExitStatus::Undetermined;
  // A volume that was not examined may be misaligned: never report all is well for it.
  bool undetermined = !skipped.empty();
  for (const ScanRow& row : rows) {
    if (row.verdict == Verdict::Misaligned) return ExitStatus::Misaligned;
    undetermined = undetermined || row.verdict == Verdict::Undetermined;
  }
  return undetermined ? ExitStatus::Undetermined : ExitStatus::Aligned;
}

}  // namespace report
