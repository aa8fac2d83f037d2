#include "base/local_time.h"

#include <cstdio>
#include <ctime>

namespace {

// The number of nDigits digits at strText[nAt]; -1 when one of them is not a digit.
int DigitsAt(const std::string& strText, size_t nAt, size_t nDigits)
{
    if (nAt + nDigits > strText.size())
        return -1;
    int nValue = 0;
    for (size_t i = nAt; i < nAt + nDigits; ++i) {
        if (strText[i] < '0' || strText[i] > '9')
            return -1;
        nValue = nValue * 10 + (strText[i] - '0');
    }
    return nValue;
}

int DaysInMonth(int nYear, int nMonth)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bLeap = (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
    return nMonth == 2 && bLeap ? 29 : days[nMonth - 1];
}

// mktime of local parts; the day may run one past the month's end (mktime carries it over).
int64_t LocalMs(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond)
{
    std::tm parts {};
    parts.tm_year = nYear - 1900;
    parts.tm_mon = nMonth - 1;
    parts.tm_mday = nDay;
    parts.tm_hour = nHour;
    parts.tm_min = nMinute;
    parts.tm_sec = nSecond;
    parts.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&parts)) * 1000;
}

}  // namespace

bool ReadLocalTime(const std::string& strText, LocalTimeRead& time)
{
    // YYYY-MM-DD, then optionally [ T]HH:MM, then optionally :SS.
    const size_t nSize = strText.size();
    if (nSize != 10 && nSize != 16 && nSize != 19)
        return false;
    const int nYear = DigitsAt(strText, 0, 4);
    const int nMonth = DigitsAt(strText, 5, 2);
    const int nDay = DigitsAt(strText, 8, 2);
    if (strText[4] != '-' || strText[7] != '-' || nYear < 1970 || nMonth < 1 || nMonth > 12 || nDay < 1 ||
        nDay > DaysInMonth(nYear, nMonth))
        return false;
    int nHour = 0, nMinute = 0, nSecond = 0;
    if (nSize > 10) {
        nHour = DigitsAt(strText, 11, 2);
        nMinute = DigitsAt(strText, 14, 2);
        if ((strText[10] != ' ' && strText[10] != 'T') || strText[13] != ':' || nHour < 0 || nHour > 23 ||
            nMinute < 0 || nMinute > 59)
            return false;
    }
    if (nSize == 19) {
        nSecond = DigitsAt(strText, 17, 2);
        if (strText[16] != ':' || nSecond < 0 || nSecond > 59)
            return false;
    }
    time.nMs = LocalMs(nYear, nMonth, nDay, nHour, nMinute, nSecond);
    time.bDateOnly = nSize == 10;
    time.nNextDayMs = time.bDateOnly ? LocalMs(nYear, nMonth, nDay + 1, 0, 0, 0) : time.nMs;
    return true;
}

std::string LocalTimeText(int64_t nMs)
{
    const std::time_t t = static_cast<std::time_t>(nMs / 1000);
    std::tm parts {};
    localtime_r(&t, &parts);
    char szTime[32];
    std::strftime(szTime, sizeof szTime, "%Y-%m-%d %H:%M:%S", &parts);
    const int nOffsetMin = static_cast<int>(parts.tm_gmtoff / 60);
    const int nAbs = nOffsetMin < 0 ? -nOffsetMin : nOffsetMin;
    char szText[80];
    std::snprintf(szText, sizeof szText, "%s %c%02d:%02d", szTime, nOffsetMin < 0 ? '-' : '+', nAbs / 60, nAbs % 60);
    return szText;
}
