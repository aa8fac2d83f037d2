#include "job/job_events.h"

#include <chrono>

void CJobEvents::Set(int nIndex)
{
    if (nIndex < 0 || nIndex >= EVENT_COUNT)
        return;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bSignalled[nIndex] = true;
    }
    m_Cond.notify_all();
}

int CJobEvents::TakeLowest()
{
    for (int i = 0; i < EVENT_COUNT; ++i) {
        if (m_bSignalled[i]) {
            m_bSignalled[i] = false;
            return i;
        }
    }
    return WAIT_TIMEOUT_INDEX;
}

int CJobEvents::Wait(int nTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    auto anySet = [this] { return m_bSignalled[0] || m_bSignalled[1] || m_bSignalled[2]; };
    if (nTimeoutMs < 0)
        m_Cond.wait(lock, anySet);
    else if (!m_Cond.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), anySet))
        return WAIT_TIMEOUT_INDEX;
    return TakeLowest();
}
