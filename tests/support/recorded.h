// Outputs compared with the bytes on record beside the console's (tests/expected).
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

// `text` is the file on record at tests/expected/`name` (TESSAREL_WRITE_EXPECTED=1 writes
// it instead, as make expected does).
inline void ExpectRecorded(const std::string& text, const std::string& name) {
  const std::string path = std::string(SOURCE_DIR) + "/tests/expected/" + name;
  if (std::getenv("TESSAREL_WRITE_EXPECTED") != nullptr) {
    std::ofstream(path, std::ios::binary) << text;
    return;
  }
  std::ostringstream recorded;
  recorded << std::ifstream(path, std::ios::binary).rdbuf();
  EXPECT_EQ(text, recorded.str()) << "differs from " << path;
}
