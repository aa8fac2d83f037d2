#include "record/hold_renewer.h"

#include <chrono>
#include <vector>

CHoldRenewer::CHoldRenewer(RenewFn fnRenew, int64_t nIntervalMs)
    : m_fnRenew(std::move(fnRenew)), m_nIntervalMs(nIntervalMs > 0 ? nIntervalMs : 1000)
{
    m_Thread = std::thread(&CHoldRenewer::Run, this);
}

CHoldRenewer::~CHoldRenewer()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bQuit = true;
    }
    m_Cond.notify_all();
    m_Thread.join();
}

void CHoldRenewer::Add(const IdentityClaim& claim)
{
    if (claim.strToken.empty())
        return;
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Claims[claim.strToken] = {claim, false};
}

bool CHoldRenewer::Remove(const IdentityClaim& claim)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_Claims.find(claim.strToken);
    if (it == m_Claims.end())
        return false;
    const bool bLost = it->second.second;
    m_Claims.erase(it);
    return bLost;
}

void CHoldRenewer::Run()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    while (!m_bQuit) {
        m_Cond.wait_for(lock, std::chrono::milliseconds(m_nIntervalMs), [this] { return m_bQuit; });
        if (m_bQuit)
            break;
        std::vector<IdentityClaim> claims;
        for (const auto& [strToken, entry] : m_Claims)
            if (!entry.second)
                claims.push_back(entry.first);
        // The record is asked without the lock, so a job may end meanwhile.
        lock.unlock();
        std::vector<std::string> lost;
        for (const IdentityClaim& claim : claims) {
            bool bHeld = true;
            if (m_fnRenew(claim, bHeld) && !bHeld)
                lost.push_back(claim.strToken);
        }
        lock.lock();
        for (const std::string& strToken : lost)
            if (auto it = m_Claims.find(strToken); it != m_Claims.end())
                it->second.second = true;
    }
}
