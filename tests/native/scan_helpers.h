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
#include "test_machines.h"

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

using test_machines::AddVolumesWithoutAPath;
