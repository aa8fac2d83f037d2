#pragma once
#include <string>

#include "ui/transfer_rate.h"
#include "base/clock.h"
#include "job/job_result.h"
#include "net/transfer_image.h"

// Where one slot of a gang stands, as one line for a terminal: slot, port, stage, percent of all
// files, rate, and the verdicts so far ("[slot2] COM4  transfer   45%  1.2 MB/s  installed 1").
// One thread at a time.
class CGangStatusLine {
public:
    CGangStatusLine(int nSlot, std::string strPort, IClock& clock);

    void Waiting(bool bWaiting);
    void Stage(JobStage stage);
    void Progress(const TransferProgress& progress);
    void Result(const JobResult& result);
    void Ended(const std::string& strWhy);

    std::string Render() const;
    int Slot() const { return m_nSlot; }
    const std::string& Port() const { return m_strPort; }
    // The rate over the last seconds; -1 while unknown.
    double BytesPerSecond() const { return m_Rate.BytesPerSecond(); }

private:
    int m_nSlot;
    std::string m_strPort;
    CTransferRate m_Rate;
    std::string m_strState = "start";   // waiting, prepare, bring-up, console, transfer, done, ended
    TransferProgress m_Progress;
    bool m_bInTransfer = false;
    int m_nBoards = 0;
    int m_nInstalled = 0;
    std::string m_strLastVerdict;
};
