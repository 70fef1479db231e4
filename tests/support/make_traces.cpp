// Records the field-trace fixtures of tests/traces: simulated machines of each kind the
// program knows, each run through the console report with --drives --trace. Beside each
// trace NAME.jsonl it writes NAME.txt, the report the trace must replay to.
// Usage: make_traces DIR
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/report_program.h"
#include "sim/builders.h"
#include "sim/lab.h"

namespace {

// A volume taken out of the machine takes its partition with it.
void DropPartitionOf(sim::Machine& m, const sim::Volume& v) {
  auto drive = m.drives.find(static_cast<uint32_t>(v.hostDrive));
  if (v.hostDrive < 0 || drive == m.drives.end()) return;
  auto& entries = drive->second.layout.partitions;
  const uint64_t start = static_cast<uint64_t>(v.startingOffset) / drive->second.sectorSize;
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [&](const sim::PartitionEntry& e) { return e.start == start; }),
                entries.end());
}

// The lab with only the given drives and letters; no volumes in folders. Drive 0 stays
// for the start-up check.
void LabSubset(sim::Machine& m, const std::vector<uint32_t>& drives, const std::string& letters) {
  sim::BuildLab(m);
  for (auto it = m.drives.begin(); it != m.drives.end();)
    it = std::find(drives.begin(), drives.end(), it->first) == drives.end() ? m.drives.erase(it)
                                                                            : std::next(it);
  for (auto it = m.letters.begin(); it != m.letters.end();) {
    if (letters.find(it->first) != std::string::npos) {
      ++it;
      continue;
    }
    DropPartitionOf(m, it->second);
    it = m.letters.erase(it);
  }
  for (const auto& [name, v] : m.unlettered) DropPartitionOf(m, v);
  m.unlettered.clear();
}

// Disks 0, 2 to 8 and 10 to 15, each with a volume: gaps at 1 and 9, more than ten disks.
void ManyDisks(sim::Machine& m) {
  char letter = 'C';
  for (uint32_t d = 0; d < 16; ++d) {
    if (d == 1 || d == 9) continue;
    sim::AddAtaDrive(m, d, "KESTREL KD" + std::to_string(1000 + d) + "-512E",
                     "S" + std::to_string(d), "KD06", 0x6003, 0x4000);
    sim::VolumeLayout v;
    v.letter = letter++;
    v.drive = d;
    v.startSector = d % 3 == 0 ? 63 : 2048;
    v.bootSector = sim::BuildNtfsBootSector(512, 8, static_cast<uint32_t>(v.startSector), d);
    sim::PlaceVolume(m, v);
  }
}

// A disk for each pair of identity words 106 and 209 the identification tests read, each
// with an NTFS volume at 63: grids that hold, none, and ones that cannot be (LBA 0 a whole
// physical sector or more into one), so that every shape's JSON meets the schema.
void IdentityShapes(sim::Machine& m) {
  const uint16_t shapes[][2] = {
      {0x6003, 0x4000}, {0x6003, 0x4001}, {0x6003, 0x0000}, {0x6003, 0x4009}, {0x6003, 0x8001},
      {0x4000, 0x4001}, {0xE003, 0x4001}, {0x7003, 0x4001}, {0x600F, 0x4000}, {0x6001, 0x4001},
      {0x0000, 0x4001}, {0x6003, 0x4007}, {0x6003, 0x4008}, {0x6001, 0x7FFF}, {0x6003, 0x0009}};
  char letter = 'C';
  for (uint32_t d = 0; d < std::size(shapes); ++d) {
    char name[32];
    std::snprintf(name, sizeof name, "SHAPE W106 %04X W209 %04X", shapes[d][0], shapes[d][1]);
    sim::AddAtaDrive(m, d, name, "S" + std::to_string(d), "F1", shapes[d][0], shapes[d][1]);
    sim::VolumeLayout v;
    v.letter = letter++;
    v.drive = d;
    v.startSector = 63;
    v.bootSector = sim::BuildNtfsBootSector(512, 8, 63, d);
    sim::PlaceVolume(m, v);
  }
}

// The lab as an older system sees it: no volume names its disk, each is found by content.
void Searched(sim::Machine& m) {
  LabSubset(m, {0, 1, 2, 3, 7, 8}, "CDEFGPQ");
  m.drives.erase(1);  // a gap the search passes over
  m.letters.erase('E');
  for (auto& [letter, v] : m.letters) v.deviceNumberOk = v.extentsOk = false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_traces DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::vector<std::pair<const char*, std::function<void(sim::Machine&)>>> machines = {
      {"gpt-nvme",
       [](sim::Machine& m) {
         LabSubset(m, {0, 5}, "LM");
       }},
      {"past-2tib-encrypted",
       [](sim::Machine& m) {
         LabSubset(m, {0, 6}, "NO");
       }},
      {"clone",
       [](sim::Machine& m) {
         LabSubset(m, {0, 7, 8}, "PQ");
       }},
      {"dynamic-spanned",
       [](sim::Machine& m) {
         LabSubset(m, {0, 11, 12}, "CST");
       }},
      {"exfat",
       [](sim::Machine& m) {
         LabSubset(m, {0, 10}, "CR");
       }},
      {"folder-mounts",
       [](sim::Machine& m) {
         sim::BuildLab(m);
         for (char l = 'D'; l <= 'Z'; ++l) {
           if (m.letters.count(l) != 0) DropPartitionOf(m, m.letters[l]);
           m.letters.erase(l);
         }
       }},
      {"many-disks-with-gaps", ManyDisks},
      {"identity-shapes", IdentityShapes},
      {"searched-by-content", Searched},
  };
  const ReportTexts texts = {{"Drive", "Drv No", "Drive Name", "Offset"},
                             "This program does not operate with this operating system version.",
                             "Unable to open a volume."};
  for (const auto& [name, build] : machines) {
    sim::Machine m;
    sim::Installation in(m);
    build(m);
    std::string out, err;
    const std::string trace = dir + "/" + name + ".jsonl";
    RunReport({"--drives", "--target", "4kn", "--trace", trace}, texts, &out, &err);
    std::FILE* f = std::fopen((dir + "/" + name + ".txt").c_str(), "wb");
    if (f == nullptr || std::fwrite(out.data(), 1, out.size(), f) != out.size() || !err.empty()) {
      std::fprintf(stderr, "%s: %s", name, err.c_str());
      return 1;
    }
    std::fclose(f);
  }
  return 0;
}
