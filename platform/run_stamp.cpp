#include "platform/run_stamp.h"

#include <cstdio>

#include "platform/sys.h"

#ifdef _WIN32
#include <ntsecapi.h>  // RtlGenRandom: advapi32's SystemFunction036, from Windows XP on
#else
#include <random>
#endif

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

// The system's random bytes; false where it gives none.
bool RandomBytes(uint8_t (&bytes)[16]) {
#ifdef _WIN32
  return RtlGenRandom(bytes, sizeof bytes) != FALSE;
#else
  std::random_device device;  // /dev/urandom
  for (size_t i = 0; i < sizeof bytes; i += 4) {
    const uint32_t word = device();
    for (size_t b = 0; b < 4; ++b) bytes[i + b] = static_cast<uint8_t>(word >> (8 * b));
  }
  return true;
#endif
}

}  // namespace

std::string UuidText(const uint8_t (&random)[16]) {
  uint8_t b[16];
  for (size_t i = 0; i < 16; ++i) b[i] = random[i];
  b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4 (RFC 9562, 5.4)
  b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // the variant of RFC 9562
  char text[37];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

int64_t UnixSeconds(uint64_t fileTime) {
  return static_cast<int64_t>(fileTime / kTicksPerSecond) - kSecondsFrom1601To1970;
}

std::string IsoTime(uint64_t fileTime) {
  const int64_t seconds = static_cast<int64_t>(fileTime / kTicksPerSecond);
  // Days since 1601-01-01 as a civil date (the proleptic Gregorian calendar); 1601 begins a
  // 400-year cycle, so the cycles count from it directly.
  int64_t days = seconds / 86400;
  const int64_t secondOfDay = seconds % 86400;
  const int64_t cycles = days / 146097;
  days %= 146097;
  int64_t year = 1601 + 400 * cycles;
  // Within a cycle: centuries of 36524 days (the fourth may reach 36525), then four-year
  // runs of 1461, then years of 365 (the fourth may reach 366).
  int64_t centuries = days / 36524;
  if (centuries == 4) centuries = 3;
  days -= centuries * 36524;
  const int64_t fours = days / 1461;
  days -= fours * 1461;
  int64_t years = days / 365;
  if (years == 4) years = 3;
  days -= years * 365;
  year += 100 * centuries + 4 * fours + years;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int month = 0;
  while (month < 11) {
    const int length = kMonthDays[month] + (month == 1 && leap ? 1 : 0);
    if (days < length) break;
    days -= length;
    ++month;
  }
  char text[128];  // room for any long long the compiler cannot bound
  std::snprintf(text, sizeof text, "%04lld-%02d-%02lldT%02lld:%02lld:%02lldZ",
                static_cast<long long>(year), month + 1, static_cast<long long>(days + 1),
                static_cast<long long>(secondOfDay / 3600),
                static_cast<long long>(secondOfDay / 60 % 60),
                static_cast<long long>(secondOfDay % 60));
  return text;
}

RunStamp StampRun() {
  RunStamp stamp;
  FILETIME time{};
  sys::GetSystemTimeAsFileTime(&time);
  stamp.fileTime = uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
  uint8_t random[16] = {};
  // Without the system's random source, the time alone tells runs apart.
  if (!RandomBytes(random))
    for (size_t i = 0; i < 8; ++i) random[i] = static_cast<uint8_t>(stamp.fileTime >> (8 * i));
  stamp.runId = UuidText(random);
  return stamp;
}
