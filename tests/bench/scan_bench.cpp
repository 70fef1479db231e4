// The console scan on simulated machines of 16, 64 and 256 fixed volumes over up to 64
// disks: lettered volumes and volumes mounted in folders, every eighth spanned over two
// disks, and on every eighth disk an EFI system partition whose volume has no path. Prints, per machine, the calls per volume, the physical-drive opens after the
// drive phase, and the time per volume. A benchmark: it measures, it asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/report_program.h"
#include "sim/builders.h"

namespace {

struct Shape {
  int volumes;
  uint32_t disks;
};

void Build(sim::Machine& m, const Shape& shape) {
  for (uint32_t d = 0; d < shape.disks; ++d)
    sim::AddAtaDrive(m, d, "BENCH DISK " + std::to_string(d), "B" + std::to_string(d), "B1",
                     0x6003, 0x4000);
  for (int i = 0; i < shape.volumes; ++i) {
    sim::VolumeLayout v;
    const uint32_t disk = static_cast<uint32_t>(i) % shape.disks;
    const uint64_t start = 2048 + 1048576ull * static_cast<uint64_t>(i / shape.disks);
    v.letter = i < 24 ? static_cast<char>('C' + i) : 0;
    if (v.letter == 0) {
      char name[64];
      std::snprintf(name, sizeof name, "\\\\?\\Volume{0be9c000-0000-4000-8000-%012d}\\", i);
      v.volumeName = name;
      v.mountPaths = {"C:\\Mounts\\Volume" + std::to_string(i) + "\\"};
    }
    v.drive = disk;
    v.startSector = start;
    v.bootSector = sim::BuildNtfsBootSector(512, 8, 0, 0xBE9C0000u + static_cast<uint64_t>(i));
    if (i % 8 == 7 && shape.disks > 1)
      v.pieces = {{disk, start, 1048576}, {(disk + 1) % shape.disks, start, 1048576}};
    sim::PlaceVolume(m, v);
  }
  for (uint32_t d = 0; d < shape.disks; d += 8) {
    sim::VolumeLayout efi;
    char name[64];
    std::snprintf(name, sizeof name, "\\\\?\\Volume{0be9ce00-0000-4000-8000-%012u}\\", d);
    efi.letter = 0;
    efi.volumeName = name;
    efi.drive = d;
    efi.startSector = 34;
    efi.fileSystem = "FAT32";
    efi.bootSector = sim::BuildFatBootSector({});
    efi.gptType = sim::gpt::kEfiSystem;
    sim::PlaceVolume(m, efi);
  }
}

}  // namespace

int main() {
  const ReportTexts texts = {{"Drive", "Drv No", "Drive Name", "Offset"}, "", ""};
  std::printf("%8s %6s %5s %16s %28s %18s\n", "volumes", "disks", "rows", "calls per volume",
              "drive opens after phase", "time per volume");
  for (const Shape shape : {Shape{16, 8}, Shape{64, 32}, Shape{256, 64}}) {
    sim::Machine m;
    sim::Installation in(m);
    Build(m, shape);
    std::vector<double> seconds;
    std::string out, err;
    for (int run = 0; run < 7; ++run) {
      m.ClearLog();
      out.clear();
      const auto begin = std::chrono::steady_clock::now();
      RunReport({"--json"}, texts, &out, &err);
      seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
    std::sort(seconds.begin(), seconds.end());
    // The last run's calls: those after the drive phase, which ends at its tenth drive.
    size_t after = 0, opens = 0, drives = 0;
    bool letters = false;
    for (const sim::Call& c : m.Log()) {
      letters = letters || c.op == "GetDriveTypeA";
      if (!letters) continue;
      ++after;
      opens += c.op == "CreateFileA" && c.path.find("PhysicalDrive") != std::string::npos;
    }
    drives = shape.disks > 10 ? shape.disks - 10 : 0;
    size_t rows = 0;
    for (size_t at = out.find("\"letter\""); at != std::string::npos;
         at = out.find("\"letter\"", at + 1))
      ++rows;
    std::printf("%8d %6u %5zu %16.1f %16zu (of %3zu new) %15.1f us\n", shape.volumes,
                shape.disks, rows, static_cast<double>(after) / shape.volumes, opens, drives,
                seconds[seconds.size() / 2] * 1e6 / shape.volumes);
  }
  return 0;
}
