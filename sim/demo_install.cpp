// The demo programs: the lab machine behind the door, chosen before the program starts.
#include "platform/backend.h"
#include "sim/lab.h"

namespace {
struct LabInstaller {
  LabInstaller() {
    sim::BuildLab(lab);
    sys::Use(&lab);
  }
  sim::Machine lab;
} g_lab;
}  // namespace
