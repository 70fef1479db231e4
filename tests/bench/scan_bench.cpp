// The console scan on simulated machines of 16 to 4,032 fixed volumes over up to 256
// disks: lettered volumes and volumes mounted in folders, every eighth spanned over two
// disks, and on every eighth disk an EFI system partition whose volume has no path (4,064
// volumes at most, under the 4,096 names the scan lists). Prints, per machine, the calls per
// volume, the physical-drive opens after the drive phase, and the time per volume; then
// the time an image with a full GPT of 32,768 entries takes. A benchmark: it measures, it
// asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/report_program.h"
#include "image/crc32.h"
#include "sim/builders.h"
#include "test_machines.h"

namespace {

struct Shape {
  int volumes;
  uint32_t disks;
};

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A sparse raw disk whose GPT holds 32,768 basic-data entries, each a sector past 1 MiB
// (misaligned, so each is advised and its room searched).
std::string FullGptImage() {
  constexpr uint32_t kEntries = 32768;
  constexpr uint64_t kFirst = 2 + kEntries * 128 / 512, kSectors = 16384 + kEntries * 2048ull + 34;
  std::vector<uint8_t> head((kFirst) * 512, 0);
  head[446 + 4] = 0xEE;  // protective MBR
  Put32(head, 446 + 8, 1);
  Put32(head, 446 + 12, 0xFFFFFFFF);
  head[510] = 0x55;
  head[511] = 0xAA;
  static const uint8_t kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                         0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
  for (uint32_t i = 0; i < kEntries; ++i) {
    const size_t e = 1024 + size_t{i} * 128;
    std::memcpy(&head[e], kBasicData, 16);
    head[e + 16] = static_cast<uint8_t>(i + 1);
    Put64(head, e + 32, 16384 + i * 2048ull + 1);
    Put64(head, e + 40, 16384 + i * 2048ull + 2000);
  }
  std::memcpy(&head[512], "EFI PART", 8);
  Put32(head, 512 + 8, 0x00010000);
  Put32(head, 512 + 12, 92);
  Put64(head, 512 + 24, 1);
  Put64(head, 512 + 32, kSectors - 1);
  Put64(head, 512 + 40, kFirst);
  Put64(head, 512 + 48, kSectors - 34);
  Put64(head, 512 + 72, 2);
  Put32(head, 512 + 80, kEntries);
  Put32(head, 512 + 84, 128);
  Put32(head, 512 + 88, crc::Ieee(&head[1024], kEntries * 128));
  Put32(head, 512 + 16, crc::Ieee(&head[512], 92));
  const std::string path =
      (std::filesystem::temp_directory_path() / "tessarel-bench-full-gpt.img").string();
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  file.close();
  std::filesystem::resize_file(path, kSectors * 512);
  return path;
}

}  // namespace

// With a number of volumes, only that machine (for a profiler); else every machine and the
// image.
int main(int argc, char** argv) {
  const ReportTexts texts = {{"Drive", "Drv No", "Drive Name", "Offset"}, "", ""};
  std::printf("%8s %6s %5s %16s %28s %18s\n", "volumes", "disks", "rows", "calls per volume",
              "drive opens after phase", "time per volume");
  std::vector<Shape> shapes = {{16, 8}, {64, 32}, {256, 64}, {1024, 128}, {4032, 256}};
  const int only = argc > 1 ? std::atoi(argv[1]) : 0;
  if (only != 0)
    shapes.erase(std::remove_if(shapes.begin(), shapes.end(),
                                [&](const Shape& s) { return s.volumes != only; }),
                 shapes.end());
  for (const Shape& shape : shapes) {
    sim::Machine m;
    sim::Installation in(m);
    test_machines::AddManyVolumes(m, shape.volumes, shape.disks);
    std::vector<double> seconds;
    std::string out, err;
    for (int run = 0; run < (shape.volumes > 1000 ? 3 : 7); ++run) {
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
  if (only != 0) return 0;
  // The image's partitions are read and judged offline: their table, each one's room.
  const std::string image = FullGptImage();
  sim::Machine m;
  sim::Installation in(m);
  m.files[image] = sim::HostFile(image);
  std::vector<double> seconds;
  std::string out, err;
  for (int run = 0; run < 3; ++run) {
    out.clear();
    const auto begin = std::chrono::steady_clock::now();
    RunReport({"--image", image, "--summary"}, texts, &out, &err);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("an image with 32,768 GPT entries: %.3f s (%s)\n", seconds[1],
              out.substr(0, out.find(';')).c_str());
  std::filesystem::remove(image);
  return 0;
}
