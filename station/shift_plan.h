#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A span of wall-clock time, [nStartMs, nEndMs) in milliseconds since the epoch.
struct TimeSpan {
    int64_t nStartMs = 0;
    int64_t nEndMs = 0;
};

// The line's shifts: the local times of day at which one shift ends and the next begins
// ([line] shifts=08:00,20:00). Without any, the day from local midnight is the one shift.
class CShiftPlan {
public:
    // Reads "HH:MM,HH:MM,..."; false, with strWhy, for a time that is none or given twice.
    bool Parse(const std::string& strText, std::string& strWhy);
    size_t Count() const { return m_starts.empty() ? 1 : m_starts.size(); }

    // The shift that holds nMs.
    TimeSpan ShiftAt(int64_t nMs) const;
    // The nShift-th shift (from 1) that starts on the local day whose midnight is nDayMs; false
    // when there is no such shift.
    bool ShiftOfDay(int64_t nDayMs, size_t nShift, TimeSpan& span) const;

private:
    std::vector<int> m_starts;   // minutes after midnight, ascending
};

// The local midnight of the day that holds nMs, and of the day nDays after it.
int64_t LocalMidnightMs(int64_t nMs, int nDays = 0);
