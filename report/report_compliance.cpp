#include "report/report_compliance.h"

#include "json/json_writer.h"
#include "res/version.h"

namespace report {

Compliance ComplianceOf(const Findings& findings) {
  Compliance c;
  for (const std::optional<Verdict>& verdict : Examined(findings)) {
    ++c.total;
    c.notExamined += !verdict;
    c.misaligned += verdict == Verdict::Misaligned;
    c.undetermined += verdict == Verdict::Undetermined;
  }
  c.complete = findings.Complete();
  c.nothingToCheck = findings.NothingToCheck();
  return c;
}

const char* ComplianceVerdict(const Compliance& c) {
  if (!c.complete) return "incomplete";
  if (c.misaligned != 0) return "misaligned";
  if (c.undetermined != 0 || c.notExamined != 0 || c.nothingToCheck) return "undetermined";
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
