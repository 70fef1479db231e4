#include "report/report_json.h"

#include "json/json_writer.h"
#include "report/report_free.h"
#include "report/report_images.h"
#include "report/report_move.h"
#include "report/report_sweep.h"
#include "report/report_words.h"
#include "res/version.h"

namespace report {

namespace {

// Positions and disks as the plain numbers JSON writes.
uint64_t Number(Sectors n) { return n.value; }
uint64_t Number(ByteCount n) { return n.value; }
uint32_t Number(DiskNumber n) { return n.value; }
template <class T>
auto Number(const std::optional<T>& v) -> std::optional<decltype(Number(*v))> {
  if (!v) return std::nullopt;
  return Number(*v);
}

}  // namespace

void Heading(JsonWriter& json, const RunMode& mode) {
  json.Member("program", TESSAREL_NAME);
  json.Member("version", TESSAREL_VERSION);
  json.Member("schemaVersion", kSchemaVersion);
  json.Member("computer",
              mode.computer.empty() ? std::nullopt : std::optional<std::string>(mode.computer));
}

std::optional<std::string> Named(const std::string& text) {
  return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

void PartitionVerdictMembers(JsonWriter& json, const Partition& p) {
  json.Member("verdict",
              p.verdict ? std::optional<std::string>(VerdictWord(*p.verdict)) : std::nullopt);
  json.Member("reason", ReasonOf(p.reason));
  json.Member("onMiB", p.onMiB);
  json.Member("alignedTo", AlignedTo(p.start));
  AdviceMember(json, p.advice);
}

void PartitionTypeMembers(JsonWriter& json, const Partition& p) {
  json.Member("number", p.number);
  if (p.mbrType) {
    json.Member("type", uint32_t{*p.mbrType});
  } else if (p.gptType.empty()) {  // an image's file system over the whole disk: no table
    json.Member("type", std::optional<std::string>());
    json.Member("typeName", std::optional<std::string>());
    return;
  } else {
    json.Member("type", p.gptType);
  }
  json.Member("typeName", PartitionTypeName(p));
}

std::optional<std::string> ReasonOf(Undetermined reason) {
  const char* why = UndeterminedWords(reason);
  return why != nullptr ? std::optional<std::string>(why) : std::nullopt;
}

void AdviceMember(JsonWriter& json, const std::optional<Advice>& advice) {
  json.Key("advice");
  if (!advice) return json.Null();
  json.BeginObject();
  json.Member("moveTo", Number(advice->moveTo));
  json.Member("moveBy", Number(advice->moveBy));
  json.Member("moveByBytes", Number(advice->moveByBytes));
  json.Member("moveToMiB", Number(advice->moveToMiB));
  json.Member("fits", advice->moveToRoom.Fits());
  json.Member("shrinkBy", Number(advice->moveToRoom.ShrinkBy()));
  json.Member("moveToMiBFits", advice->moveToMiBRoom.Fits());
  json.Member("moveToMiBShrinkBy", Number(advice->moveToMiBRoom.ShrinkBy()));
  json.Member("clusterBytes", advice->clusterBytes);
  json.Member("format", advice->format);
  json.EndObject();
}

namespace {

// Windows' own view of the volume; null where it gave none.
void WindowsMember(JsonWriter& json, const std::optional<WindowsView>& windows) {
  json.Key("windows");
  if (!windows) return json.Null();
  json.BeginObject();
  json.Member("partitionAligned", windows->partitionAligned);
  json.Member("deviceAligned", windows->deviceAligned);
  json.Member("partitionAlignmentOffset", Number(windows->partitionAlignmentOffset));
  json.Member("physicalSectorSizeForAtomicity", windows->physicalForAtomicity);
  json.Member("physicalSectorSizeForPerformance", windows->physicalForPerformance);
  json.Member("fileSystemEffectivePhysicalSectorSize", windows->fileSystemEffective);
  json.EndObject();
}

}  // namespace

void ExtentMembers(JsonWriter& json, const PieceVerdict& piece) {
  json.Member("drive", Number(piece.disk));
  json.Member("start", Number(piece.start));
  json.Member("dataStart", Number(piece.dataStart));
  json.Member("bytesPastPhysicalStart", Number(piece.bytesPastPhysicalStart));
  json.Member("verdict", VerdictWord(piece.verdict));
}

void VolumeMembers(JsonWriter& json, const ScanRow& row) {
  json.Member("name", row.name);
  json.Member("letter", row.letter != 0 ? std::optional<std::string>(std::string(1, row.letter))
                                        : std::nullopt);
  json.Member("paths", row.paths);
  json.Member("drive", Number(row.drive));
  json.Member("driveName", row.driveName.GetString());
  json.Member("dataStart", Number(row.dataStart));
  json.Member("verdict", VerdictWord(row.verdict));
  json.Member("reason", ReasonOf(row.reason));
  json.Member("fileSystem", row.fileSystem);
  json.Member("placedBy", PlacedByWord(row.placedBy));
  json.Member("onMiB", row.onMiB);
  json.Member("alignedTo",
              row.alignedTo != 0 ? std::optional<uint64_t>(row.alignedTo) : std::nullopt);
  AdviceMember(json, row.advice);
  WindowsMember(json, row.windows);
  json.Key("extents");
  json.BeginArray();
  for (const PieceVerdict& piece : row.extents) {
    json.BeginObject();
    ExtentMembers(json, piece);
    json.EndObject();
  }
  json.EndArray();
}

void SkippedMembers(JsonWriter& json, const SkippedVolume& volume) {
  json.Member("name", volume.name);
  json.Member("reason", FailureWords(volume.reason));
  json.Member("error", volume.error != 0 ? std::optional<uint32_t>(volume.error) : std::nullopt);
}

void PartitionMembers(JsonWriter& json, const Partition& p, const DriveLayout& layout) {
  PartitionTypeMembers(json, p);
  json.Member("start", Number(layout.SectorOf(p.start)));
  json.Member("length", Number(layout.SectorOf(p.length)));
  json.Member("volume", Named(p.volume));
  json.Member("row", Named(p.row));
  PartitionVerdictMembers(json, p);
}

namespace {

const char* GptHeaderWord(GptHeaderRead read) {
  switch (read) {
    case GptHeaderRead::Primary:
      return "primary";
    case GptHeaderRead::Backup:
      return "backup";
    case GptHeaderRead::Neither:
      return "neither";
    case GptHeaderRead::None:
      break;
  }
  return nullptr;
}

}  // namespace

void ImagePartitionMembers(JsonWriter& json, const ImagePartition& ip, SectorSize size) {
  const Partition& p = ip.partition;
  PartitionTypeMembers(json, p);
  json.Member("start", size.Of(p.start).value);
  json.Member("length", size.Of(p.length).value);
  json.Member("fileSystem", Named(ip.fileSystem));
  json.Member("clusterBytes", ip.clusterBytes);
  json.Member("dataStart",
              ip.dataStart ? std::optional<uint64_t>(ip.dataStart->value) : std::nullopt);
  PartitionVerdictMembers(json, p);
}

namespace {

void ContainerMember(JsonWriter& json, const std::optional<BlockContainer>& container) {
  json.Key("container");
  if (!container) return json.Null();
  json.BeginObject();
  json.Member("blockSize", container->blockBytes);
  json.Member("blocksAligned", container->blocksAligned);
  json.Member("transport", container->transport);
  json.Member("compressedBlocks", container->compressedBlocks);
  json.EndObject();
}

void ErrorMember(JsonWriter& json, ImageRefusal refusal, const std::string& words) {
  json.Key("error");
  if (refusal == ImageRefusal::None) return json.Null();
  json.BeginObject();
  json.Member("code", RefusalCode(refusal));
  json.Member("words", words);
  json.EndObject();
}

// One target's readiness (docs/report.schema.json's targetCheck), a drive's or an image's.
void TargetObject(JsonWriter& json, Target target, bool ready,
                  const std::vector<std::string>& reasons, const std::string& fix) {
  json.BeginObject();
  json.Member("name", TargetWord(target));
  json.Member("ready", ready);
  json.Member("reasons", reasons);
  json.Member("fix", Named(fix));
  json.EndObject();
}

void TargetObject(JsonWriter& json, const ImageCheck& image, const TargetCheck& target) {
  TargetObject(json, target.target, target.ready, TargetReasons(image, target),
               TargetFix(image, target));
}

}  // namespace

void ImageMembers(JsonWriter& json, const ImageFinding& finding) {
  const ImageCheck& image = finding.check;
  const bool read = image.refusal == ImageRefusal::None;
  const auto known = [read](auto value) {
    return read ? std::optional<decltype(value)>(value) : std::nullopt;
  };
  json.Member("path", image.path);
  json.Member("imageFormat",
              read ? std::optional<std::string>(ImageFormatWord(image.format)) : std::nullopt);
  json.Member("virtualSize", known(image.virtualSize));
  json.Member("logicalSectorSize", known(image.logicalSectorSize));
  json.Member("physicalSectorSize", image.physicalSectorSize);
  json.Member("grid", image.grid);
  json.Member("gridSource", image.gridSource == GridSource::Option ? "option" : "default");
  ContainerMember(json, image.container);
  json.Key("parents");
  json.BeginArray();
  for (const ParentImage& parent : image.parents) {
    json.BeginObject();
    json.Member("path", parent.path);
    json.Member("imageFormat", parent.format
                                   ? std::optional<std::string>(ImageFormatWord(*parent.format))
                                   : std::nullopt);
    ContainerMember(json, parent.container);
    ErrorMember(json, parent.refusal, parent.detail);
    json.EndObject();
  }
  json.EndArray();
  json.Member("partitionStyle", image.style
                                    ? std::optional<std::string>(PartitionStyleWord(*image.style))
                                    : std::nullopt);
  const char* gpt = GptHeaderWord(image.gpt);
  json.Member("gptHeader", gpt ? std::optional<std::string>(gpt) : std::nullopt);
  const ImageVerdict verdict = image.Judged();
  json.Member("verdict", VerdictWord(verdict.verdict));
  const char* why = ImageReasonWords(verdict);
  json.Member("reason", why ? std::optional<std::string>(why) : std::nullopt);
  json.Key("partitions");
  json.BeginArray();
  for (const ImagePartition& ip : image.partitions) {
    json.BeginObject();
    ImagePartitionMembers(json, ip, image.Guest().sectorSize);
    json.EndObject();
  }
  json.EndArray();
  FreeMember(json, image.free, image.style.value_or(PartitionStyle::Raw));
  ErrorMember(json, image.refusal, image.refusalWords);
  SectorSizeMoveMember(json, image.sectorSizeMove);
  json.Key("targets");
  json.BeginArray();
  for (const TargetCheck& target : finding.targets) TargetObject(json, image, target);
  json.EndArray();
  // Kept for the readers of one Azure or Hyper-V target.
  if (const TargetCheck* target = finding.PlatformTarget()) {
    json.Key("target");
    TargetObject(json, image, *target);
  }
}


void DriveMoveMembers(JsonWriter& json, const MachineFindings& machine, DiskNumber number,
                      bool to4Kn) {
  const std::optional<SectorSizeMove> move = MoveOf(machine, number);
  SectorSizeMoveMember(json, move);
  json.Key("targets");
  json.BeginArray();
  if (to4Kn) {
    const bool ready = DriveReadyFor4Kn(machine, number);
    TargetObject(json, Target::Sectors4Kn, ready,
                 ready ? std::vector<std::string>{} : std::vector<std::string>{MoveSummary(move)}, "");
  }
  json.EndArray();
}

namespace {

void DriveObject(JsonWriter& json, const MachineFindings& machine, DiskNumber number,
                 bool to4Kn) {
  const DriveInfo& d = (*machine.drives)[number];
  const DriveGeometry g = ReportedGeometryOf(d);
  json.BeginObject();
  json.Member("number", Number(number));
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
  json.Member("sectorFormat", SectorFormat(d));
  const std::string media = MediaWord(d);
  json.Member("media", media.empty() ? std::nullopt : std::optional<std::string>(media));
  json.Member("rotationRate", d.RotationRate());
  json.Member("trim", d.Trim());
  json.Member(
      "partitionStyle",
      d.layout ? std::optional<std::string>(PartitionStyleWord(d.layout->style)) : std::nullopt);
  json.Key("partitions");
  json.BeginArray();
  if (d.layout)
    for (const Partition& p : d.layout->partitions) {
      json.BeginObject();
      PartitionMembers(json, p, *d.layout);
      json.EndObject();
    }
  json.EndArray();
  FreeMember(json, FreeRegions(d.AsDisk()), d.layout ? d.layout->style : PartitionStyle::Raw);
  DriveMoveMembers(json, machine, number, to4Kn);
  json.EndObject();
}

void ImageObject(JsonWriter& json, const ImageFinding& finding) {
  json.BeginObject();
  ImageMembers(json, finding);
  json.EndObject();
}

}  // namespace

std::string Json(const Findings& findings) {
  const RunMode& mode = findings.mode;
  JsonWriter json(JsonWriter::Layout::Indented, mode.decode);
  json.BeginObject();
  Heading(json, mode);
  json.Key("targets");
  json.BeginArray();
  for (Target target : findings.targets) json.String(TargetWord(target));
  json.EndArray();
  json.Member("elevated", mode.elevation == Elevation::Unknown
                              ? std::nullopt
                              : std::optional<bool>(mode.elevation == Elevation::Elevated));
  if (const MachineFindings* machine = findings.machine ? &*findings.machine : nullptr) {
    json.Member("rawAccess", mode.rawAccess);
    json.Key("volumes");
    json.BeginArray();
    for (const ScanRow& row : machine->rows) {
      json.BeginObject();
      VolumeMembers(json, row);
      json.EndObject();
    }
    json.EndArray();
    json.Key("skipped");
    json.BeginArray();
    for (const SkippedVolume& volume : machine->skipped) {
      json.BeginObject();
      SkippedMembers(json, volume);
      json.EndObject();
    }
    json.EndArray();
    json.Member("volumeListComplete", machine->listing.complete);
    json.Key("drives");
    json.BeginArray();
    for (DiskNumber number : machine->drives->Listed())
      DriveObject(json, *machine, number, findings.Names(Target::Sectors4Kn));
    json.EndArray();
  }
  if (findings.ChecksImages()) {
    json.Key("images");
    json.BeginArray();
    for (const ImageFinding& image : findings.images) ImageObject(json, image);
    json.EndArray();
  }
  if (findings.sweep) {
    json.Key("sweep");
    json.BeginObject();
    SweepMembers(json, *findings.sweep, findings.images.size());
    json.EndObject();
  }
  json.EndObject();
  return json.Text();
}

}  // namespace report
