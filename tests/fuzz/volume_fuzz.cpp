// The volume probe and the verdict against any machine: drive types, free-space answers,
// sector sizes and cluster counts, file-system names, partition answers old and _EX,
// device numbers, the volume's first sector and the drives' sectors, any one call failing.
#include "fuzz_check.h"
#include "fuzz_codec.h"
#include "inspect/alignment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzReader in(data, size);
  fuzz::SimRun run;
  sim::Machine& m = run.machine;
  fuzz::CodeMachine(in, m);
  uint8_t letter, fail;
  in.U8(letter);
  letter = static_cast<uint8_t>('C' + letter % 24);
  in.U8(fail);
  if (fail < 200) m.failCall = fail;
  DriveInfo drive;
  fuzz::CodeDriveInfo(in, drive);
  uint64_t cluster;
  in.Int(cluster);

  CVolumeInfo volume(static_cast<char>(letter));
  const int code = volume.Probe();
  fuzz::CheckNothingLeft(m);
  FUZZ_CHECK(code == 0 || code == 1 || code == 3 || code == 7);
  const int index = volume.GetDriveIndex();
  if (code == 3 || code == 7) FUZZ_CHECK(index >= -1 && index <= 10);
  const uint64_t start = volume.GetDataStartSector();
  volume.ClusterToSector(cluster);
  if (code == 3 && index >= 0 && index < kDriveCount && start != CVolumeInfo::kNoDataStart) {
    FUZZ_CHECK(start >= volume.m_startSector);
    GetAlignmentState(volume, start, drive);
  }
  return 0;
}
