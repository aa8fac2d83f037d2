#include "station/shift_plan.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

int64_t LocalMidnightMs(int64_t nMs, int nDays)
{
    const std::time_t t = static_cast<std::time_t>(nMs / 1000);
    std::tm parts {};
    localtime_r(&t, &parts);
    parts.tm_hour = parts.tm_min = parts.tm_sec = 0;
    parts.tm_mday += nDays;
    parts.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&parts)) * 1000;
}

namespace {

// The local time nMinutes after the midnight nDayMs (a day with a clock change has its own length).
int64_t AtMinutes(int64_t nDayMs, int nMinutes)
{
    const std::time_t t = static_cast<std::time_t>(nDayMs / 1000);
    std::tm parts {};
    localtime_r(&t, &parts);
    parts.tm_hour = nMinutes / 60;
    parts.tm_min = nMinutes % 60;
    parts.tm_sec = 0;
    parts.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&parts)) * 1000;
}

}  // namespace

bool CShiftPlan::Parse(const std::string& strText, std::string& strWhy)
{
    std::vector<int> starts;
    size_t nPos = 0;
    while (nPos <= strText.size() && !strText.empty()) {
        size_t nComma = strText.find(',', nPos);
        std::string strOne = strText.substr(nPos, nComma == std::string::npos ? std::string::npos : nComma - nPos);
        strOne.erase(0, strOne.find_first_not_of(' '));
        strOne.erase(strOne.find_last_not_of(' ') + 1);
        int nHour = -1, nMinute = -1;
        char cEnd = 0;
        if (std::sscanf(strOne.c_str(), "%2d:%2d%c", &nHour, &nMinute, &cEnd) != 2 || nHour < 0 || nHour > 23 ||
            nMinute < 0 || nMinute > 59 || strOne.size() != 5) {
            strWhy = "\"" + strOne + "\" is not a time of day HH:MM";
            return false;
        }
        const int nAt = nHour * 60 + nMinute;
        if (std::find(starts.begin(), starts.end(), nAt) != starts.end()) {
            strWhy = strOne + " is given twice";
            return false;
        }
        starts.push_back(nAt);
        if (nComma == std::string::npos)
            break;
        nPos = nComma + 1;
    }
    std::sort(starts.begin(), starts.end());
    m_starts = starts;
    return true;
}

TimeSpan CShiftPlan::ShiftAt(int64_t nMs) const
{
    const std::vector<int> starts = m_starts.empty() ? std::vector<int>{0} : m_starts;
    // Every start from the day before to the day after; the shift runs from the last one not
    // after nMs to the one after it.
    std::vector<int64_t> all;
    for (int nDay = -1; nDay <= 1; ++nDay) {
        const int64_t nDayMs = LocalMidnightMs(nMs, nDay);
        for (int nMinutes : starts)
            all.push_back(AtMinutes(nDayMs, nMinutes));
    }
    std::sort(all.begin(), all.end());
    TimeSpan span{all.front(), all.back()};
    for (size_t i = 0; i + 1 < all.size(); ++i)
        if (all[i] <= nMs && nMs < all[i + 1])
            span = {all[i], all[i + 1]};
    return span;
}

bool CShiftPlan::ShiftOfDay(int64_t nDayMs, size_t nShift, TimeSpan& span) const
{
    if (nShift < 1 || nShift > Count())
        return false;
    const int nMinutes = m_starts.empty() ? 0 : m_starts[nShift - 1];
    span = ShiftAt(AtMinutes(nDayMs, nMinutes));
    return true;
}
