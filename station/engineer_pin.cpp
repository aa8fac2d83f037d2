#include "station/engineer_pin.h"

#include <sys/random.h>

#include <cstdint>
#include <vector>

#include "net/sha256.h"

namespace {

constexpr const char* PREFIX = "sha256:";
constexpr size_t PREFIX_SIZE = 7;

bool IsHex(const std::string& str)
{
    return !str.empty() && str.size() % 2 == 0 && str.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::vector<uint8_t> FromHex(const std::string& strHex)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < strHex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(strHex.substr(i, 2), nullptr, 16)));
    return bytes;
}

}  // namespace

bool IsPinHashText(const std::string& strText)
{
    if (strText.compare(0, PREFIX_SIZE, PREFIX) != 0)
        return false;
    const size_t nColon = strText.find(':', PREFIX_SIZE);
    if (nColon == std::string::npos)
        return false;
    const std::string strSalt = strText.substr(PREFIX_SIZE, nColon - PREFIX_SIZE);
    const std::string strDigest = strText.substr(nColon + 1);
    return IsHex(strSalt) && strSalt.size() <= 128 && IsHex(strDigest) && strDigest.size() == 64;
}

std::string PinHashText(const std::string& strPin, const std::string& strSaltHex)
{
    if (!IsHex(strSaltHex))
        return {};
    std::vector<uint8_t> data = FromHex(strSaltHex);
    data.insert(data.end(), strPin.begin(), strPin.end());
    const std::string strDigest = Sha256Hex(data.data(), data.size());
    return strDigest.empty() ? std::string() : PREFIX + strSaltHex + ":" + strDigest;
}

std::string NewPinHashText(const std::string& strPin)
{
    uint8_t salt[16];
    if (getrandom(salt, sizeof salt, 0) != static_cast<ssize_t>(sizeof salt))
        return {};
    static const char kHex[] = "0123456789abcdef";
    std::string strSalt;
    for (uint8_t c : salt) {
        strSalt += kHex[c >> 4];
        strSalt += kHex[c & 0xF];
    }
    return PinHashText(strPin, strSalt);
}

bool PinMatches(const std::string& strHashText, const std::string& strPin)
{
    if (!IsPinHashText(strHashText))
        return false;
    const size_t nColon = strHashText.find(':', PREFIX_SIZE);
    const std::string strGot = PinHashText(strPin, strHashText.substr(PREFIX_SIZE, nColon - PREFIX_SIZE));
    if (strGot.size() != strHashText.size())
        return false;
    unsigned char cDiff = 0;
    for (size_t i = 0; i < strGot.size(); ++i)
        cDiff |= static_cast<unsigned char>(strGot[i] ^ strHashText[i]);
    return cDiff == 0;
}
