#include "report/report_compliance.h"

#include "json/json_writer.h"
#include "res/version.h"

namespace report {

Compliance MachineCompliance(const std::vector<ScanRow>& rows,
                             const std::vector<SkippedVolume>& skipped,
                             const VolumeListing& listing) {
  Compliance c;
  c.total = rows.size() + skipped.size();
  for (const ScanRow& row : rows) {
    c.misaligned += row.verdict == Verdict::Misaligned;
    c.undetermined += row.verdict == Verdict::Undetermined;
  }
  c.notExamined = skipped.size();
  c.complete = listing.complete;
  return c;
}

Compliance ImagesCompliance(const std::vector<ImageCheck>& images) {
  Compliance c;
  c.total = images.size();
  for (const ImageCheck& image : images) {
    if (image.refusal != ImageRefusal::None) {
      ++c.notExamined;
      continue;
    }
    const Verdict v = image.Judged().verdict;
    c.misaligned += v == Verdict::Misaligned;
    c.undetermined += v == Verdict::Undetermined;
  }
  return c;
}

const char* ComplianceVerdict(const Compliance& c) {
  if (!c.complete) return "incomplete";
  if (c.misaligned != 0) return "misaligned";
  if (c.undetermined != 0 || c.notExamined != 0) return "undetermined";
  return "aligned";
}

std::string ComplianceLine(const Compliance& c, Elevation elevation) {
  JsonWriter json(JsonWriter::Layout::Compact);
  json.BeginObject();
  json.Member("TessarelVerdict", ComplianceVerdict(c));
  json.Member("TessarelVolumes", c.total);
  json.Member("TessarelMisaligned", c.misaligned);
  json.Member("TessarelUndetermined", c.undetermined);
  json.Member("TessarelNotExamined", c.notExamined);
  json.Member("TessarelComplete", c.complete);
  // Intune's Boolean rules take no null: a Windows that cannot say (before Vista) is false.
  json.Member("TessarelElevated", elevation == Elevation::Elevated);
  json.Member("TessarelVersion", TESSAREL_VERSION);
  json.EndObject();
  return json.Text();
}

}  // namespace report
