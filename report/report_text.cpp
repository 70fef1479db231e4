#include "report/report_text.h"

#include <algorithm>
#include <cctype>

#include "platform/volume_names.h"
#include "report/report_free.h"
#include "report/report_images.h"
#include "report/report_move.h"
#include "report/report_sweep.h"

namespace report {

namespace {

constexpr int kVerdictWidth = 12;  // "undetermined"
// The console keeps a space between cells where a long one (a folder path, a 40-character
// drive name) fills its column: "C:\SQL\Data\ 3", not a path that reads "Data\3". The
// clipboard's table keeps its cells touching.
constexpr size_t kConsoleGap = 1;
const std::vector<int> kDriveWidths = {8,  32, 22, 10,
                                       10, 18, 19, 5};  // "storage descriptor" and a space

}  // namespace

const std::vector<int>& VolumeWidths() {
  static const std::vector<int> widths = {8, 8, 32, 12};
  return widths;
}

std::array<std::string, 4> VolumeCells(const ScanRow& row) {
  return {Printable(row.name.c_str()), row.drive ? Decimal(*row.drive) : "",
          Printable(row.driveName), row.dataStart ? Decimal(*row.dataStart) : ""};
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

std::string VolumeText(const VolumeHeadings& headings, const std::vector<ScanRow>& rows,
                       const DriveTable& drives, const std::vector<SkippedVolume>& skipped,
                       const VolumeListing& listing) {
  std::vector<int> widths = VolumeWidths();
  widths.push_back(kVerdictWidth);
  // The first column fits the longest name, a folder path too, and a space after it.
  for (const ScanRow& row : rows)
    widths[0] =
        std::max(widths[0], static_cast<int>(Printable(row.name.c_str()).size() + kConsoleGap));
  std::string text;
  // The last column measures the partition's start, which the Offset column shows only
  // where the data begins there (not for FAT and exFAT): its heading says so.
  AppendFixedWidthLine(
      text,
      {headings[0], headings[1], headings[2], headings[3], "Alignment", "Partition aligned to"},
      widths, kConsoleGap);
  for (const ScanRow& row : rows) {
    const auto cells = VolumeCells(row);
    std::vector<std::string> line = {cells[0], cells[1], cells[2], cells[3],
                                     VerdictWord(row.verdict)};
    if (row.alignedTo != 0) line.push_back(AlignedToWord(row.alignedTo));
    AppendFixedWidthLine(text, line, widths, kConsoleGap);
    for (size_t i = 0; row.extents.size() > 1 && i < row.extents.size(); ++i) {
      const PieceVerdict& piece = row.extents[i];
      AppendFixedWidthLine(
          text,
          {"  " + std::to_string(i + 1) + "/" + std::to_string(row.extents.size()),
           piece.disk ? Decimal(*piece.disk) : "",
           piece.disk ? Printable(drives[*piece.disk].model) : "",
           piece.dataStart ? Decimal(*piece.dataStart) : "", VerdictWord(piece.verdict)},
          widths, kConsoleGap);
    }
    if (const char* why = UndeterminedWords(row.reason))
      text += std::string("    undetermined: ") + why + "\n";
    text += AdviceLines(row.advice);
    const std::string windows =
        WindowsDisagreesWords(row.windowsDisagrees, row.fileSystem == "exFAT");
    if (!windows.empty()) text += "    " + windows + "\n";
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

std::string FreeSpaceNote(const DriveInfo& drive) {
  if (!drive.layout) return "";
  std::optional<FreeRegion> largest;
  for (const FreeRegion& r : FreeRegions(drive.AsDisk()).value_or(std::vector<FreeRegion>{}))
    if (r.onGrid == false && r.blocked == FreeBlock::None && r.gridStart &&
        WorthShowing(r, drive.layout->sectorSize) &&
        (!largest || largest->range.length < r.range.length))
      largest = r;
  if (!largest) return "";
  return "Free space starts off the grid at sector " + Decimal(largest->range.start) + " (" +
         Decimal(largest->range.length) + " sectors): start a partition there at sector " +
         Decimal(*largest->gridStart) + ".";
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
    const Sectors start = drive.layout->SectorOf(p.start);
    if (p.dataOffset && *p.dataOffset != Sectors(0))
      tip += " and its data area begins off the grid, at sector " + Decimal(start + *p.dataOffset) +
             ".";
    else
      tip += " and starts off the grid, at sector " + Decimal(start) + ".";
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
  static const std::vector<int> widths = {8, 6, 20, 12, 12, 13, 12};
  std::string lines;
  ForEachPartitionWithoutRow(drives, [&](DiskNumber number, const DriveLayout& layout,
                                           const Partition& p) {
    AppendFixedWidthLine(
        lines,
        {Decimal(number), std::to_string(p.number), PartitionTypeName(p),
         Decimal(layout.SectorOf(p.start)), Decimal(layout.SectorOf(p.length)),
         p.verdict ? VerdictWord(*p.verdict) : "", AlignedToWord(AlignedTo(p.start)),
         Printable(HoldsWords(p).c_str())},
        widths, kConsoleGap);
    if (const char* why = UndeterminedWords(p.reason))
      lines += std::string("    undetermined: ") + why + "\n";
    lines += AdviceLines(p.advice);
  });
  if (lines.empty()) return "";
  std::string text = "Partitions without a letter or folder\n";
  AppendFixedWidthLine(
      text, {"Drv No", "Part", "Type", "Start", "Length", "Alignment", "Aligned to", "Holds"},
      widths, kConsoleGap);
  return text + lines;
}

std::string DriveText(const VolumeHeadings& headings, const DriveTable& drives) {
  std::string text;
  AppendFixedWidthLine(text,
                       {headings[1], headings[2], "Serial", "Firmware", "Alignment",
                        "Phys Sector Size", "Geometry", "Media"},
                       kDriveWidths, kConsoleGap);
  for (DiskNumber number : drives.Listed()) {
    const DriveInfo& d = drives[number];
    const DriveGeometry g = ReportedGeometryOf(d);
    AppendFixedWidthLine(
        text,
        {Decimal(number), Printable(d.model), Printable(d.serial), Printable(d.firmware),
         AlignmentCell(g), PhysicalSectorCell(g), GeometrySourceWords(d.geometry), MediaWord(d)},
        kDriveWidths, kConsoleGap);
  }
  return text;
}

// Each drive's free regions with room for a partition, by drive number.
std::string FreeText(const DriveTable& drives) {
  std::string lines;
  for (DiskNumber number : drives.Listed()) {
    const DriveInfo& d = drives[number];
    if (const std::optional<std::vector<FreeRegion>> free = FreeRegions(d.AsDisk()))
      lines += FreeLines(*free, d.layout->sectorSize, "Drive " + Decimal(number) + ": ",
                         d.AsDisk().EverySectorOnGrid());
  }
  return lines.empty() ? "" : "\nFree space with room for a partition\n" + lines;
}

// With --target 4kn: each drive's readiness, its move to the other sector size and what
// stands in the way.
std::string MoveText(const MachineFindings& machine) {
  std::string lines;
  for (DiskNumber number : machine.drives->Listed()) {
    const std::optional<SectorSizeMove> move = MoveOf(machine, number);
    const bool ready = DriveReadyFor4Kn(machine, number);
    lines += "Drive " + Decimal(number) + ": " + (ready ? "ready" : "not ready") + " for 4kn; " +
             MoveSummary(move) + "\n" + MoveItemLines(move, "    ");
  }
  return lines.empty() ? "" : "\nReady for 4 KiB sectors (--target 4kn)\n" + lines;
}

std::string Text(const Findings& findings, const VolumeHeadings& headings, bool drives) {
  std::string text;
  if (const MachineFindings* machine = findings.machine ? &*findings.machine : nullptr) {
    text = ModeLine(findings.mode);
    text += VolumeText(headings, machine->rows, *machine->drives, machine->skipped,
                       machine->listing);
    const std::string partitions = PartitionText(*machine->drives);
    if (!partitions.empty()) text += "\n" + partitions;
    if (drives) text += "\n" + DriveText(headings, *machine->drives) + FreeText(*machine->drives);
    if (findings.Names(Target::Sectors4Kn)) text += MoveText(*machine);
  }
  for (const ImageFinding& image : findings.images) {
    if (!text.empty()) text += "\n";
    text += ImageText(image);
  }
  if (findings.sweep && !findings.NothingToCheck())
    text += (text.empty() ? "" : "\n") + SweepText(*findings.sweep, findings.images.size());
  if (findings.NothingToCheck()) {
    text = NothingWords(findings.sweep) + ".\n";
    text[0] = 'N';
  }
  return text;
}

}  // namespace report
