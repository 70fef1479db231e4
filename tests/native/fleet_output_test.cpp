// What the fleet outputs are made of: the time as ISO 8601, the run id, the metrics'
// escapes, and the metrics file that replaces the one there before or leaves it whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "app/metrics_file.h"
#include "platform/run_stamp.h"
#include "report/report_metrics.h"

namespace {

constexpr uint64_t kTicks = 10000000;
constexpr uint64_t kUnixEpoch = 116444736000000000;

TEST(RunStampTest, TimesReadAsTheirCalendarDates) {
  const struct {
    uint64_t fileTime;
    const char* iso;
    int64_t unix;
  } cases[] = {
      {0, "1601-01-01T00:00:00Z", -11644473600},
      {kTicks - 1, "1601-01-01T00:00:00Z", -11644473600},  // a second's fraction is cut
      {kUnixEpoch, "1970-01-01T00:00:00Z", 0},
      {kUnixEpoch + 951868799 * kTicks, "2000-02-29T23:59:59Z", 951868799},  // 400-year leap
      {kUnixEpoch + 4107542400 * kTicks, "2100-03-01T00:00:00Z", 4107542400},  // no 2100-02-29
      {kUnixEpoch + 1798761599 * kTicks, "2026-12-31T23:59:59Z", 1798761599},
      {kUnixEpoch + 1772443800 * kTicks, "2026-03-02T09:30:00Z", 1772443800},
      {kUnixEpoch + 13569465600 * kTicks, "2400-01-01T00:00:00Z", 13569465600},  // a cycle's end
      {UINT64_MAX, "60056-05-28T05:36:10Z", 1833029933770},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iso);
    EXPECT_EQ(IsoTime(c.fileTime), c.iso);
    EXPECT_EQ(UnixSeconds(c.fileTime), c.unix);
  }
}

#ifndef _WIN32
// Every second from 1970 to 2400 as the C library's calendar reads it.
TEST(RunStampTest, IsoTimeAgreesWithTheCLibrary) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 100000; ++i) {
    const std::time_t seconds = static_cast<std::time_t>(random() % 13569465600);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char want[32];
    std::strftime(want, sizeof want, "%Y-%m-%dT%H:%M:%SZ", &utc);
    ASSERT_EQ(IsoTime(kUnixEpoch + static_cast<uint64_t>(seconds) * kTicks), want) << seconds;
  }
}
#endif

TEST(RunStampTest, RunIdsAreVersion4UuidsAndDiffer) {
  const uint8_t zeros[16] = {}, ones[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(UuidText(zeros), "00000000-0000-4000-8000-000000000000");
  EXPECT_EQ(UuidText(ones), "ffffffff-ffff-4fff-bfff-ffffffffffff");
  EXPECT_NE(StampRun().runId, StampRun().runId);
}

TEST(MetricsTest, LabelValuesEscapeBackslashQuoteAndLineFeed) {
  const struct {
    const char* value;
    const char* written;
  } cases[] = {
      {"C:\\SQL\\Data\\", "C:\\\\SQL\\\\Data\\\\"},
      {"say \"hi\"", "say \\\"hi\\\""},
      {"two\nlines", "two\\nlines"},
      {"\xC3\x9C", "\xC3\x9C"},                  // UTF-8 as it is
      {"cr\r tab\t", "cr\xEF\xBF\xBD tab\xEF\xBF\xBD"},  // other controls as U+FFFD
  };
  for (const auto& c : cases) EXPECT_EQ(report::LabelValue(c.value), c.written) << c.value;
}

std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(MetricsFileTest, ReplacesTheFileOrLeavesItWhole) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("tessarel-metrics-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "tessarel.prom").string();
  std::ofstream(file) << "before\n";
  std::string why;
  ASSERT_TRUE(WriteReplacing(file, "after\n", &why)) << why;
  EXPECT_EQ(Read(file), "after\n");
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));

  // A .tmp that cannot be made (a folder there), and a folder that is not there.
  std::filesystem::create_directory(file + ".tmp");
  EXPECT_FALSE(WriteReplacing(file, "lost\n", &why));
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(Read(file), "after\n");
  EXPECT_FALSE(WriteReplacing((folder / "none" / "x.prom").string(), "lost\n", &why));
  std::filesystem::remove_all(folder);
}

}  // namespace
