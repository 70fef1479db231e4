// Runs the whole scan on the installed machine, as both programs do.
#pragma once

#include <vector>

#include "inspect/scan.h"

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
