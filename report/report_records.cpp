#include "report/report_records.h"

#include "json/json_writer.h"
#include "report/report_free.h"
#include "report/report_images.h"
#include "report/report_json.h"
#include "report/report_sweep.h"
#include "res/version.h"

namespace report {

namespace {

// One record: its kind and where it comes from, then what `members` writes.
template <class Members>
void Record(std::string& out, const char* kind, const RunMode& mode, const RunFacts& run,
            Members members) {
  JsonWriter json(JsonWriter::Layout::Compact, mode.decode);
  json.BeginObject();
  json.Member("kind", kind);
  json.Member("computer", Named(mode.computer));
  json.Member("runId", run.stamp.runId);
  json.Member("time", IsoTime(run.stamp.fileTime));
  members(json);
  json.EndObject();
  out += json.Text();
}

}  // namespace

std::string RunRecord(const RunMode& mode, const RunFacts& run) {
  std::string out;
  Record(out, "run", mode, run, [&](JsonWriter& json) {
    json.Member("schemaVersion", kSchemaVersion);
    json.Member("program", TESSAREL_NAME);
    json.Member("version", TESSAREL_VERSION);
    json.Member("elevated", mode.elevation == Elevation::Unknown
                                ? std::nullopt
                                : std::optional<bool>(mode.elevation == Elevation::Elevated));
    json.Member("complete", run.complete);
    json.Member("exitStatus", run.exitStatus);
  });
  return out;
}

namespace {

void MachineRecords(std::string& out, const MachineFindings& machine, const RunMode& mode,
                    const RunFacts& run, bool to4Kn) {
  for (const ScanRow& row : machine.rows) {
    Record(out, "volume", mode, run, [&](JsonWriter& json) { VolumeMembers(json, row); });
    // As in the CSV: a volume of one piece is its own piece.
    for (size_t i = 0; row.extents.size() > 1 && i < row.extents.size(); ++i)
      Record(out, "piece", mode, run, [&](JsonWriter& json) {
        json.Member("volume", row.name);
        ExtentMembers(json, row.extents[i]);
      });
  }
  for (const SkippedVolume& volume : machine.skipped)
    Record(out, "skipped", mode, run, [&](JsonWriter& json) { SkippedMembers(json, volume); });
  ForEachPartitionWithoutRow(*machine.drives, [&](DiskNumber number, const DriveLayout& layout,
                                           const Partition& p) {
    Record(out, "partition", mode, run, [&](JsonWriter& json) {
      json.Member("drive", number.value);
      PartitionMembers(json, p, layout);
    });
  });
  for (DiskNumber number : machine.drives->Listed()) {
    const DriveInfo& d = (*machine.drives)[number];
    const std::optional<std::vector<FreeRegion>> free = FreeRegions(d.AsDisk());
    if (!free) continue;
    for (const FreeRegion& r : *free)
      Record(out, "free", mode, run, [&](JsonWriter& json) {
        json.Member("drive", number.value);
        FreeMembers(json, r, d.layout->style);
      });
  }
  for (DiskNumber number : machine.drives->Listed())
    if (MoveOf(machine, number))
      Record(out, "sector-size-move", mode, run, [&](JsonWriter& json) {
        json.Member("drive", number.value);
        DriveMoveMembers(json, machine, number, to4Kn);
      });
}

void ImageRecords(std::string& out, const ImageFinding& finding, const RunMode& mode,
                  const RunFacts& run) {
  const ImageCheck& image = finding.check;
  Record(out, "image", mode, run, [&](JsonWriter& json) { ImageMembers(json, finding); });
  for (const ImagePartition& ip : image.partitions)
    Record(out, "image-partition", mode, run, [&](JsonWriter& json) {
      json.Member("image", image.path);
      ImagePartitionMembers(json, ip, image.Guest().sectorSize);
    });
  if (image.free)
    for (const FreeRegion& r : *image.free)
      Record(out, "free", mode, run, [&](JsonWriter& json) {
        json.Member("image", image.path);
        FreeMembers(json, r, *image.style);
      });
}

}  // namespace

std::string Records(const Findings& findings, const RunFacts& run) {
  std::string out;
  if (findings.machine)
    MachineRecords(out, *findings.machine, findings.mode, run, findings.Names(Target::Sectors4Kn));
  for (const ImageFinding& image : findings.images) ImageRecords(out, image, findings.mode, run);
  if (findings.sweep)
    Record(out, "sweep", findings.mode, run, [&](JsonWriter& json) {
      SweepMembers(json, *findings.sweep, findings.images.size());
    });
  return out;
}

}  // namespace report
