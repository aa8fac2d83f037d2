#include "ui/port_choice.h"

#include <algorithm>

#include "serial/com_port_map.h"

namespace {

int PortOf(const std::string& strName)
{
    ComPortEntry entry;
    return CComPortMap::ParseEntry(strName, entry) ? entry.nPort : 0;
}

}  // namespace

bool CPortChoice::Configured(const std::string& strName) const
{
    const int nPort = PortOf(strName);
    return nPort > 0 && m_PortEntries.count(nPort) > 0;
}

std::vector<std::string> CPortChoice::Order(const std::vector<std::string>& names) const
{
    std::vector<std::string> ordered = names;
    std::stable_partition(ordered.begin(), ordered.end(), [this](const std::string& strName) { return Configured(strName); });
    return ordered;
}

int CPortChoice::StartIndex(const std::vector<std::string>& names) const
{
    const int nLast = PortOf(m_strLastPort);
    int nConfigured = -1;
    int nConfiguredCount = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (nLast > 0 && PortOf(names[i]) == nLast)
            return static_cast<int>(i);
        if (Configured(names[i])) {
            nConfigured = static_cast<int>(i);
            ++nConfiguredCount;
        }
    }
    return nConfiguredCount == 1 ? nConfigured : -1;
}

std::string CPortChoice::PortToRemember(const std::string& strName)
{
    const int nPort = PortOf(strName);
    return nPort > 0 ? "COM" + std::to_string(nPort) : std::string();
}
