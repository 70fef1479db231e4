// The window tests: real windows under Wine, the simulated machine behind them.
#include <gtest/gtest.h>

#include "framework/app.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  AfxInitCommonControls();
  return RUN_ALL_TESTS();
}
