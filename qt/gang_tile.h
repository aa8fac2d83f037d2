#pragma once
#include <QGroupBox>
#include <string>

#include "ui/stage_clock.h"
#include "ui/transfer_status.h"
#include "ui/tovar_view.h"
#include "job/job_result.h"
#include "net/transfer_image.h"

class QLabel;
class QProgressBar;
class QPushButton;

// One slot of the gang window: its port, the board's identity, the stage, a progress bar, rate
// and time left, the verdict banner, the slot's last log line, and its start and stop buttons.
// Window thread only.
class CGangTile : public QGroupBox {
    Q_OBJECT
public:
    CGangTile(int nSlot, const std::string& strPort, IClock& clock, QWidget* pParent);

    int Slot() const { return m_nSlot; }
    QPushButton* StartButton() const { return m_btnStart; }
    QPushButton* StopButton() const { return m_btnStop; }

    // The slot was started (true) or has ended (false): which button works.
    void SetRunning(bool bRunning);
    bool Running() const { return m_bRunning; }
    void Waiting(bool bWaiting);
    // A new board with its identity: the last board's verdict and progress go.
    void Board(const JobIdentity& identity);
    void Stage(JobStage stage);
    void Progress(const TransferProgress& progress);
    void Result(const JobResult& result);
    void Ended(const std::string& strWhy);
    // The slot failed nFailures boards in a row and stopped: an amber banner for the fixture.
    void Alarm(int nFailures);
    // On an idle tile: its port is missing or busy (false), in amber.
    void PortUsable(bool bUsable);
    void SetConsoleBoundS(int nBoundS) { m_StageClock.SetConsoleBoundS(nBoundS); }
    std::string CountsText() const;
    // One line of the slot's log; the latest is shown.
    void LogLine(const std::string& strLine);

    std::string StageText() const;
    std::string StatusText() const;
    std::string VerdictText() const;   // empty while the banner is hidden
    VerdictLook Verdict() const { return m_eVerdict; }
    int ProgressValue() const;

private:
    void ShowCounts();

    int m_nSlot;
    std::string m_strPort;
    IClock& m_Clock;
    CTransferStatus m_Status;
    CStageClock m_StageClock;
    bool m_bRunning = false;
    bool m_bAlarm = false;
    int m_nInstalled = 0;   // this slot's boards since the window opened
    int m_nFailed = 0;
    VerdictLook m_eVerdict = VerdictLook::None;
    QLabel* m_labelMac = nullptr;
    QLabel* m_labelNumbers = nullptr;
    QLabel* m_labelStage = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_labelStatus = nullptr;
    QLabel* m_labelVerdict = nullptr;
    QLabel* m_labelLog = nullptr;
    QLabel* m_labelCounts = nullptr;
    QPushButton* m_btnStart = nullptr;
    QPushButton* m_btnStop = nullptr;
};
