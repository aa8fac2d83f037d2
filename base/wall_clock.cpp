#include "base/wall_clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

int64_t WallNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int64_t TodayStartMs()
{
    const std::time_t now = static_cast<std::time_t>(WallNowMs() / 1000);
    std::tm parts {};
    localtime_r(&now, &parts);
    parts.tm_hour = parts.tm_min = parts.tm_sec = 0;
    parts.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&parts)) * 1000;
}

std::string IsoTimeNow()
{
    const int64_t nNowMs = WallNowMs();
    const std::time_t t = static_cast<std::time_t>(nNowMs / 1000);
    std::tm parts {};
    gmtime_r(&t, &parts);
    char szText[40];
    std::strftime(szText, sizeof szText, "%Y-%m-%dT%H:%M:%S", &parts);
    char szFull[48];
    std::snprintf(szFull, sizeof szFull, "%s.%03dZ", szText, static_cast<int>(nNowMs % 1000));
    return szFull;
}

int64_t IsoTimeMs(const std::string& strIso)
{
    std::tm parts {};
    int nMs = 0;
    if (std::sscanf(strIso.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                    &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &nMs) < 6)
        return 0;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    return static_cast<int64_t>(timegm(&parts)) * 1000 + nMs;
}
