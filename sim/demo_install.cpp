// The demo programs: the lab machine behind the door, chosen before the program starts.
// The one environment variable they read, TESSAREL_DEMO_USER, says who they play:
// "standard" a standard user, "blocked" an elevated administrator whose read-write opens
// of drives a security policy refuses; unset, the elevated administrator.
#include <cstdlib>
#include <cstring>

#include "platform/backend.h"
#include "sim/lab.h"

namespace {
struct LabInstaller {
  LabInstaller() {
    sim::BuildLab(lab);
    if (const char* user = std::getenv("TESSAREL_DEMO_USER")) {
      if (std::strcmp(user, "standard") == 0) lab.user = sim::User::Standard;
      if (std::strcmp(user, "blocked") == 0) lab.policyBlocksDriveWrites = true;
    }
    sys::Use(&lab);
  }
  sim::Machine lab;
} g_lab;
}  // namespace
