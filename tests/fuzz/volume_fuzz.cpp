// The volume probe and the verdict against any machine: drive types, free-space answers,
// sector sizes and cluster counts, file-system names, partition answers old and _EX,
// device numbers, disk extents, the volume's first sector and the drives' sectors, any one
// call failing.
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
  uint8_t queryOnly;
  in.U8(queryOnly);

  CVolumeInfo volume(static_cast<char>(letter));
  const int code = volume.Probe((queryOnly & 1) ? AccessMode::QueryOnly : AccessMode::Raw);
  fuzz::CheckNothingLeft(m);
  FUZZ_CHECK(code == 0 || code == 1 || code == 3 || code == 7);
  volume.ClusterToSector(cluster);
  if (code != 3 || volume.m_failure != ProbeFailure::None) return 0;
  // A placed volume: its first piece is where its row points.
  FUZZ_CHECK(!volume.m_extents.empty() && volume.m_extents.size() <= 128);
  const VolumeExtent& first = volume.m_extents.front();
  FUZZ_CHECK(first.disk ? first.disk->value == volume.GetDriveIndex()
                        : volume.GetDriveIndex() == CVolumeInfo::kNoDrive);
  FUZZ_CHECK(first.offset.value / volume.m_bytesPerSector == volume.m_startSector);
  for (const VolumeExtent& e : volume.m_extents)
    FUZZ_CHECK(e.disk || volume.m_extents.size() == 1);  // only a search finds no disk
  const uint64_t start = volume.GetDataStartSector();
  if (start != CVolumeInfo::kNotDetermined) FUZZ_CHECK(start >= volume.m_startSector);
  DriveTable table;
  for (const VolumeExtent& e : volume.m_extents)
    if (e.disk) table[*e.disk] = drive;
  const std::vector<PieceVerdict> pieces = JudgePieces(volume, table);
  FUZZ_CHECK(pieces.size() == volume.m_extents.size());
  // Without a disk nothing is judged; without a data start only clusters smaller than the
  // drive's unit are.
  for (const PieceVerdict& p : pieces) {
    if (!p.disk) FUZZ_CHECK(p.verdict == Verdict::Undetermined);
    if (p.disk && !p.dataStart)
      FUZZ_CHECK(p.verdict == Verdict::Undetermined ||
                 volume.m_bytesPerCluster < table[*p.disk].ClusterUnitBytes());
  }
  VolumeVerdict(pieces);
  return 0;
}
