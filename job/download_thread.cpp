#include "console/tovardlg.h"

// The worker: idle on the job events; a start runs the bring-up, after which the console
// handshake is tried about every 10 ms until the board answers; the transfer event runs the
// image transfer. Exit ends it from any state through m_bQuit.
unsigned CTovarDlg::DownloadThreadProc(CTovarDlg* pDlg)
{
    pDlg->m_bConsolePhase = 0;
    while (!pDlg->m_bQuit.load()) {
        if (pDlg->m_bConsolePhase.load() == 0) {
            int nEvent = pDlg->m_hEvents.Wait();
            if (nEvent == CJobEvents::EVENT_QUIT || pDlg->m_bQuit.load())
                break;
            if (nEvent == CJobEvents::EVENT_START)
                pDlg->BringUp();
            else if (nEvent == CJobEvents::EVENT_TRANSFER)
                pDlg->NetDownload();
        }
        if (pDlg->m_bConsolePhase.load() != 0 && !pDlg->m_bQuit.load())
            pDlg->ConsoleHandshake();
        pDlg->m_Clock.SleepMs(10);
    }
    pDlg->WorkerEnded();
    return 0;
}
