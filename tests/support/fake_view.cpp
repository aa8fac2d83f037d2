#include "support/fake_view.h"

#include <chrono>

std::string CFakeView::GetText(int nId)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Texts[nId];
}

void CFakeView::SetText(int nId, const std::string& strText)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Texts[nId] = strText;
    if (nId == IDC_LOG)
        m_strLog = strText;
}

void CFakeView::AddDevice(const std::string& strName) { m_Devices.push_back(strName); }

int CFakeView::GetCurSel() { return m_nCurSel; }

void CFakeView::Select(int nIndex) { m_nCurSel = nIndex; }

bool CFakeView::RunAdvanced(CSet& dlg) { return m_fnAdvanced ? m_fnAdvanced(dlg) : false; }

void CFakeView::EndDialog(int nResult)
{
    m_bEnded = true;
    m_nEndResult = nResult;
}

void CFakeView::HideWindow() { m_bHidden = true; }

void CFakeView::WarnBeep() { ++m_nBeeps; }

void CFakeView::AppendLog(const std::string& strText)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_strLog += strText;
    }
    m_Cond.notify_all();
}

void CFakeView::EnableControl(int nId, bool bEnable)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Disabled[nId] = !bEnable;
}

void CFakeView::SetProgress(int nPercent)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_nProgress = nPercent;
}

void CFakeView::ShowVerdict(VerdictLook look, const std::string& strText)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_eVerdict = look;
    m_strVerdict = strText;
}

VerdictLook CFakeView::Verdict() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_eVerdict;
}

std::string CFakeView::VerdictText() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_strVerdict;
}

std::string CFakeView::Log() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_strLog;
}

bool CFakeView::Enabled(int nId) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_Disabled.find(nId);
    return it == m_Disabled.end() || !it->second;
}

bool CFakeView::WaitForLog(const std::string& strNeedle, int nTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_Cond.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                           [&] { return m_strLog.find(strNeedle) != std::string::npos; });
}
