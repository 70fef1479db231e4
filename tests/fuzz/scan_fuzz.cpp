// The whole scan on any machine: drives 0 to 9 and letters C to Z. Every row it gives
// must be one the report can show.
#include "fuzz_check.h"
#include "fuzz_codec.h"
#include "inspect/scan.h"
#include "report/report_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzReader in(data, size);
  fuzz::SimRun run;
  sim::Machine& m = run.machine;
  fuzz::CodeMachine(in, m);
  uint8_t fail;
  in.U8(fail);
  if (fail < 250) m.failCall = fail * 2;
  g_drives.Clear();

  CScan scan;
  int steps = 0;
  char previous = 'B';
  while (!scan.Finished()) {
    FUZZ_CHECK(++steps <= kDriveCount + 24);
    std::optional<ScanRow> row = scan.Step();
    if (!row) continue;
    FUZZ_CHECK(row->letter > previous && row->letter <= 'Z');
    previous = row->letter;
    FUZZ_CHECK(!row->drive || (*row->drive >= 0 && *row->drive < kDriveCount));
    FUZZ_CHECK(row->dataStart != CVolumeInfo::kNoDataStart);
    FUZZ_CHECK(row->volume != nullptr && row->volume->m_letter == row->letter);
    if (!row->drive) FUZZ_CHECK(row->verdict == Verdict::Undetermined);
    report::VolumeCells(*row);
  }
  fuzz::CheckNothingLeft(m);
  return 0;
}
