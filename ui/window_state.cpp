#include "ui/window_state.h"

#include <cstdio>
#include <fstream>

#include "station/ini_reader.h"

CWindowState::CWindowState(std::string strWorkDir) : m_strPath(FilePath(strWorkDir))
{
    CIniReader reader(m_strPath);
    for (const auto& [strKey, strValue] : reader.ReadSection("window"))
        m_Values[strKey] = strValue;
}

std::string CWindowState::FilePath(const std::string& strWorkDir) { return strWorkDir + "/tovar.state"; }

std::string CWindowState::Get(const std::string& strKey) const
{
    auto it = m_Values.find(strKey);
    return it == m_Values.end() ? std::string() : it->second;
}

bool CWindowState::Set(const std::string& strKey, const std::string& strValue)
{
    auto it = m_Values.find(strKey);
    if (it != m_Values.end() && it->second == strValue)
        return true;
    m_Values[strKey] = strValue;
    const std::string strTemp = m_strPath + ".new";
    {
        std::ofstream file(strTemp, std::ios::binary | std::ios::trunc);
        file << "; what the operator's window remembers; written by tovar\n[window]\n";
        for (const auto& [strName, strText] : m_Values)
            file << strName << "=" << strText << "\n";
        if (!file.flush()) {
            std::remove(strTemp.c_str());
            return false;
        }
    }
    return std::rename(strTemp.c_str(), m_strPath.c_str()) == 0;
}
