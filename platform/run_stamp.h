// When a run happened and which run it was, for the records and metrics other machines
// gather: the time Windows gives through the door, and an id no other run has.
#pragma once

#include <cstdint>
#include <string>

struct RunStamp {
  uint64_t fileTime = 0;  // 100-nanosecond intervals since 1601-01-01 UTC
  std::string runId;      // a random UUID (version 4), lowercase
};

// Asks the time and draws the id. The id comes from the system's random source, never
// through the door: a replayed trace is another run.
RunStamp StampRun();

// "2026-03-02T09:30:00Z": UTC, to the second, as ISO 8601 and Azure's TimeGenerated take it.
std::string IsoTime(uint64_t fileTime);
// Seconds since 1970-01-01 UTC; negative before it.
int64_t UnixSeconds(uint64_t fileTime);
// A version 4 UUID's text from 16 random bytes.
std::string UuidText(const uint8_t (&random)[16]);
