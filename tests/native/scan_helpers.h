// Runs the whole scan on the installed machine, as both programs do, and tells the device
// work each step did.
#pragma once

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "inspect/scan.h"
#include "sim/builders.h"
#include "sim/machine.h"

struct ScanRun {
  std::vector<ScanRow> rows;
  int steps = 0;
  int mostRowsInOneStep = 0;
};

inline ScanRun RunWholeScan(int stepLimit = 100) {
  ScanRun run;
  CScan scan;
  while (!scan.Finished() && run.steps < stepLimit) {
    ++run.steps;
    if (auto row = scan.Step()) run.rows.push_back(std::move(*row));
  }
  return run;
}

// The devices the calls from `from` on opened: volumes (by letter or by volume name) and
// physical drives. One unit of device work is one volume, with the drives its probe
// identifies and searches; or, without a volume, one drive.
struct StepWork {
  std::set<std::string> volumes, drives;
  bool OneUnitAtMost() const { return volumes.size() + (volumes.empty() ? drives.size() : 0) <= 1; }
};

inline StepWork WorkSince(const std::vector<sim::Call>& log, size_t from) {
  StepWork work;
  for (size_t i = from; i < log.size(); ++i) {
    const std::string& path = log[i].path;
    if (log[i].op != "CreateFileA") continue;
    if (path.find("PhysicalDrive") != std::string::npos)
      work.drives.insert(path);
    else
      work.volumes.insert(path);
  }
  return work;
}

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
