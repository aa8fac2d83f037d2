#include "base/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

uint64_t CSteadyClock::NowMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void CSteadyClock::SleepMs(int nMs)
{
    if (nMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
}

IClock& SystemClock()
{
    static CSteadyClock clock;
    return clock;
}

bool SleepUnlessCancelled(IClock& clock, int nMs, const std::atomic<int>& bCancel)
{
    return SleepUnlessCancelled(clock, nMs, bCancel, bCancel);
}

bool SleepUnlessCancelled(IClock& clock, int nMs, const std::atomic<int>& bCancel, const std::atomic<int>& bCancel2)
{
    const int nSliceMs = 10;
    uint64_t nEnd = clock.NowMs() + static_cast<uint64_t>(std::max(nMs, 0));
    while (!bCancel.load() && !bCancel2.load()) {
        uint64_t nNow = clock.NowMs();
        if (nNow >= nEnd)
            return true;
        clock.SleepMs(static_cast<int>(std::min<uint64_t>(nSliceMs, nEnd - nNow)));
    }
    return false;
}
