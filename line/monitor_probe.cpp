#include "line/monitor_probe.h"

#include <sys/stat.h>

#include "samba/monitor_session.h"

CMonitorProbe::CMonitorProbe(std::function<std::string()> fnPath, IClock& clock, const std::atomic<int>* pCancel,
                             const MonitorLimits& limits, MonitorLink link)
    : m_fnPath(std::move(fnPath)), m_Clock(clock), m_pCancel(pCancel), m_Limits(limits), m_Link(link)
{
}

BoardPresence CMonitorProbe::Probe()
{
    const std::string strPath = m_fnPath ? m_fnPath() : std::string();
    struct stat info {};
    if (strPath.empty() || stat(strPath.c_str(), &info) != 0)
        return BoardPresence::Absent;
    // The session's own connect: the same bytes and checks as the bring-up's first step.
    CMonitorSession session(m_Clock, m_pCancel, m_Limits, m_Link);
    std::string strError;
    if (session.Open(strPath, strError) != 0)
        return BoardPresence::Silent;
    session.Close();
    return BoardPresence::Monitor;
}
