// A request the simulated machine does not model fails the test that sent it, naming it:
// the machine's refusal is believable enough to pass for Windows', so a new request would
// otherwise ship with no answer written for it and its tests green.
#include <gtest/gtest.h>

#include "sim/machine.h"

namespace {

void FailTheTest(const std::vector<std::string>& requests) {
  std::string named;
  for (const std::string& request : requests) named += "\n  " + request;
  ADD_FAILURE() << "the simulated machine models no answer to:" << named;
}

const bool g_hooked = (sim::Installation::onUnmodelled = &FailTheTest, true);

}  // namespace
