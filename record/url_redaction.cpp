#include "record/url_redaction.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

constexpr const char* kHidden = "***";

// Where the passwords of strUrl stand: [first, last) ranges, in order.
std::vector<std::pair<size_t, size_t>> SecretRanges(const std::string& strUrl)
{
    std::vector<std::pair<size_t, size_t>> ranges;
    const size_t nScheme = strUrl.find("://");
    if (nScheme == std::string::npos)
        return ranges;
    const size_t nStart = nScheme + 3;
    const size_t nQuery = std::min(strUrl.find('?', nStart), strUrl.size());
    // The user part ends at the last '@' before the query: a password may hold '/', ':' or '@'.
    const size_t nAt = strUrl.rfind('@', nQuery == 0 ? 0 : nQuery - 1);
    if (nAt != std::string::npos && nAt >= nStart) {
        const size_t nColon = strUrl.find(':', nStart);
        if (nColon < nAt)
            ranges.emplace_back(nColon + 1, nAt);
    }
    for (size_t nAt2 = nQuery; nAt2 < strUrl.size();) {
        const size_t nEnd = std::min(strUrl.find('&', nAt2 + 1), strUrl.size());
        const size_t nEq = strUrl.find('=', nAt2 + 1);
        if (nEq < nEnd) {
            std::string strKey = strUrl.substr(nAt2 + 1, nEq - nAt2 - 1);
            for (char& c : strKey)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (strKey == "password")
                ranges.emplace_back(nEq + 1, nEnd);
        }
        nAt2 = nEnd;
    }
    return ranges;
}

std::string PercentDecoded(const std::string& strText)
{
    std::string strOut;
    for (size_t i = 0; i < strText.size(); ++i) {
        if (strText[i] == '%' && i + 2 < strText.size() && std::isxdigit(static_cast<unsigned char>(strText[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(strText[i + 2]))) {
            strOut += static_cast<char>(std::strtol(strText.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            strOut += strText[i];
        }
    }
    return strOut;
}

void ReplaceAll(std::string& strText, const std::string& strSecret)
{
    if (strSecret.empty())
        return;
    for (size_t nAt = strText.find(strSecret); nAt != std::string::npos;
         nAt = strText.find(strSecret, nAt + std::char_traits<char>::length(kHidden)))
        strText.replace(nAt, strSecret.size(), kHidden);
}

}  // namespace

std::string RedactedUrl(const std::string& strUrl)
{
    std::string strOut = strUrl;
    const auto ranges = SecretRanges(strUrl);
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it)  // from the back: earlier offsets stay valid
        strOut.replace(it->first, it->second - it->first, kHidden);
    return strOut;
}

std::string WithoutSecrets(const std::string& strText, const std::string& strUrl)
{
    std::string strOut = strText;
    for (const auto& [nFirst, nLast] : SecretRanges(strUrl)) {
        const std::string strSecret = strUrl.substr(nFirst, nLast - nFirst);
        ReplaceAll(strOut, strSecret);
        const std::string strDecoded = PercentDecoded(strSecret);
        ReplaceAll(strOut, strDecoded);
        // libpq may cut a URL it cannot read at these and quote a piece (as a host or a port).
        for (size_t nFirst = 0, nEnd; nFirst < strDecoded.size(); nFirst = nEnd + 1) {
            nEnd = std::min(strDecoded.find_first_of("/:@?&=", nFirst), strDecoded.size());
            ReplaceAll(strOut, strDecoded.substr(nFirst, nEnd - nFirst));
        }
    }
    return strOut;
}
