// The trace reader and the replay against any text. A text that is no trace is refused
// naming its line; a trace that loads answers the whole scan and the report: nothing
// crashes, and nothing the scan opened or allocated is left.
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "findings_of.h"
#include "inspect/scan.h"
#include "report/report_json.h"
#include "report/report_text.h"
#include "trace/field_trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  const std::unique_ptr<trace::FieldTrace> replay =
      trace::FieldTrace::Load(std::string(reinterpret_cast<const char*>(data), size), &error);
  if (!replay) {
    FUZZ_CHECK(error.rfind("line ", 0) == 0);
    return 0;
  }
  {
    const sys::Using door(*replay);
    CScan scan;
    std::vector<ScanRow> rows;
    for (int steps = 0; !scan.Finished(); ++steps) {
      FUZZ_CHECK(steps <= kDriveCount + 24 + 4096);  // drives, letters, listed volumes
      if (auto row = scan.Step()) rows.push_back(std::move(*row));
    }
    report::Json(MachineFindingsOf(std::move(rows), scan.Skipped(), g_drives, scan.Listing()));
  }
  FUZZ_CHECK(replay->OpenHandles() == 0);
  FUZZ_CHECK(replay->OpenBuffers() == 0);
  return 0;
}
