#pragma once
#include <cstdint>
#include <deque>
#include <string>

#include "base/clock.h"

// The rate of a transfer over its last few seconds and the time it still needs, from samples of
// the bytes done so far taken on a clock. One thread at a time.
class CTransferRate {
public:
    static constexpr uint64_t WINDOW_MS = 5000;

    explicit CTransferRate(IClock& clock) : m_clock(clock) {}

    // Forgets every sample: a new transfer is measured.
    void Reset();
    // A sample: nBytesDone of nBytesTotal now. Fewer bytes than before start the measure anew.
    void Add(uint64_t nBytesDone, uint64_t nBytesTotal);
    // Bytes per second over about the last WINDOW_MS; -1 until two samples lie apart in time.
    double BytesPerSecond() const;
    // Whole seconds (rounded up) until the total at that rate; 0 when all is done, -1 when unknown
    // (no rate yet, or nothing moved within the window).
    int64_t SecondsLeft() const;

private:
    struct Sample {
        uint64_t nMs;
        uint64_t nBytes;
    };

    IClock& m_clock;
    std::deque<Sample> m_samples;
    uint64_t m_nBytesTotal = 0;
};

// The one way a rate is shown: "1.5 MB/s" from 1e6 bytes a second up, "850 KB/s" below, "-- KB/s"
// when it is not known yet (negative).
std::string RateText(double dBytesPerSecond);
