#include "cli/option_checks.h"

#include <sys/stat.h>

#include <charconv>

#include "base/local_time.h"
#include "serial/com_port_map.h"
#include "serial/monitor_port_path.h"

namespace {

// A check whose refusal is "not " + strRule.
CLI::Validator Check(std::function<bool(const std::string&)> fnOk, const std::string& strRule,
                     const std::string& strDescription)
{
    return CLI::Validator(
        [fnOk, strRule](std::string& strValue) { return fnOk(strValue) ? std::string() : "not " + strRule; },
        strDescription, strRule);
}

}  // namespace

CLI::Validator RuleCheck(std::function<std::string(const std::string&)> fnRefusal, const std::string& strRule,
                         const std::string& strDescription)
{
    return CLI::Validator([fnRefusal](std::string& strValue) { return fnRefusal(strValue); }, strDescription,
                          strRule);
}

CLI::Validator WholeNumber(int64_t nMin, int64_t nMax)
{
    const std::string strRange = std::to_string(nMin) + " to " + std::to_string(nMax);
    return Check(
        [nMin, nMax](const std::string& strValue) {
            int64_t nValue = 0;
            const char* pEnd = strValue.data() + strValue.size();
            auto [p, ec] = std::from_chars(strValue.data(), pEnd, nValue);
            return !strValue.empty() && ec == std::errc() && p == pEnd && nValue >= nMin && nValue <= nMax;
        },
        "a whole number " + strRange, std::to_string(nMin) + "-" + std::to_string(nMax));
}

CLI::Validator OneOf(const std::vector<std::string>& words)
{
    std::string strList;
    for (size_t i = 0; i < words.size(); ++i)
        strList += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    std::string strDescription;
    for (const std::string& strWord : words)
        strDescription += (strDescription.empty() ? "" : "|") + strWord;
    return Check(
        [words](const std::string& strValue) {
            for (const std::string& strWord : words)
                if (strValue == strWord)
                    return true;
            return false;
        },
        strList, strDescription);
}

CLI::Validator ExistingFolder()
{
    return Check(
        [](const std::string& strValue) {
            struct stat info {};
            return stat(strValue.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        },
        "a folder that exists", "");
}

CLI::Validator ExistingFileOnly()
{
    return Check(
        [](const std::string& strValue) {
            struct stat info {};
            return stat(strValue.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
        },
        "a file that exists", "");
}

CLI::Validator ComPortName()
{
    return Check([](const std::string& strValue) { return CComPortMap::PortFromName(strValue) > 0; },
                 "a name COM1 to COM99", "COMn");
}

CLI::Validator MonitorPortName()
{
    return Check([](const std::string& strValue) { return CMonitorPortPath::IsValidName(strValue); },
                 "a name COM1 to COM99, a device path or usb:<bus>-<port path>", "PORT");
}

CLI::Validator LocalDateTime()
{
    return Check(
        [](const std::string& strValue) {
            LocalTimeRead time;
            return ReadLocalTime(strValue, time);
        },
        "a local date YYYY-MM-DD or date and time YYYY-MM-DD HH:MM[:SS]", "");
}
