#pragma once
#include <cstdint>
#include <string>

// Local times as a person types and reads them, in the process's time zone (TZ). The record keeps
// UTC (IsoTimeMs in wall_clock.h reads it); these are for the command line.

// What ReadLocalTime read.
struct LocalTimeRead {
    int64_t nMs = 0;          // milliseconds since the epoch
    bool bDateOnly = false;   // a date without a time: nMs is its midnight
    int64_t nNextDayMs = 0;   // a date alone: the following midnight (the end of that day)
};

// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" (a 'T' may stand for the blank)
// strictly: every digit in place, a day the calendar has, hours 0-23, minutes and seconds 0-59,
// nothing before or after. False when the text is not such a time.
bool ReadLocalTime(const std::string& strText, LocalTimeRead& time);

// A time as local time with its offset from UTC: "2026-12-09 18:01:02 +08:00".
std::string LocalTimeText(int64_t nMs);
