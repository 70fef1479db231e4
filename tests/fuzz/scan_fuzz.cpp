// The whole scan on any machine: drives by any number, letters C to Z, volumes listed by
// any names with any paths. Every row it gives must be one the report can show, and every
// fixed volume it does not show must be named.
#include <algorithm>

#include "fuzz_check.h"
#include "fuzz_codec.h"
#include "inspect/scan.h"
#include "platform/volume_names.h"
#include "report/report_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzReader in(data, size);
  fuzz::SimRun run;
  sim::Machine& m = run.machine;
  fuzz::CodeMachine(in, m);
  uint8_t fail;
  in.U8(fail);
  if (fail < 250) m.failCall = fail * 2;
  uint8_t queryOnly;
  in.U8(queryOnly);

  CScan scan(queryOnly & 1 ? AccessMode::QueryOnly : AccessMode::Raw);
  int steps = 0;
  // Each partition without a row that needs reading takes a step of its own at the end.
  int partitions = 0;
  for (const auto& [number, drive] : m.drives)
    partitions += static_cast<int>(drive.layout.partitions.size());
  char previous = 'B';
  while (!scan.Finished()) {
    // The drives, the letters, at most the volumes without a letter, and the partitions.
    FUZZ_CHECK(++steps <= kDriveCount + 24 + static_cast<int>(m.unlettered.size()) + partitions);
    std::optional<ScanRow> row = scan.Step();
    if (!row) continue;
    FUZZ_CHECK(row->volume != nullptr && row->volume->m_letter == row->letter);
    FUZZ_CHECK(!row->paths.empty());
    if (row->letter != 0) {
      // Letters in order, each with its root first; then the volumes in folders.
      FUZZ_CHECK(previous <= 'Z' && row->letter > previous && row->letter <= 'Z');
      previous = row->letter;
      FUZZ_CHECK(row->name == std::string(1, row->letter) + ":");
      FUZZ_CHECK(row->paths.front() == std::string(1, row->letter) + ":\\");
    } else {
      previous = 'Z' + 1;
      FUZZ_CHECK(row->name == row->paths.front());
      for (const std::string& path : row->paths) FUZZ_CHECK(!IsDriveRoot(path));
    }
    // The row shows its first piece, and sums its pieces up.
    FUZZ_CHECK(!row->extents.empty());
    FUZZ_CHECK(row->drive == row->extents.front().disk);
    FUZZ_CHECK(row->dataStart == row->extents.front().dataStart);
    FUZZ_CHECK(row->verdict == VolumeVerdict(row->extents));
    FUZZ_CHECK(row->dataStart != Sectors(CVolumeInfo::kNotDetermined));
    // Without a disk nothing is judged; without a data start only clusters smaller than the
    // drive's unit are.
    if (!row->drive) FUZZ_CHECK(row->verdict == Verdict::Undetermined);
    if (row->drive && !row->dataStart)
      FUZZ_CHECK(row->verdict == Verdict::Undetermined ||
                 row->volume->m_bytesPerCluster < g_drives[*row->drive].ClusterUnitBytes());
    // Every disk the row names is in the table, identified.
    for (const PieceVerdict& p : row->extents)
      if (p.disk) {
        const std::vector<DiskNumber> listed = g_drives.Listed();
        FUZZ_CHECK(std::find(listed.begin(), listed.end(), *p.disk) != listed.end());
      }
    report::VolumeCells(*row);
  }
  for (const SkippedVolume& v : scan.Skipped()) {
    FUZZ_CHECK(!v.name.empty());
    FUZZ_CHECK(v.reason != ProbeFailure::None);
  }
  fuzz::CheckNothingLeft(m);
  return 0;
}
