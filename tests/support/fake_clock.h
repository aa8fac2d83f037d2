#pragma once
#include <atomic>
#include <thread>

#include "base/clock.h"

// A clock whose sleeps only move its time forward.
class CFakeClock : public IClock {
public:
    uint64_t NowMs() override { return m_nNowMs.load(); }
    void SleepMs(int nMs) override
    {
        if (nMs > 0)
            m_nNowMs += static_cast<uint64_t>(nMs);
        m_nSlept += nMs > 0 ? nMs : 0;
        std::this_thread::yield();
    }
    uint64_t SleptMs() const { return m_nSlept.load(); }

private:
    std::atomic<uint64_t> m_nNowMs{1000000};
    std::atomic<uint64_t> m_nSlept{0};
};
