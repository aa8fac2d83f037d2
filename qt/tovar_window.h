#pragma once
#include <QCheckBox>
#include <QDialog>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "qt/post_queue.h"
#include "ui/tovar_view.h"
#include "ui/tovardlg.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// The operator's main window: the controls of the main dialog, run by CTovarDlg through
// ITovarView, with a status line under the progress bar and a verdict banner after each job. Log
// appends, control switches, progress, status, verdict and beeps from any thread are queued and
// carried out on the window's thread in call order; a call on the window's own thread first applies
// everything queued before it, so the order holds across both threads.
class CTovarWindow : public QDialog, public ITovarView {
    Q_OBJECT
public:
    // Builds the window and runs the dialog's start-up (captions, devices, worker thread).
    CTovarWindow(At91BackendFactory fnBackendFactory, IClock& clock, TovarJobOptions options,
                 QWidget* pParent = nullptr);
    ~CTovarWindow() override;

    CTovarDlg& Dialog() { return *m_pDlg; }
    QWidget* Control(int nId) const;
    QAction* AboutAction() const { return m_pAboutAction; }
    // The log exactly as appended (with its "\r\n" line ends); the pane shows it with plain line breaks.
    std::string LogText() const { return m_strLog; }
    bool Ended() const { return m_bEnded; }
    int EndResult() const { return m_nEndResult; }
    int Progress() const;
    int BeepCount() const { return m_nBeeps; }
    std::string StatusText() const;
    std::string StageText() const;     // the stage and its time beside the status line
    std::string VerdictText() const;   // empty while the banner is hidden
    VerdictLook Verdict() const { return m_eVerdict; }
    // The version and commit the About box shows under its version line.
    void SetBuildText(const std::string& strBuild) { m_strBuild = strBuild; }
    void ShowAbout();
    // Runs right before every Exit path of the dialog (e.g. to end a backend's waits early).
    void SetBeforeExit(std::function<void()> fnBeforeExit) { m_fnBeforeExit = std::move(fnBeforeExit); }
    // The Exit button's action: the dialog's OnCancel.
    void Exit();

    // ITovarView
    std::string GetText(int nId) override;
    void SetText(int nId, const std::string& strText) override;
    void AddDevice(const std::string& strName) override;
    int GetCurSel() override;
    void SetCurSel(int nIndex) override;
    bool RunAdvanced(CSet& dlg) override;
    void EndDialog(int nResult) override;
    void HideWindow() override;
    void WarnBeep() override;
    bool AskYesNo(const std::string& strText) override;
    bool AskPin(const std::string& strPrompt, std::string& strPin) override;
    void ShowMessage(const std::string& strText) override;
    void AppendLog(const std::string& strText) override;
    void EnableControl(int nId, bool bEnable) override;
    void SetProgress(int nPercent) override;
    void SetStatusLine(const std::string& strText) override;
    void SetTextLater(int nId, const std::string& strText) override;
    bool IsChecked(int nId) override;
    void SetCheckedLater(int nId, bool bChecked) override;
    void ShowVerdict(VerdictLook look, const std::string& strText) override;
    void ShowMonitorPorts(const std::vector<std::string>& names) override;
    int GetMonitorSel() override;

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void reject() override;

private:
    struct PendingOp {
        enum Kind { Log, Enable, Progress, Status, Verdict, Beep, Text, Check } eKind;
        int nId = 0;
        int nValue = 0;
        std::string strText;
    };

    void BuildControls();
    void Post(PendingOp op);
    void Drain(std::deque<PendingOp>& ops);
    void ApplyLog(const std::string& strText);
    void ApplyText(int nId, const std::string& strText);
    void Apply(const PendingOp& op);
    void ApplyVerdict(VerdictLook look, const std::string& strText);
    bool OnWindowThread() const;
    void OnAdvanced();

    std::unique_ptr<CTovarDlg> m_pDlg;

    QPlainTextEdit* m_editLog = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_labelStatus = nullptr;
    QLabel* m_labelStage = nullptr;
    QLabel* m_labelVerdict = nullptr;
    QCheckBox* m_checkAutoNumber = nullptr;
    QLabel* m_labelToday = nullptr;
    QLineEdit* m_editFactory = nullptr;
    QLineEdit* m_editReg = nullptr;
    QLineEdit* m_editMac = nullptr;
    QComboBox* m_cbPort = nullptr;
    QLabel* m_labelMonitor = nullptr;
    QComboBox* m_cbMonitor = nullptr;   // the boot monitor's port; hidden when the station names none
    QPushButton* m_btnSet = nullptr;
    QPushButton* m_btnDownload = nullptr;
    QPushButton* m_btnStop = nullptr;
    QPushButton* m_btnExit = nullptr;
    QAction* m_pAboutAction = nullptr;
    std::map<int, QWidget*> m_Controls;

    std::function<void()> m_fnBeforeExit;
    std::string m_strLog;
    bool m_bLogAtEnd = true;
    bool m_bEnded = false;
    int m_nEndResult = 0;
    int m_nBeeps = 0;
    VerdictLook m_eVerdict = VerdictLook::None;
    std::string m_strBuild;

    CPostQueue<PendingOp> m_Queue{*this, [this](std::deque<PendingOp>& ops) { Drain(ops); }};
};
