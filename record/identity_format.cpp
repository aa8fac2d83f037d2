#include "record/identity_format.h"

#include <cctype>
#include <cstdio>

#include "base/gbk_text.h"

namespace {

constexpr uint64_t MAC_BROADCAST = 0xFFFFFFFFFFFFull;
constexpr const char* MAC_REFUSED = "请输入正确的macid  \r\n";

bool IsHex(const std::string& strText)
{
    for (char c : strText)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return !strText.empty();
}

// One address's problem in words, empty when it is a usable unicast address.
std::string MacProblem(uint64_t nMac)
{
    if (nMac == 0)
        return "is all zeros";
    if (nMac == MAC_BROADCAST)
        return "is the broadcast address";
    if ((nMac >> 40) & 1)
        return "is a multicast address (the lowest bit of its first byte is set)";
    return {};
}

std::string Upper(std::string strText)
{
    for (char& c : strText)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return strText;
}

}  // namespace

bool ParseMac(const std::string& strText, uint64_t& nMac)
{
    std::string strHex;
    for (char c : strText)
        if (c != ':' && c != '-')
            strHex += c;
    if (strHex.size() != 12 || !IsHex(strHex))
        return false;
    nMac = std::stoull(strHex, nullptr, 16);
    return true;
}

std::string MacText(uint64_t nMac)
{
    char szText[16];
    std::snprintf(szText, sizeof szText, "%012llX", static_cast<unsigned long long>(nMac & MAC_BROADCAST));
    return szText;
}

std::string MacPairText(uint64_t nFirst) { return "^" + MacText(nFirst) + "^" + MacText(nFirst + 1); }

bool CheckIdentityFormat(const JobIdentity& identity, IdentityValues& values, std::string& strWhy)
{
    strWhy.clear();
    const std::string& strMac = identity.strMac;
    const std::string strForm = "->MAC ID的格式为 ^XXXXXXXXXXXX^XXXXXXXXXXXX（两个12位十六进制地址）。\r\n";
    if (strMac.size() != 26 || strMac[0] != '^' || strMac[13] != '^' || !IsHex(strMac.substr(1, 12)) ||
        !IsHex(strMac.substr(14, 12))) {
        strWhy = std::string(MAC_REFUSED) + strForm;
        return false;
    }
    values.strMac1 = Upper(strMac.substr(1, 12));
    values.strMac2 = Upper(strMac.substr(14, 12));
    for (const std::string& strOne : {values.strMac1, values.strMac2}) {
        uint64_t nMac = 0;
        ParseMac(strOne, nMac);
        std::string strProblem = MacProblem(nMac);
        if (!strProblem.empty()) {
            strWhy = std::string(MAC_REFUSED) + "->MAC " + strOne + " " + strProblem + "; each address must be unicast.\r\n";
            return false;
        }
    }
    if (values.strMac1 == values.strMac2) {
        strWhy = std::string(MAC_REFUSED) + "->The two MAC addresses are the same.\r\n";
        return false;
    }
    std::string strFactoryGbk;
    std::string strRegGbk;
    bool bFactoryOk = Utf8ToGbk(identity.strFactory, strFactoryGbk);
    bool bRegOk = Utf8ToGbk(identity.strReg, strRegGbk);
    if (!bFactoryOk || strFactoryGbk.empty() || strFactoryGbk.size() > 8)
        strWhy += "->出厂编号必须为1到8个字节（例如 20260001）。\r\n";
    if (!bRegOk || strRegGbk.empty() || strRegGbk.size() > 8)
        strWhy += "->注册编号必须为1到8个字节（例如 5A3C0001）。\r\n";
    values.strFactory = identity.strFactory;
    values.strReg = identity.strReg;
    return strWhy.empty();
}
