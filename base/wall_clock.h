#pragma once
#include <cstdint>
#include <string>

// The wall clock: the one place that reads the time of day. Pauses and time limits use IClock
// (base/clock.h) instead; this is for what a record or a log keeps.

// Milliseconds since the epoch now.
int64_t WallNowMs();
// Milliseconds since the epoch of today's local midnight.
int64_t TodayStartMs();
// The current wall-clock time as ISO-8601 UTC with milliseconds ("2026-03-01T08:15:30.042Z").
std::string IsoTimeNow();
// Milliseconds since the epoch of an ISO-8601 UTC time as IsoTimeNow writes it; 0 when unreadable.
int64_t IsoTimeMs(const std::string& strIso);
