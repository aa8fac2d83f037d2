#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ui/tovar_view.h"

// A window for tests: records texts, the log, button states and selector entries.
class CFakeView : public ITovarView {
public:
    std::string GetText(int nId) override;
    void SetText(int nId, const std::string& strText) override;
    void SetTextLater(int nId, const std::string& strText) override { SetText(nId, strText); }
    bool IsChecked(int nId) override { return GetText(nId) == "checked"; }
    void SetCheckedLater(int nId, bool bChecked) override { SetText(nId, bChecked ? "checked" : "unchecked"); }
    void AddDevice(const std::string& strName) override;
    int GetCurSel() override;
    void SetCurSel(int nIndex) override { Select(nIndex); }
    bool AskPin(const std::string& strPrompt, std::string& strPin) override
    {
        m_Prompts.push_back(strPrompt);
        strPin = m_strPin;
        return !m_strPin.empty();
    }
    void ShowMessage(const std::string& strText) override { m_Messages.push_back(strText); }
    bool RunAdvanced(CSet& dlg) override;
    void EndDialog(int nResult) override;
    void HideWindow() override;
    void WarnBeep() override;
    void AppendLog(const std::string& strText) override;
    void EnableControl(int nId, bool bEnable) override;
    void SetProgress(int nPercent) override;
    void ShowVerdict(VerdictLook look, const std::string& strText) override;
    void ShowMonitorPorts(const std::vector<std::string>& names) override { m_MonitorPorts = names, m_bMonitorShown = true; }
    int GetMonitorSel() override { return m_nMonitorSel; }

    void Select(int nIndex);
    std::string Log() const;
    bool Enabled(int nId) const;
    VerdictLook Verdict() const;
    std::string VerdictText() const;
    // Waits (bounded, for another thread) until the log holds the text; false on timeout.
    bool WaitForLog(const std::string& strNeedle, int nTimeoutMs = 10000);

    std::vector<std::string> m_Devices;
    std::string m_strPin;                    // what AskPin answers; empty: the operator cancels
    std::vector<std::string> m_Prompts, m_Messages;
    std::function<bool(CSet&)> m_fnAdvanced;
    int m_nEndResult = 0;
    bool m_bEnded = false;
    bool m_bHidden = false;
    std::atomic<int> m_nBeeps{0};
    int m_nProgress = -1;
    std::vector<std::string> m_MonitorPorts;
    bool m_bMonitorShown = false;
    int m_nMonitorSel = -1;

private:
    mutable std::mutex m_Mutex;
    std::condition_variable m_Cond;
    std::map<int, std::string> m_Texts;
    std::map<int, bool> m_Disabled;
    std::string m_strLog;
    VerdictLook m_eVerdict = VerdictLook::None;
    std::string m_strVerdict;
    int m_nCurSel = -1;
};
