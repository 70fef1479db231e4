// The simulated machines the tests build beside the lab, each once, by name: for the tests
// that drive them and for the outputs on record (tests/expected), which hold every output of
// each.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/builders.h"
#include "sim/lab.h"
#include "sim/machine.h"

namespace test_machines {

// A server's many volumes with neither letter nor folder (recovery and EFI system
// partitions): `count` FAT32 volumes in GPT partitions, spread over four disks.
inline void AddVolumesWithoutAPath(sim::Machine& machine, int count) {
  for (uint32_t d = 0; d < 4; ++d) sim::AddAtaDrive(machine, d, "D", "", "", 0x6003, 0x4000);
  for (int i = 0; i < count; ++i) {
    sim::VolumeLayout v;
    char name[64];
    std::snprintf(name, sizeof name, "\\\\?\\Volume{0000fe00-0000-4000-8000-%012d}\\", i);
    v.letter = 0;
    v.volumeName = name;
    v.drive = static_cast<uint32_t>(i % 4);
    v.startSector = 2048 + 4096ull * static_cast<uint64_t>(i / 4);
    v.sectors = 2048;
    v.fileSystem = "FAT32";
    v.bootSector = sim::BuildFatBootSector({});
    v.table = sim::PartitionTable::Gpt;
    sim::PlaceVolume(machine, v);
  }
}

// `volumes` fixed volumes over `disks` disks: lettered volumes and volumes mounted in
// folders, every eighth spanned over two disks, and on every eighth disk an EFI system
// partition whose volume has no path.
inline void AddManyVolumes(sim::Machine& m, int volumes, uint32_t disks) {
  for (uint32_t d = 0; d < disks; ++d)
    sim::AddAtaDrive(m, d, "BENCH DISK " + std::to_string(d), "B" + std::to_string(d), "B1",
                     0x6003, 0x4000);
  for (int i = 0; i < volumes; ++i) {
    sim::VolumeLayout v;
    const uint32_t disk = static_cast<uint32_t>(i) % disks;
    const uint64_t start = 2048 + 1048576ull * static_cast<uint64_t>(i / disks);
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
    if (i % 8 == 7 && disks > 1)
      v.pieces = {{disk, start, 1048576}, {(disk + 1) % disks, start, 1048576}};
    sim::PlaceVolume(m, v);
  }
  for (uint32_t d = 0; d < disks; d += 8) {
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

// The lab on a Russian, a Polish, a Japanese, a Chinese and a Western Windows: its
// computer's name and the folder its SQL volume is mounted in, in that code page's bytes.
struct CodePageLab {
  uint32_t codePage;
  const char* computer;
  const char* folder;
};
inline const CodePageLab kCodePageLabs[] = {
    {1251, "\xD1\xC5\xD0\xC2\xC5\xD0", "C:\\\xC4\xE0\xED\xED\xFB\xE5\\"},  // СЕРВЕР, Данные
    {1250, "KRAK\xD3W", "C:\\Za\xBF\xF3\xB3\xE6\\"},                          // KRAKÓW, Zażółć
    {932, "\x83\x54\x81\x5B\x83\x6F", "C:\\\x83\x5C\x83\x74\x83\x67\\"},      // サーバ, ソフト
    {936, "\xCA\xFD\xBE\xDD", "C:\\\xCA\xFD\xBE\xDD\\"},                      // 数据, 数据
    {1252, "Z\xDCRICH", "C:\\Donn\xE9\x65s\\"},                                // ZÜRICH, Données
};

inline void BuildCodePageLab(sim::Machine& machine, const CodePageLab& lab) {
  sim::BuildLab(machine);
  machine.codePage = lab.codePage;
  machine.computerName = lab.computer;
  for (auto& [name, volume] : machine.unlettered)
    for (std::string& path : volume.mountPaths)
      if (path == "C:\\SQL\\Data\\") path = lab.folder;
}

// The machine of that name: "lab", "lab-standard", "lab-blocked" (an administrator whose
// writing opens of drives a policy refuses), "lab-cp<N>" for each code page above,
// "volumes-40" (volumes without a path), "volumes-64" (64 volumes over 8 disks), "empty"
// (no drive at all). False for a name it does not know.
inline bool BuildNamed(sim::Machine& machine, const std::string& name) {
  if (name == "lab" || name == "lab-standard" || name == "lab-blocked") {
    sim::BuildLab(machine);
    if (name == "lab-standard") machine.user = sim::User::Standard;
    machine.policyBlocksDriveWrites = name == "lab-blocked";
    return true;
  }
  if (name == "empty") return true;
  for (const CodePageLab& lab : kCodePageLabs)
    if (name == "lab-cp" + std::to_string(lab.codePage)) {
      BuildCodePageLab(machine, lab);
      return true;
    }
  if (name == "volumes-40") {
    AddVolumesWithoutAPath(machine, 40);
    return true;
  }
  if (name == "volumes-64") {
    AddManyVolumes(machine, 64, 8);
    return true;
  }
  return false;
}

}  // namespace test_machines
