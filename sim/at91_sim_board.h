#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "samba/at91_backend.h"

// An in-process board behind the boot-monitor wrapper, for tests and dry runs: a word memory map,
// settable outcomes, and a record of every call. It outlives the wrappers bound to it.
class CAt91SimBoard {
public:
    static constexpr uint32_t CHIP_ID_ADDRESS = 0xFFFFF240;
    static constexpr uint32_t DEFAULT_CHIP_ID = 0x819A05A1;

    struct SimCall {
        std::string strMethod;
        int32_t hDevice = 0;
        uint32_t nAddress = 0;
        int32_t nValue = 0;
        std::vector<uint8_t> data;  // WriteBlock contents
        std::string strName;         // OpenDevice name
    };

    CAt91SimBoard();

    // Outcomes.
    void SetDevices(const std::vector<std::string>& names);
    void SetChipId(uint32_t nChipId);
    void SetOpenFails(bool bFails);
    void SetAppletStatus(uint32_t nStatus);
    void SetBootLoaderStatus(uint32_t nStatus);
    // The nOccurrence-th call (1-based; 0 = every call) of a method returns nError.
    void FailCall(const std::string& strMethod, int nOccurrence, int32_t nError);

    // Observations.
    std::vector<SimCall> Calls() const;
    std::vector<std::string> CallSummary() const;  // e.g. "WriteWord 0x0030000c=1"
    uint32_t Word(uint32_t nAddress) const;
    int OpenHandles() const;
    int BackendsBound() const;

    // Makes backends bound to this board.
    At91BackendFactory Factory();

    // Used by the backend.
    int32_t Record(SimCall call);
    std::vector<std::string> Devices() const;
    bool OpenFails() const;
    void Store(uint32_t nAddress, uint32_t nValue);
    uint32_t Load(uint32_t nAddress) const;
    void RunAt(uint32_t nAddress);
    void DeviceOpened(int nDelta);
    void BackendBound(int nDelta);

private:
    mutable std::mutex m_Mutex;
    std::vector<std::string> m_Devices;
    std::map<uint32_t, uint32_t> m_Memory;
    std::map<std::string, std::map<int, int32_t>> m_Failures;
    std::map<std::string, int> m_Counts;
    std::vector<SimCall> m_Calls;
    bool m_bOpenFails = false;
    uint32_t m_nAppletStatus = 0;
    uint32_t m_nBootLoaderStatus = 0;
    int m_nRuns = 0;
    int m_nOpenHandles = 0;
    int m_nBackends = 0;
};
