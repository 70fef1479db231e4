// Writes the fuzz targets' seed inputs from the lab machine's real answers.
// Usage: make_seeds DIR   (writes DIR/<target>/seed-*)
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_codec.h"
#include "inspect/scan.h"
#include "sim/builders.h"
#include "sim/lab.h"

namespace {

std::string g_root;

void Save(const std::string& target, const std::string& name, const fuzz::Bytes& bytes) {
  const std::string path = g_root + "/" + target + "/seed-" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Identification: each lab drive as it answers, its integrity word left as it is.
void IdentifySeeds(sim::Machine& lab) {
  for (auto& [number, drive] : lab.drives) {
    fuzz::FuzzWriter out;
    uint32_t index = number;
    uint8_t seal = 0, fail = 0xFF;
    out.Choice(index, fuzz::kDiskNumbers);
    fuzz::CodeDrive(out, drive);
    out.U8(seal);
    out.U8(fail);
    Save("identify", "drive" + std::to_string(number), out.Data());
  }
}

// The probe: the lab machine with one of its letters, and a drive record to judge by.
void VolumeSeeds(sim::Machine& lab) {
  for (const auto& [letter, l] : lab.letters) {
    fuzz::FuzzWriter out;
    fuzz::CodeMachine(out, lab);
    uint8_t which = static_cast<uint8_t>(letter - 'C'), fail = 0xFF;
    out.U8(which);
    out.U8(fail);
    DriveInfo drive = l.hostDrive >= 0 ? g_drives[DiskNumber(static_cast<uint32_t>(l.hostDrive))] : DriveInfo();
    fuzz::CodeDriveInfo(out, drive);
    uint64_t cluster = 3;
    out.Int(cluster);
    Save("volume", std::string(1, letter), out.Data());
  }
}

void ScanSeed(sim::Machine& lab) {
  fuzz::FuzzWriter out;
  fuzz::CodeMachine(out, lab);
  uint8_t fail = 0xFF;
  out.U8(fail);
  Save("scan", "lab", out.Data());
}

// The report: the lab's rows and drive table, as the scan gives them.
void ReportSeed() {
  std::vector<ScanRow> rows;
  CScan scan;
  while (!scan.Finished())
    if (auto row = scan.Step()) rows.push_back(std::move(*row));
  fuzz::FuzzWriter out;
  out.List(rows, 30, [&](ScanRow& row) { fuzz::CodeRow(out, row); });
  fuzz::CodeDriveTable(out, g_drives);
  Save("report", "lab", out.Data());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  g_root = argv[1];
  sim::Machine lab;
  sim::Installation installed(lab);
  sim::BuildLab(lab);
  IdentifySeeds(lab);
  ReportSeed();  // runs the scan, which fills the drive table the probe seeds use
  VolumeSeeds(lab);
  ScanSeed(lab);
  return 0;
}
