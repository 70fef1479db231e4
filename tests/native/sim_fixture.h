// A fresh simulated machine and drive table for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inspect/drive_info.h"
#include "units_print.h"
#include "sim/builders.h"
#include "sim/machine.h"

class SimTest : public ::testing::Test {
 protected:
  SimTest() {
    g_drives.Clear();
  }

  std::vector<std::string> OpenedPaths() const {
    std::vector<std::string> paths;
    for (const sim::Call& c : machine.Calls("CreateFileA")) paths.push_back(c.path);
    return paths;
  }

  // Every handle closed and every buffer freed.
  void ExpectNothingLeft() const {
    EXPECT_EQ(machine.OpenHandles(), 0);
    EXPECT_EQ(machine.OpenBuffers(), 0);
  }

  sim::Machine machine;
  sim::Installation installed{machine};
};

// Runs `scenario` once cleanly to count its calls, then once more per call with that
// call failing, checking after each run that nothing was left open. Releases are not
// failed: a close that fails cannot leave anything to release.
template <typename Setup, typename Scenario, typename Check>
void FailEachCallInTurn(Setup setup, Scenario scenario, Check check) {
  size_t calls = 0;
  std::vector<std::string> ops;
  {
    sim::Machine m;
    sim::Installation in(m);
    setup(m);
    scenario();
    calls = m.Log().size();
    for (const sim::Call& c : m.Log()) ops.push_back(c.op);
  }
  ASSERT_GT(calls, 0u);
  for (size_t k = 0; k < calls; ++k) {
    if (ops[k] == "CloseHandle" || ops[k] == "VirtualFree") continue;
    sim::Machine m;
    sim::Installation in(m);
    setup(m);
    m.failCall = static_cast<long>(k);
    scenario();
    SCOPED_TRACE("call " + std::to_string(k) + " (" + ops[k] + ") failed");
    EXPECT_EQ(m.OpenHandles(), 0);
    EXPECT_EQ(m.OpenBuffers(), 0);
    check(m);
  }
}
