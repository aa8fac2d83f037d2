#include "station/net_option_rules.h"

#include <arpa/inet.h>

#include <charconv>
#include <limits>

namespace {

bool ParseWholeNumber(const std::string& strText, int& nValue)
{
    const char* pEnd = strText.data() + strText.size();
    auto [p, ec] = std::from_chars(strText.data(), pEnd, nValue);
    return !strText.empty() && ec == std::errc() && p == pEnd;
}

}  // namespace

std::string CheckIpv4(const std::string& strValue)
{
    in_addr address {};
    return inet_pton(AF_INET, strValue.c_str(), &address) == 1 ? std::string() : "not a dotted IPv4 address";
}

std::string CheckBindTarget(const std::string& strValue)
{
    if (strValue.empty())
        return {};  // all interfaces
    if (strValue.find('.') != std::string::npos)
        return CheckIpv4(strValue);
    // The kernel's rule for interface names: at most 15 characters, no slash, colon or blank.
    bool bName = strValue.size() <= 15 && strValue.find_first_of("/: \t\n") == std::string::npos;
    return bName ? std::string() : "neither an interface name nor a dotted IPv4 address";
}

const std::vector<NetOptionRule>& NetOptionRules()
{
    constexpr int nMax = std::numeric_limits<int>::max();
    static const std::vector<NetOptionRule> rules = {
        {"--board-ip", "IPv4 address of the board's boot loader", nullptr, &StationSettings::strBoardIp, 0, 0, CheckIpv4},
        {"--board-port", "UDP port of the board", &StationSettings::nBoardPort, nullptr, 1, 65535, {}},
        {"--local-port", "Local UDP port (0: any free port)", &StationSettings::nLocalPort, nullptr, 0, 65535, {}},
        {"--settle-ms", "Pause before the first frame", &StationSettings::nSettleMs, nullptr, 0, nMax, {}},
        {"--reply-timeout-ms", "Time limit of a data frame's reply", &StationSettings::nReplyTimeoutMs, nullptr, 1,
         nMax, {}},
        {"--store-timeout-ms", "Time limit of a store command's reply", &StationSettings::nStoreTimeoutMs, nullptr, 1,
         nMax, {}},
        {"--tries", "Sends of a frame before the file fails", &StationSettings::nTries, nullptr, 1, nMax, {}},
        {"--console-timeout-s", "After a bring-up that broke off: how long the console waits for a board that comes up by itself",
         &StationSettings::nConsoleTimeoutS, nullptr, 1, 24 * 3600, {}},
        {"--monitor-wait-s", "With a monitor port: how long a bring-up waits for the boot monitor's USB port to appear",
         &StationSettings::nMonitorWaitS, nullptr, 1, 3600, {}},
        {"--bind", "Send from this interface (name) or local IPv4 address; default: any", nullptr,
         &StationSettings::strBind, 0, 0, CheckBindTarget},
    };
    return rules;
}

std::string CheckNetValue(const NetOptionRule& rule, const std::string& strValue, int& nValue)
{
    if (!rule.pnValue)
        return rule.fnCheck ? rule.fnCheck(strValue) : std::string();
    if (!ParseWholeNumber(strValue, nValue))
        return "not a whole number";
    if (nValue < rule.nMin || nValue > rule.nMax)
        return "Value " + strValue + " not in range " + std::to_string(rule.nMin) + " to " + std::to_string(rule.nMax);
    return {};
}
