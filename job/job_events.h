#pragma once
#include <condition_variable>
#include <mutex>

// The three auto-reset job events. A wait reports the lowest signalled index and resets only
// that one; the others stay signalled for a later wait.
class CJobEvents {
public:
    enum { EVENT_QUIT = 0, EVENT_START = 1, EVENT_TRANSFER = 2, EVENT_COUNT = 3 };
    static constexpr int WAIT_TIMEOUT_INDEX = -1;

    void Set(int nIndex);
    // nTimeoutMs < 0 waits until an event is set; otherwise returns WAIT_TIMEOUT_INDEX when none was.
    int Wait(int nTimeoutMs = -1);

private:
    int TakeLowest();

    mutable std::mutex m_Mutex;
    std::condition_variable m_Cond;
    bool m_bSignalled[EVENT_COUNT] = {false, false, false};
};
