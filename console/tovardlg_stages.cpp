#include "console/config_loader.h"
#include "console/tovardlg.h"

// The image transfer of a job; the run logs its own outcome and gives the buttons back at its end.
void CTovarDlg::NetDownload()
{
    m_View.SetProgress(0);
    m_bTransferRunning = 1;
    CImageTransfer transfer(*this, m_Clock, m_Options.transfer);
    TransferResult result =
        transfer.Run(m_Net, m_Files, m_nFileCount, ImageFolderPath(m_szWorkDir), m_bStop, m_bQuit);
    m_bTransferRunning = 0;
    switch (result) {
    case TransferResult::Installed:
        ReportJobOutcome(JobOutcome::Installed);
        break;
    case TransferResult::InstallFailed:
        ReportJobOutcome(JobOutcome::InstallFailed);
        break;
    case TransferResult::Stopped:
    case TransferResult::Quit:
        ReportJobOutcome(JobOutcome::Stopped);
        break;
    case TransferResult::Ended:
        ReportJobOutcome(JobOutcome::Ended);
        break;
    }
}

void CTovarDlg::EnableButtons() { SetJobButtons(true, true, true); }

void CTovarDlg::SetProgress(int nPercent) { m_View.SetProgress(nPercent); }
