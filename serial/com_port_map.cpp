#include "serial/com_port_map.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct RuleFamily {
    const char* szPrefix;
    int nFirstPort;
    int nCount;
};

// The automatic numbering; see the class comment. The ranges do not overlap and end at 99.
constexpr RuleFamily RULE_FAMILIES[] = {
    {"ttyS", 1, 20},
    {"ttyUSB", 21, 40},
    {"ttyACM", 61, 39},
};

// The index n of a name "<prefix><n>" written without leading zeros; -1 if it isn't one.
int RuleIndex(const std::string& strName, const std::string& strPrefix)
{
    if (strName.size() <= strPrefix.size() || strName.compare(0, strPrefix.size(), strPrefix) != 0)
        return -1;
    const std::string strDigits = strName.substr(strPrefix.size());
    if (strDigits.size() > 3 || (strDigits.size() > 1 && strDigits[0] == '0'))
        return -1;
    int n = 0;
    for (char c : strDigits) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

// The rule's port number for a device name; 0 when the rule gives it none.
int RulePortForName(const std::string& strName)
{
    for (const RuleFamily& family : RULE_FAMILIES) {
        int n = RuleIndex(strName, family.szPrefix);
        if (n >= 0)
            return n < family.nCount ? family.nFirstPort + n : 0;
    }
    return 0;
}

std::string Canonical(const std::string& strPath)
{
    std::error_code ec;
    fs::path p = fs::canonical(strPath, ec);
    return ec ? std::string() : p.string();
}

bool Exists(const std::string& strPath)
{
    std::error_code ec;
    return fs::exists(strPath, ec);
}

std::string Trim(const std::string& str)
{
    size_t nBegin = str.find_first_not_of(" \t\r\n");
    if (nBegin == std::string::npos)
        return std::string();
    size_t nEnd = str.find_last_not_of(" \t\r\n");
    return str.substr(nBegin, nEnd - nBegin + 1);
}

} // namespace

CComPortMap::CComPortMap() : m_strDevRoot("/dev"), m_strSysTtyRoot("/sys/class/tty") {}

void CComPortMap::SetRoots(std::string strDevRoot, std::string strSysTtyRoot)
{
    m_strDevRoot = std::move(strDevRoot);
    m_strSysTtyRoot = std::move(strSysTtyRoot);
}

int CComPortMap::PortFromName(const std::string& strName)
{
    const std::string str = Trim(strName);
    if (str.size() < 4 || str.size() > 5)
        return 0;
    for (int i = 0; i < 3; i++) {
        if (std::toupper(static_cast<unsigned char>(str[i])) != "COM"[i])
            return 0;
    }
    const std::string strDigits = str.substr(3);
    if (strDigits[0] == '0')
        return 0;
    int n = 0;
    for (char c : strDigits) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return 0;
        n = n * 10 + (c - '0');
    }
    return n <= COM_PORT_MAX ? n : 0;
}

bool CComPortMap::ParseEntry(const std::string& strText, ComPortEntry& entry)
{
    const std::string str = Trim(strText);
    const size_t nBlank = str.find_first_of(" \t");
    const int nPort = PortFromName(str.substr(0, nBlank));
    if (nPort == 0)
        return false;
    const std::string strRest = nBlank == std::string::npos ? std::string() : Trim(str.substr(nBlank));
    if (!strRest.empty() && strRest.front() != '(')
        return false;
    size_t nPathEnd = strRest.size();
    if (nPathEnd > 1 && strRest.back() == ')')
        --nPathEnd;
    entry.nPort = nPort;
    entry.strPath = strRest.empty() ? std::string() : strRest.substr(1, nPathEnd - 1);
    return true;
}

bool CComPortMap::AddEntry(const std::string& strKey, const std::string& strPath)
{
    return AddEntry(PortFromName(strKey), strPath);
}

bool CComPortMap::AddEntry(int nPort, const std::string& strPath)
{
    const std::string strTrimmed = Trim(strPath);
    if (nPort < 1 || nPort > COM_PORT_MAX || strTrimmed.empty() || m_Entries.count(nPort) != 0)
        return false;
    m_Entries[nPort] = strTrimmed;
    return true;
}

int CComPortMap::AddEntries(const std::vector<std::pair<std::string, std::string>>& entries)
{
    int nAccepted = 0;
    for (const auto& [strKey, strPath] : entries)
        nAccepted += AddEntry(strKey, strPath) ? 1 : 0;
    return nAccepted;
}

std::string CComPortMap::ExpandPath(const std::string& strPath) const
{
    if (strPath.find('/') != std::string::npos)
        return strPath;
    return m_strDevRoot + "/" + strPath;
}

bool CComPortMap::RuleDeviceUsable(const std::string& strName) const
{
    if (!Exists(m_strDevRoot + "/" + strName))
        return false;
    if (strName.compare(0, 4, "ttyS") != 0)
        return true;
    // Most PCs have ttyS0..31 nodes whether or not a UART answers behind them.
    const std::string strSys = m_strSysTtyRoot + "/" + strName;
    if (!Exists(strSys + "/device/driver"))
        return false;
    std::ifstream typeFile(strSys + "/type");
    int nType = -1;
    if (typeFile && (typeFile >> nType) && nType == 0)
        return false;
    return true;
}

bool CComPortMap::NamedByEntry(const std::string& strPath) const
{
    if (m_Entries.empty())
        return false;
    const std::string strCanonical = Canonical(strPath);
    for (const auto& [nPort, strEntryPath] : m_Entries) {
        const std::string strEntry = ExpandPath(strEntryPath);
        if (strEntry == strPath || (!strCanonical.empty() && Canonical(strEntry) == strCanonical))
            return true;
    }
    return false;
}

std::string CComPortMap::RulePath(int nPort) const
{
    if (m_Entries.count(nPort) != 0)
        return std::string();
    for (const RuleFamily& family : RULE_FAMILIES) {
        if (nPort < family.nFirstPort || nPort >= family.nFirstPort + family.nCount)
            continue;
        const std::string strName = family.szPrefix + std::to_string(nPort - family.nFirstPort);
        const std::string strPath = m_strDevRoot + "/" + strName;
        if (!RuleDeviceUsable(strName) || NamedByEntry(strPath))
            return std::string();
        return strPath;
    }
    return std::string();
}

std::string CComPortMap::PathForPort(int nPort) const
{
    auto it = m_Entries.find(nPort);
    if (it != m_Entries.end())
        return ExpandPath(it->second);
    return RulePath(nPort);
}

std::vector<ComPortEntry> CComPortMap::ListPorts() const
{
    std::vector<ComPortEntry> ports;
    for (const auto& [nPort, strPath] : m_Entries) {
        const std::string strFull = ExpandPath(strPath);
        if (Exists(strFull))
            ports.push_back({nPort, strFull});
    }
    std::error_code ec;
    for (fs::directory_iterator it(m_strDevRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string strName = it->path().filename().string();
        int nPort = RulePortForName(strName);
        if (nPort == 0)
            continue;
        const std::string strPath = RulePath(nPort);
        if (!strPath.empty())
            ports.push_back({nPort, strPath});
    }
    std::sort(ports.begin(), ports.end(),
              [](const ComPortEntry& a, const ComPortEntry& b) { return a.nPort < b.nPort; });
    return ports;
}

PortResolver CComPortMap::Resolver() const
{
    return [map = *this](int nPort) { return map.PathForPort(nPort); };
}

std::string CComPortMap::FormatEntry(const ComPortEntry& entry)
{
    return "COM" + std::to_string(entry.nPort) + " (" + entry.strPath + ")";
}
