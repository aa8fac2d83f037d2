#include "sim/at91_sim_board.h"

#include <cstdio>

#include "sim/at91_sim_backend.h"

namespace {
constexpr uint32_t APPLET_ADDRESS = 0x300000;
constexpr uint32_t MAILBOX_COMMAND = 0x300004;
constexpr uint32_t MAILBOX_STATUS = 0x300008;
}  // namespace

CAt91SimBoard::CAt91SimBoard()
{
    m_Memory[CHIP_ID_ADDRESS] = DEFAULT_CHIP_ID;
    m_Devices = {"COM1"};
}

void CAt91SimBoard::SetDevices(const std::vector<std::string>& names)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Devices = names;
}

void CAt91SimBoard::SetChipId(uint32_t nChipId)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Memory[CHIP_ID_ADDRESS] = nChipId;
}

void CAt91SimBoard::SetOpenFails(bool bFails)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_bOpenFails = bFails;
}

void CAt91SimBoard::SetAppletStatus(uint32_t nStatus)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_nAppletStatus = nStatus;
}

void CAt91SimBoard::SetBootLoaderStatus(uint32_t nStatus)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_nBootLoaderStatus = nStatus;
}

void CAt91SimBoard::FailCall(const std::string& strMethod, int nOccurrence, int32_t nError)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Failures[strMethod][nOccurrence] = nError;
}

std::vector<CAt91SimBoard::SimCall> CAt91SimBoard::Calls() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Calls;
}

std::vector<std::string> CAt91SimBoard::CallSummary() const
{
    std::vector<std::string> summary;
    for (const SimCall& call : Calls()) {
        char szLine[128];
        if (call.strMethod == "WriteWord")
            std::snprintf(szLine, sizeof szLine, "WriteWord 0x%08x=%d", call.nAddress, call.nValue);
        else if (call.strMethod == "WriteBlock")
            std::snprintf(szLine, sizeof szLine, "WriteBlock 0x%08x+%zu", call.nAddress, call.data.size());
        else if (call.strMethod == "ReadWord" || call.strMethod == "Jump")
            std::snprintf(szLine, sizeof szLine, "%s 0x%08x", call.strMethod.c_str(), call.nAddress);
        else if (call.strMethod == "OpenDevice")
            std::snprintf(szLine, sizeof szLine, "OpenDevice %s", call.strName.c_str());
        else
            std::snprintf(szLine, sizeof szLine, "%s", call.strMethod.c_str());
        summary.emplace_back(szLine);
    }
    return summary;
}

uint32_t CAt91SimBoard::Word(uint32_t nAddress) const { return Load(nAddress); }

int CAt91SimBoard::OpenHandles() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_nOpenHandles;
}

int CAt91SimBoard::BackendsBound() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_nBackends;
}

At91BackendFactory CAt91SimBoard::Factory()
{
    return [this]() -> std::unique_ptr<IAt91Backend> { return std::make_unique<CAt91SimBackend>(*this); };
}

int32_t CAt91SimBoard::Record(SimCall call)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    int nOccurrence = ++m_Counts[call.strMethod];
    m_Calls.push_back(std::move(call));
    auto method = m_Failures.find(m_Calls.back().strMethod);
    if (method == m_Failures.end())
        return 0;
    if (auto it = method->second.find(nOccurrence); it != method->second.end())
        return it->second;
    if (auto it = method->second.find(0); it != method->second.end())
        return it->second;
    return 0;
}

std::vector<std::string> CAt91SimBoard::Devices() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Devices;
}

bool CAt91SimBoard::OpenFails() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_bOpenFails;
}

void CAt91SimBoard::Store(uint32_t nAddress, uint32_t nValue)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Memory[nAddress] = nValue;
}

uint32_t CAt91SimBoard::Load(uint32_t nAddress) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_Memory.find(nAddress);
    return it == m_Memory.end() ? 0 : it->second;
}

// The first run at the applet address is the low-level init applet, later ones the boot loader.
// Like a real applet, each sets its status and turns the command word into its complement.
void CAt91SimBoard::RunAt(uint32_t nAddress)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (nAddress != APPLET_ADDRESS)
        return;
    ++m_nRuns;
    m_Memory[MAILBOX_STATUS] = m_nRuns == 1 ? m_nAppletStatus : m_nBootLoaderStatus;
    m_Memory[MAILBOX_COMMAND] = ~m_Memory[MAILBOX_COMMAND];
}

void CAt91SimBoard::DeviceOpened(int nDelta)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_nOpenHandles += nDelta;
}

void CAt91SimBoard::BackendBound(int nDelta)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_nBackends += nDelta;
}
