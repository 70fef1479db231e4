#include "report/report_metrics.h"

#include <array>
#include <map>
#include <set>

#include "json/json_writer.h"
#include "res/version.h"

namespace report {

namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;  // name, UTF-8 value

// The families are written one after another, each whole: the format wants a family's
// samples together, after its HELP and TYPE lines. Every family here is a gauge.
class Exposition {
 public:
  explicit Exposition(const RunMode& mode) : m_decode(mode.decode) {}

  void Family(const char* name, const char* help) {
    m_name = name;
    m_text += std::string("# HELP ") + name + " " + help + "\n";
    m_text += std::string("# TYPE ") + name + " gauge\n";
  }
  void Sample(const Labels& labels, long long value) { Sample(labels, std::to_string(value)); }
  void Sample(const Labels& labels, const std::string& value) {
    m_text += m_name;
    if (!labels.empty()) {
      m_text += '{';
      for (size_t i = 0; i < labels.size(); ++i)
        m_text += std::string(i ? "," : "") + labels[i].first + "=\"" +
                  LabelValue(labels[i].second) + "\"";
      m_text += '}';
    }
    m_text += " " + value + "\n";
  }
  // A name Windows gave, in its ANSI code page, as UTF-8.
  std::string Name(const std::string& ansi) const { return Utf8Of(ansi, m_decode); }
  const std::string& Text() const { return m_text; }

 private:
  TextDecoder m_decode;
  std::string m_name;
  std::string m_text;
};

const char* MetricVerdict(std::optional<Verdict> verdict) {
  return verdict ? VerdictWord(*verdict) : "none";
}

constexpr std::array<Verdict, 3> kVerdicts = {Verdict::Aligned, Verdict::Misaligned,
                                              Verdict::Undetermined};

// Counts by verdict word, every verdict present; `extra` names one more word counted too.
void ByVerdict(Exposition& e, const std::map<std::string, long long>& counts,
               const char* extra) {
  for (Verdict v : kVerdicts) {
    const auto it = counts.find(VerdictWord(v));
    e.Sample({{"verdict", VerdictWord(v)}}, it != counts.end() ? it->second : 0);
  }
  const auto it = counts.find(extra);
  e.Sample({{"verdict", extra}}, it != counts.end() ? it->second : 0);
}

std::string Disk(std::optional<DiskNumber> disk) {
  return disk ? std::to_string(disk->value) : "";
}

// What every file ends with: how the run went, when, and by which build.
void RunFamilies(Exposition& e, const RunMode& mode, const RunFacts& run) {
  e.Family("tessarel_scan_complete",
           "1 where the list of volumes, or every folder a sweep met, came whole.");
  e.Sample({}, run.complete ? 1 : 0);
  e.Family("tessarel_elevated",
           "1 where the run had administrative rights; no sample where Windows could not say.");
  if (mode.elevation != Elevation::Unknown)
    e.Sample({}, mode.elevation == Elevation::Elevated ? 1 : 0);
  e.Family("tessarel_exit_status",
           "The report's exit status: 0 aligned, 1 misaligned, 2 undetermined, 3 could not run.");
  e.Sample({}, run.exitStatus);
  e.Family("tessarel_last_run_timestamp_seconds", "When the run happened, in Unix seconds.");
  e.Sample({}, UnixSeconds(run.stamp.fileTime));
  e.Family("tessarel_build_info", "The version of Tessarel that wrote these metrics.");
  e.Sample({{"version", TESSAREL_VERSION}}, 1);
}

}  // namespace

std::string LabelValue(const std::string& utf8) {
  std::string out;
  for (char c : utf8) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      out += "\xEF\xBF\xBD";  // U+FFFD: a carriage return would end the line for some readers
    else
      out += c;
  }
  return out;
}

namespace {

void MachineFamilies(Exposition& e, const MachineFindings& machine) {
  const std::vector<ScanRow>& rows = machine.rows;
  const DriveTable& drives = *machine.drives;
  std::map<std::string, long long> volumes;
  for (const ScanRow& row : rows) ++volumes[VerdictWord(row.verdict)];
  volumes["not_examined"] = static_cast<long long>(machine.skipped.size());
  e.Family("tessarel_volumes", "Fixed volumes by verdict; not_examined could not be examined.");
  ByVerdict(e, volumes, "not_examined");

  // One series per disk a row lies on; a volume with two pieces on one disk (a spanned
  // dynamic volume) still has one, starting where its first piece there does.
  struct OnDisk {
    std::string name, disk;
    Verdict verdict;
    std::optional<uint64_t> startBytes;
  };
  std::vector<OnDisk> series;
  for (const ScanRow& row : rows) {
    std::set<std::string> seen;
    const auto add = [&](std::optional<DiskNumber> disk, std::optional<Sectors> dataStart) {
      const std::string d = Disk(disk);
      if (!seen.insert(d).second) return;
      OnDisk s{e.Name(row.name), d, row.verdict, std::nullopt};
      const uint32_t sector = disk ? drives[*disk].bytesPerLogicalSector : 0;
      if (dataStart && sector != 0 && dataStart->value <= UINT64_MAX / sector)
        s.startBytes = dataStart->value * sector;
      series.push_back(s);
    };
    for (const PieceVerdict& piece : row.extents) add(piece.disk, piece.dataStart);
    if (row.extents.empty()) add(row.drive, row.dataStart);
  }
  e.Family("tessarel_volume_info",
           "1 for each fixed volume on each disk it lies on, with the volume's verdict.");
  for (const OnDisk& s : series)
    e.Sample({{"name", s.name}, {"disk", s.disk}, {"verdict", VerdictWord(s.verdict)}}, 1);
  e.Family("tessarel_volume_start_bytes",
           "Where the volume's data begins on the disk, in bytes from the disk's start.");
  for (const OnDisk& s : series)
    if (s.startBytes) e.Sample({{"name", s.name}, {"disk", s.disk}}, std::to_string(*s.startBytes));

  std::map<std::string, long long> partitions;
  ForEachPartitionWithoutRow(drives, [&](DiskNumber, const DriveLayout&, const Partition& p) {
    ++partitions[MetricVerdict(p.verdict)];
  });
  e.Family("tessarel_partitions_without_row",
           "Partitions without a volume row, by verdict; none for those not judged (LDM, "
           "reserved).");
  ByVerdict(e, partitions, "none");

  e.Family("tessarel_drive_physical_sector_bytes",
           "Each drive's physical sector size in bytes, where the drive reports it.");
  for (DiskNumber number : drives.Listed())
    if (const auto size = ReportedGeometryOf(drives[number]).physicalSectorSize)
      e.Sample({{"disk", std::to_string(number.value)}}, std::to_string(*size));
}

void ImageFamilies(Exposition& e, const std::vector<ImageFinding>& images,
                   const std::optional<Sweep>& sweep) {
  std::map<std::string, long long> verdicts, partitions;
  // A disk file a sweep found and could not examine is no pass.
  if (sweep) verdicts[VerdictWord(Verdict::Undetermined)] += static_cast<long long>(sweep->FilesNotExamined());
  for (const ImageFinding& finding : images) {
    const ImageCheck& image = finding.check;
    ++verdicts[VerdictWord(image.Judged().verdict)];
    for (const ImagePartition& ip : image.partitions)
      ++partitions[MetricVerdict(ip.partition.verdict)];
  }
  e.Family("tessarel_images",
           "Disk images by their own verdict; a refused image, or one a sweep could not examine, "
           "is undetermined.");
  for (Verdict v : kVerdicts) e.Sample({{"verdict", VerdictWord(v)}}, verdicts[VerdictWord(v)]);
  e.Family("tessarel_image_partitions",
           "Partitions inside the images by verdict; none for those not judged.");
  ByVerdict(e, partitions, "none");
}

}  // namespace

std::string Metrics(const Findings& findings, const RunFacts& run) {
  Exposition e(findings.mode);
  if (findings.machine) MachineFamilies(e, *findings.machine);
  if (findings.ChecksImages()) ImageFamilies(e, findings.images, findings.sweep);
  RunFamilies(e, findings.mode, run);
  return e.Text();
}

}  // namespace report
