// Disk image files of any bytes, as each format, with a second file a differencing one may
// name as its parent: the check opens, reads and judges them through the simulated machine.
// Every read stays inside its file and there are few; the partitions lie on the virtual
// disk; the text and the JSON hold whatever was read.
#include <algorithm>
#include <cctype>
#include <map>

#include "fuzz_check.h"
#include "fuzz_codec.h"
#include "image/image_check.h"
#include "image/parent_name.h"
#include "json_check.h"
#include "report/report_json.h"
#include "report/report_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzReader in(data, size);
  fuzz::SimRun run;
  const std::string path = "C:\\VMs\\guest.vhdx";
  sim::File& file = run.machine.files[path];
  fuzz::CodeImageFile(in, file);
  const std::optional<uint32_t> grids[] = {std::nullopt, 512, 4096, 1 << 20};
  const std::optional<uint32_t> sectorSizes[] = {std::nullopt, 512, 4096};
  uint8_t named;
  in.U8(named);
  // A second file beside it, which a differencing image may name as its parent.
  fuzz::CodeImageFile(in, run.machine.files["C:\\VMs\\parent"]);

  const std::vector<Target> targetSets[] = {
      {}, {Target::Azure}, {Target::HyperV}, {Target::Sectors4Kn}, {Target::Sectors4Kn, Target::Azure}};
  const std::vector<Target>& targets = targetSets[named / 12 % 5];
  const bool to4Kn = std::find(targets.begin(), targets.end(), Target::Sectors4Kn) != targets.end();
  const ImageCheck check = CheckImage(path, {grids[named % 4], sectorSizes[named / 4 % 3], to4Kn});
  const ImageVerdict verdict = check.Judged();
  fuzz::CheckNothingLeft(run.machine);
  const std::vector<sim::Call> reads = run.machine.Calls("ReadFile");
  // A block table is walked a MiB at a time; 4096 of them cover the largest a 64 TiB
  // VHDX can have.
  FUZZ_CHECK(reads.size() <= 4200);
  // Each read inside the file its handle was opened on (named in any case, as Windows and the
  // simulated machine take names).
  const auto sizeOf = [&](const std::string& path) {
    for (const auto& [name, f] : run.machine.files)
      if (name.size() == path.size() &&
          std::equal(name.begin(), name.end(), path.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
          }))
        return f.size;
    return uint64_t{0};
  };
  std::map<HANDLE, std::string> opened;
  for (const sim::Call& open : run.machine.Calls("CreateFileA")) {
    opened[open.handle] = open.path;
    // Past the file named, only names a file may give: never another computer or a device.
    if (open.path != path)
      FUZZ_CHECK(!WhyParentNameRefused(std::u16string(open.path.begin(), open.path.end())));
  }
  for (const sim::Call& read : reads)
    FUZZ_CHECK(read.position + read.size <= sizeOf(opened[read.handle]));
  for (const ImagePartition& ip : check.partitions) {
    const Partition& p = ip.partition;
    FUZZ_CHECK(p.length.value > 0 && p.start.value + p.length.value <= check.virtualSize);
    if (p.verdict == Verdict::Misaligned) FUZZ_CHECK(verdict.verdict != Verdict::Aligned);
  }
  if (check.refusal != ImageRefusal::None) FUZZ_CHECK(check.partitions.empty());
  // Nothing passes unread: an aligned image read a partition table or a boot sector.
  if (verdict.verdict == Verdict::Aligned)
    FUZZ_CHECK(check.refusal == ImageRefusal::None && check.style &&
               (*check.style != PartitionStyle::Raw || check.fileSystemWithoutTable) &&
               check.gpt != GptHeaderRead::Neither);
  // A move is to the other size; only a disk without a table is ready, and one whose
  // container and guest differ is never.
  if (const std::optional<SectorSizeMove>& move = check.sectorSizeMove) {
    FUZZ_CHECK((move->to == 4096 || move->to == 512) && move->to != check.logicalSectorSize);
    if (move->verdict == MoveVerdict::Ready)
      FUZZ_CHECK(check.style == PartitionStyle::Raw && check.guestLaidOutIn == 0);
  }
  report::Findings findings;
  findings.targets = targets;
  ImageFinding finding{check, {}};
  for (Target target : targets) finding.targets.push_back(CheckTarget(check, target));
  findings.images.push_back(finding);
  FUZZ_CHECK(IsValidJson(report::Json(findings)));
  FUZZ_CHECK(!report::Text(findings, {}, false).empty());
  return 0;
}
