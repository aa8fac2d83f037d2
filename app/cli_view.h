#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "console/tovar_view.h"

// The window of a job run from the command line: fields come from the options, log lines go to
// standard output as they are appended.
class CCliView : public ITovarView {
public:
    CCliView(std::string strMac, std::string strFactory, std::string strReg, std::string strPort);

    std::string GetText(int nId) override;
    void SetText(int nId, const std::string& strText) override;
    void AddDevice(const std::string& strName) override;
    int GetCurSel() override;
    bool RunAdvanced(CSet& dlg) override;
    void EndDialog(int nResult) override;
    void HideWindow() override {}
    void AppendLog(const std::string& strText) override;
    void EnableButton(int nId, bool bEnable) override;

    const std::vector<std::string>& Devices() const { return m_Devices; }

private:
    std::mutex m_Mutex;
    std::string m_strMac;
    std::string m_strFactory;
    std::string m_strReg;
    std::string m_strPort;
    std::vector<std::string> m_Devices;
    bool m_bLineStart = true;
};
