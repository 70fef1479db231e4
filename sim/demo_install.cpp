// Puts the lab machine behind sys:: before the program starts (demo build only).
#include "sim/lab.h"

namespace {
struct LabInstaller {
  LabInstaller() {
    sim::BuildLab(lab);
    sim::Install(&lab);
  }
  sim::Machine lab;
} g_lab;
}  // namespace
