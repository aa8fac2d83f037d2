#pragma once
#include <string>
#include <vector>

class CSet;

// Control identifiers of the main window.
enum : int {
    IDOK = 1,               // download button
    IDCANCEL = 2,           // Exit button
    IDC_LOG = 1001,         // log pane
    IDC_PORT = 1002,        // device selector
    IDC_STOP = 1003,        // Stop button
    IDC_PROGRESS = 1004,    // progress bar
    IDC_SELECTCOM = 1005,   // label of the selector
    IDC_MAC = 1006,         // MAC text
    IDC_SET = 1007,         // Advanced button
    IDC_FACTORY = 1018,     // factory number
    IDC_REG = 1019,         // registration number
    IDC_FACTORY_LABEL = 1020,
    IDC_REG_LABEL = 1021,
    IDC_STATUS = 1022,      // status line under the progress bar
    IDC_VERDICT = 1023,     // the last job's verdict banner
    IDC_AUTONUM = 1024,     // check box: identities from the record's pools
    IDC_TODAY = 1025,       // today's installed and failed boards of this station
    IDC_STAGE = 1026,       // the running job's stage and time beside the status line
    IDC_MONITOR = 1040,     // the boot monitor's port selector (监控口), shown only with choices
    IDC_MONITOR_LABEL = 1041,
};

// How the verdict banner looks: hidden, green, red for a failure, grey for a stopped job, amber for
// a refusal (nothing reached the board) and for a partial install.
enum class VerdictLook { None, Success, Failure, Stopped, Refused, Partial };

// What the console's logic needs from the window system. The Qt window, the command line
// and the tests each provide one. Texts are UTF-8.
class ITovarView {
public:
    virtual ~ITovarView() = default;
    // User-interface thread only.
    virtual std::string GetText(int nId) = 0;
    virtual void SetText(int nId, const std::string& strText) = 0;
    virtual void AddDevice(const std::string& strName) = 0;
    virtual int GetCurSel() = 0;                 // -1 when nothing is selected
    virtual void SetCurSel(int nIndex) { (void)nIndex; }   // -1 selects nothing
    virtual bool RunAdvanced(CSet& dlg) = 0;     // modal; true when confirmed with OK
    virtual void EndDialog(int nResult) = 0;
    virtual void HideWindow() = 0;
    // Any thread: carried out on the user-interface thread in call order, never blocking the caller
    // on a busy window.
    virtual void WarnBeep() {}
    // A question with yes and no, modal; true for yes.
    virtual bool AskYesNo(const std::string& strText) { (void)strText; return true; }
    // User-interface thread: asks for a PIN (not echoed), modal; false when the operator cancels.
    virtual bool AskPin(const std::string& strPrompt, std::string& strPin) { (void)strPrompt, (void)strPin; return false; }
    // User-interface thread: a message the operator confirms, modal.
    virtual void ShowMessage(const std::string& strText) { (void)strText; }
    virtual void AppendLog(const std::string& strText) = 0;
    virtual void EnableControl(int nId, bool bEnable) = 0;   // any control: buttons, fields, selector
    virtual void SetProgress(int nPercent) { (void)nPercent; }
    virtual void SetStatusLine(const std::string& strText) { (void)strText; }
    // Any thread: sets a control's text on the user-interface thread (identity fields, today's count).
    virtual void SetTextLater(int nId, const std::string& strText) { (void)nId, (void)strText; }
    // User-interface thread: whether a check box is ticked.
    virtual bool IsChecked(int nId) { (void)nId; return false; }
    // Ticks or unticks a check box; from any thread.
    virtual void SetCheckedLater(int nId, bool bChecked) { (void)nId, (void)bChecked; }
    // The banner with its text; VerdictLook::None hides it.
    virtual void ShowVerdict(VerdictLook look, const std::string& strText) { (void)look, (void)strText; }
    // User-interface thread: shows the boot monitor's port selector with a first entry for "on the
    // board's own port" and then these ports, that first entry chosen. Not called when the station
    // names no monitor port: the selector then stays hidden.
    virtual void ShowMonitorPorts(const std::vector<std::string>& names) { (void)names; }
    // The chosen port's index in those names; -1 for the board's own port.
    virtual int GetMonitorSel() { return -1; }
};
