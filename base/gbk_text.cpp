#include "base/gbk_text.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace {

// One conversion; bLenient replaces what cannot be converted by '?' instead of failing.
bool Convert(const char* szTo, const char* szFrom, const std::string& strIn, std::string& strOut, bool bLenient)
{
    iconv_t cd = iconv_open(szTo, szFrom);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::vector<char> out(strIn.size() * 4 + 16);
    char* pIn = const_cast<char*>(strIn.data());
    size_t nInLeft = strIn.size();
    char* pOut = out.data();
    size_t nOutLeft = out.size();
    bool bOk = true;
    while (nInLeft > 0) {
        if (iconv(cd, &pIn, &nInLeft, &pOut, &nOutLeft) != static_cast<size_t>(-1))
            continue;
        if (!bLenient || errno == E2BIG || nOutLeft == 0) {
            bOk = false;
            break;
        }
        *pOut++ = '?';
        --nOutLeft;
        ++pIn;
        --nInLeft;
    }
    iconv_close(cd);
    if (bOk)
        strOut.assign(out.data(), static_cast<size_t>(pOut - out.data()));
    return bOk;
}

}  // namespace

bool Utf8ToGbk(const std::string& strUtf8, std::string& strGbk)
{
    return Convert("GBK", "UTF-8", strUtf8, strGbk, false);
}

std::string GbkToUtf8(const std::string& strGbk)
{
    std::string strOut;
    Convert("UTF-8", "GBK", strGbk, strOut, true);
    return strOut;
}
