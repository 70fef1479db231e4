#include "report/report_csv.h"

#include "json/json_writer.h"
#include "report/report_free.h"
#include "report/report_images.h"
#include "report/report_move.h"

namespace report {

namespace {

const char* const kColumns[] = {
    "computer",     "kind",           "name",          "drive",
    "partition",    "partitionStart", "dataStart",     "verdict",
    "reason",       "onMiB",          "moveTo",        "fits",
    "shrinkBy",     "moveToMiB",      "moveToMiBFits", "moveToMiBShrinkBy",
    "clusterBytes", "format",         "targetReady",   "targetFix",
    "alignedTo",    "regionStart",    "regionLength",  "onGrid",
    "firstOnGrid",  "roomAtGrid",     "firstOnMiB",    "roomAtMiB",
    "canCreate",    "sectorSizeTo",   "sectorSizeMove", "sectorSizeMoveItems"};

// One line's fields, each empty (null) until set.
struct Line {
  Line(std::string computer_, std::string kind_, std::string name_)
      : computer(std::move(computer_)), kind(std::move(kind_)), name(std::move(name_)) {}
  std::string computer, kind, name, drive, partition, partitionStart, dataStart, verdict, reason,
      onMiB, targetReady, targetFix, alignedTo;
  std::optional<Advice> advice;
  std::optional<FreeRegion> free;
  std::optional<SectorSizeMove> move;  // a drive's or an image's line: its move, where told
};

std::string Field(const std::string& utf8) {
  if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
  std::string quoted = "\"";
  for (char c : utf8) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

template <class T>
std::string Value(const std::optional<T>& v) {
  return v ? Decimal(*v) : "";
}
std::string Value(std::optional<bool> v) { return v ? (*v ? "true" : "false") : ""; }
std::string Value(bool v) { return v ? "true" : "false"; }

void Append(std::string& csv, const Line& l, const TextDecoder& decode) {
  const Advice* a = l.advice ? &*l.advice : nullptr;
  const FreeRegion* f = l.free ? &*l.free : nullptr;
  const std::string fields[] = {l.computer,
                                l.kind,
                                l.name,
                                l.drive,
                                l.partition,
                                l.partitionStart,
                                l.dataStart,
                                l.verdict,
                                l.reason,
                                l.onMiB,
                                a ? Value(a->moveTo) : "",
                                a ? Value(a->moveToRoom.Fits()) : "",
                                a ? Value(a->moveToRoom.ShrinkBy()) : "",
                                a ? Value(a->moveToMiB) : "",
                                a ? Value(a->moveToMiBRoom.Fits()) : "",
                                a ? Value(a->moveToMiBRoom.ShrinkBy()) : "",
                                a ? Value(a->clusterBytes) : "",
                                a ? Value(a->format) : "",
                                l.targetReady,
                                l.targetFix,
                                l.alignedTo,
                                f ? Decimal(f->range.start) : "",
                                f ? Decimal(f->range.length) : "",
                                f ? Value(f->onGrid) : "",
                                f ? Value(f->gridStart) : "",
                                f && f->gridStart ? Decimal(f->gridRoom) : "",
                                f ? Value(f->mibStart) : "",
                                f && f->mibStart ? Decimal(f->mibRoom) : "",
                                f ? Value(f->blocked == FreeBlock::None) : "",
                                l.move ? std::to_string(l.move->to) : "",
                                l.move ? MoveVerdictWord(l.move->verdict) : "",
                                MoveItemList(l.move)};
  for (size_t i = 0; i < std::size(fields); ++i)
    csv += (i ? "," : "") + Field(Utf8Of(fields[i], decode));
  csv += "\r\n";
}

std::string Header() {
  std::string csv = "\xEF\xBB\xBF";  // UTF-8's byte-order mark
  for (size_t i = 0; i < std::size(kColumns); ++i) csv += (i ? "," : "") + std::string(kColumns[i]);
  return csv + "\r\n";
}

std::string Reason(Undetermined reason) {
  const char* why = UndeterminedWords(reason);
  return why ? why : "";
}

// A partition's verdict, why, whether it starts on 1 MiB, and its advice.
void Judged(Line& l, const Partition& p) {
  l.verdict = p.verdict ? VerdictWord(*p.verdict) : "";
  l.reason = Reason(p.reason);
  l.onMiB = Value(p.onMiB);
  l.alignedTo = Decimal(AlignedTo(p.start));
  l.advice = p.advice;
}

// A disk's or a disk file's free regions, a line each.
void FreeLinesOf(std::string& csv, const std::vector<FreeRegion>& regions, PartitionStyle style,
                 const std::string& name, const std::string& drive, const RunMode& mode) {
  for (const FreeRegion& r : regions) {
    Line l{mode.computer, "free", name};
    l.drive = drive;
    const char* why = FreeBlockWords(r.blocked, style);
    l.reason = why ? why : "";
    l.onMiB = Value(r.onMiB);
    l.free = r;
    Append(csv, l, mode.decode);
  }
}

// The partition of `drive` that starts where a volume's piece does: its number, or none.
std::string PartitionAt(const DriveTable& drives, std::optional<DiskNumber> disk, Sectors start) {
  if (!disk) return "";
  const DriveInfo& d = drives[*disk];
  if (!d.Opened() || !d.layout) return "";
  for (const Partition& p : d.layout->partitions)
    if (d.layout->SectorOf(p.start) == start) return std::to_string(p.number);
  return "";
}

// A volume's line, and its pieces' where it lies on several disks.
void VolumeLines(std::string& csv, const ScanRow& row, const DriveTable& drives,
                 const RunMode& mode) {
  Line l{mode.computer, "volume", row.name};
  l.drive = Value(row.drive);
  if (!row.extents.empty()) {
    l.partition = PartitionAt(drives, row.extents[0].disk, row.extents[0].start);
    l.partitionStart = Decimal(row.extents[0].start);
  }
  l.dataStart = Value(row.dataStart);
  l.verdict = VerdictWord(row.verdict);
  l.reason = Reason(row.reason);
  l.onMiB = Value(row.onMiB);
  l.alignedTo = row.alignedTo != 0 ? Decimal(row.alignedTo) : "";
  l.advice = row.advice;
  Append(csv, l, mode.decode);
  for (size_t i = 0; row.extents.size() > 1 && i < row.extents.size(); ++i) {
    const PieceVerdict& piece = row.extents[i];
    Line p{mode.computer, "piece", row.name};
    p.drive = Value(piece.disk);
    p.partition = PartitionAt(drives, piece.disk, piece.start);
    p.partitionStart = Decimal(piece.start);
    p.dataStart = Value(piece.dataStart);
    p.verdict = VerdictWord(piece.verdict);
    p.reason = Reason(piece.reason);
    Append(csv, p, mode.decode);
  }
}

// Each listed drive's line: its move to the other sector size, and its readiness for 4kn.
void DriveLines(std::string& csv, const MachineFindings& machine, const RunMode& mode,
                bool to4Kn) {
  for (DiskNumber number : machine.drives->Listed()) {
    const DriveInfo& d = (*machine.drives)[number];
    Line l{mode.computer, "drive", d.model.GetString()};
    l.drive = Decimal(number);
    l.move = MoveOf(machine, number);
    if (to4Kn) l.targetReady = Value(DriveReadyFor4Kn(machine, number));
    Append(csv, l, mode.decode);
  }
}

void MachineLines(std::string& csv, const MachineFindings& machine, const RunMode& mode,
                  bool to4Kn) {
  const DriveTable& drives = *machine.drives;
  for (const ScanRow& row : machine.rows) VolumeLines(csv, row, drives, mode);
  for (const SkippedVolume& v : machine.skipped) {
    Line l{mode.computer, "skipped", v.name};
    l.reason = FailureWords(v.reason);
    if (v.error != 0) l.reason += " (" + WindowsErrorWords(v.error) + ")";
    Append(csv, l, mode.decode);
  }
  ForEachPartitionWithoutRow(drives, [&](DiskNumber number, const DriveLayout& layout,
                                           const Partition& p) {
    Line l{mode.computer, "partition", !p.shownAs.empty() ? p.shownAs : p.volume};
    l.drive = Decimal(number);
    l.partition = std::to_string(p.number);
    l.partitionStart = Decimal(layout.SectorOf(p.start));
    if (p.verdict && p.dataOffset) l.dataStart = Decimal(layout.SectorOf(p.start) + *p.dataOffset);
    Judged(l, p);
    Append(csv, l, mode.decode);
  });
  for (DiskNumber number : drives.Listed()) {
    const DriveInfo& d = drives[number];
    if (const std::optional<std::vector<FreeRegion>> free = FreeRegions(d.AsDisk()))
      FreeLinesOf(csv, *free, d.layout->style, d.model.GetString(), Decimal(number), mode);
  }
  DriveLines(csv, machine, mode, to4Kn);
}

// Every image has its line, with its own verdict, before its partitions'.
void ImageLines(std::string& csv, const ImageFinding& finding, const RunMode& mode) {
  const ImageCheck& image = finding.check;
  const ImageVerdict verdict = image.Judged();
  Line line{mode.computer, "image", image.path};
  line.verdict = VerdictWord(verdict.verdict);
  if (image.refusal != ImageRefusal::None)
    line.reason =
        std::string("refused (") + RefusalCode(image.refusal) + "): " + image.refusalWords;
  else if (const char* why = ImageReasonWords(verdict))
    line.reason = why;
  // The one target named (of Azure and Hyper-V, the one), where there is one.
  const TargetCheck* target = finding.PlatformTarget();
  if (!target && finding.targets.size() == 1) target = &finding.targets[0];
  if (target) {
    line.targetReady = Value(target->ready);
    line.targetFix = TargetFix(image, *target);
  }
  line.move = image.sectorSizeMove;
  Append(csv, line, mode.decode);
  const SectorSize size = image.Guest().sectorSize;
  for (const ImagePartition& ip : image.partitions) {
    const Partition& p = ip.partition;
    Line l{mode.computer, "image-partition", image.path};
    l.partition = std::to_string(p.number);
    l.partitionStart = Decimal(size.Of(p.start));
    l.dataStart = Value(ip.dataStart);
    Judged(l, p);
    Append(csv, l, mode.decode);
  }
  if (image.free) FreeLinesOf(csv, *image.free, *image.style, image.path, "", mode);
}

}  // namespace

std::string Csv(const Findings& findings) {
  std::string csv = Header();
  if (findings.machine)
    MachineLines(csv, *findings.machine, findings.mode, findings.Names(Target::Sectors4Kn));
  for (const ImageFinding& image : findings.images) ImageLines(csv, image, findings.mode);
  return csv;
}

}  // namespace report
