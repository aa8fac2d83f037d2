#pragma once
#include <atomic>
#include <cstdint>

// Every pause and time limit of a job goes through one clock, so tests can run without sleeping.
class IClock {
public:
    virtual ~IClock() = default;
    virtual uint64_t NowMs() = 0;
    virtual void SleepMs(int nMs) = 0;
};

// The real clock: a monotonic time base and real sleeps.
class CSteadyClock : public IClock {
public:
    uint64_t NowMs() override;
    void SleepMs(int nMs) override;
};

// The process-wide real clock.
IClock& SystemClock();

// Sleeps nMs in short slices and returns early (false) as soon as bCancel is set.
bool SleepUnlessCancelled(IClock& clock, int nMs, const std::atomic<int>& bCancel);
// The same, ending early when either flag is set.
bool SleepUnlessCancelled(IClock& clock, int nMs, const std::atomic<int>& bCancel, const std::atomic<int>& bCancel2);
