#include "app/cli_view.h"

#include <cstdio>

#include "app/commands.h"

CCliView::CCliView(std::string strMac, std::string strFactory, std::string strReg, std::string strPort)
    : m_strMac(std::move(strMac)), m_strFactory(std::move(strFactory)), m_strReg(std::move(strReg)),
      m_strPort(std::move(strPort))
{
}

std::string CCliView::GetText(int nId)
{
    switch (nId) {
    case IDC_MAC:
        return m_strMac;
    case IDC_FACTORY:
        return m_strFactory;
    case IDC_REG:
        return m_strReg;
    default:
        return {};
    }
}

// The dialog sets its defaults at start-up; the operator's values from the command line stay.
void CCliView::SetText(int nId, const std::string& strText)
{
    if (nId == IDC_LOG)
        AppendLog(strText);
}

void CCliView::AddDevice(const std::string& strName) { m_Devices.push_back(strName); }

// The entry whose COM name is the one asked for ("COM5" matches "COM5" and "COM5 (/dev/...)").
int CCliView::GetCurSel()
{
    for (size_t i = 0; i < m_Devices.size(); ++i) {
        const std::string& strName = m_Devices[i];
        if (strName == m_strPort || strName.rfind(m_strPort + " ", 0) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

bool CCliView::RunAdvanced(CSet&) { return false; }

void CCliView::EndDialog(int) {}

// Lines end in "\r\n" in the log pane; a terminal wants "\n".
void CCliView::AppendLog(const std::string& strText)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    std::string strOut = CliText(strText);
    std::fwrite(strOut.data(), 1, strOut.size(), stdout);
    std::fflush(stdout);
    if (!strOut.empty())
        m_bLineStart = strOut.back() == '\n';
}

void CCliView::EnableButton(int, bool) {}
