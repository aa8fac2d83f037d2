#include "base/duration_text.h"

#include <cstdio>

std::string DurationText(int64_t nSeconds, int nMinuteDigits)
{
    char szText[32];
    const long long n = nSeconds;
    if (n >= 3600)
        std::snprintf(szText, sizeof szText, "%lld:%02lld:%02lld", n / 3600, n / 60 % 60, n % 60);
    else
        std::snprintf(szText, sizeof szText, "%0*lld:%02lld", nMinuteDigits, n / 60, n % 60);
    return szText;
}
