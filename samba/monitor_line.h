#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "job/clock.h"

// A serial line in raw mode (115200 8N1, no flow control, nothing translated) for the boot monitor.
// Every wait ends at a deadline on the given clock, or early when the cancel flag is set.
class CMonitorLine {
public:
    enum Result { LINE_OK, LINE_TIMEOUT, LINE_LOST, LINE_CANCELLED };

    CMonitorLine(IClock& clock, const std::atomic<int>* pCancel);
    ~CMonitorLine();
    CMonitorLine(const CMonitorLine&) = delete;
    CMonitorLine& operator=(const CMonitorLine&) = delete;

    // Opens a terminal device, sets it raw and empties both queues; strError tells why it failed.
    bool Open(const std::string& strPath, std::string& strError);
    void Close();
    bool IsOpen() const { return m_nFd >= 0; }

    // The absolute time nMs from now, for the calls below.
    uint64_t Deadline(int nMs) const;

    Result Write(const void* pData, size_t nLength, uint64_t nDeadlineMs);
    Result Write(const std::string& strText, uint64_t nDeadlineMs)
    {
        return Write(strText.data(), strText.size(), nDeadlineMs);
    }
    // Reads exactly nWant bytes; nGot says how many came before a failure.
    Result Read(uint8_t* pBuffer, size_t nWant, size_t& nGot, uint64_t nDeadlineMs);
    Result ReadByte(uint8_t& cByte, uint64_t nDeadlineMs);
    // One attempt to hand bytes to the line, without waiting and whatever the cancel flag says
    // (for abort sequences); true when all were taken.
    bool WriteNow(const void* pData, size_t nLength);
    // Throws away what has already arrived, without waiting; LINE_LOST when the line is gone.
    Result Discard(size_t* pCount = nullptr);
    // Throws away input until the line has been quiet for nQuietMs, nMaxMs at most.
    Result Drain(int nQuietMs, int nMaxMs);

private:
    Result Wait(short nEvents, uint64_t nDeadlineMs);
    bool Cancelled() const { return m_pCancel && m_pCancel->load() != 0; }

    IClock& m_clock;
    const std::atomic<int>* m_pCancel;
    int m_nFd = -1;
};
