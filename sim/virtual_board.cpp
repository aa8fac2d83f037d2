#include "sim/virtual_board.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/clock.h"

namespace {

constexpr int LINE_SLICE_MS = 50;      // longest wait before the stop flag is looked at again
constexpr int LINE_WRITE_LIMIT_MS = 1000;  // output nobody reads is dropped after this

}  // namespace

CVirtualBoard::CVirtualBoard(const BoardConfig& config) : m_config(config) {}

CVirtualBoard::~CVirtualBoard() { Stop(); }

bool CVirtualBoard::Start(std::string& strError)
{
    Stop();
    m_bStop = 0;
    m_bHangUpRequest = 0;
    m_nLineActivityMs = SystemClock().NowMs();
    m_nBoard = 1;
    m_nStoreRepliesBefore = 0;
    if (m_config.bMonitor) {
        if (!m_pty.Create(strError))
            return false;
        if (!m_config.strLinkPath.empty() && !m_pty.Link(m_config.strLinkPath, strError)) {
            m_pty.Close();
            return false;
        }
        m_pMonitor = std::make_unique<CBoardMonitor>(m_config.monitor);
        m_pMonitor->SetLog(m_fnLog);
    }
    if (m_config.bTransfer) {
        TransferConfig transfer = m_config.transfer;
        transfer.strStoreDir = StoreDir(1);
        m_pTransfer = std::make_unique<CBoardTransferServer>(transfer);
        m_pTransfer->SetLog(m_fnLog);
        // A board at its boot monitor has no network: UDP is answered once its boot loader runs.
        if (m_pMonitor)
            m_pTransfer->SetNetworkUp([this] {
                if (m_config.bBooted && m_nBoard.load() == 1)
                    return true;
                std::lock_guard<std::mutex> lock(m_mutexMonitor);
                return m_pMonitor->GetMode() == CBoardMonitor::Mode::Console;
            });
        if (!m_pTransfer->Open(strError)) {
            m_pTransfer.reset();
            m_pty.Close();
            return false;
        }
        m_threadTransfer = std::thread([this] { RunTransfer(); });
    }
    if (m_pMonitor) {
        m_bLineOpen = 1;
        m_threadLine = std::thread([this] { RunLine(); });
    }
    return true;
}

void CVirtualBoard::Stop()
{
    m_bStop = 1;
    if (m_threadLine.joinable())
        m_threadLine.join();
    if (m_threadTransfer.joinable())
        m_threadTransfer.join();
    m_pty.Close();
    m_bLineOpen = 0;
    if (m_pTransfer)
        m_pTransfer->Close();
}

std::string CVirtualBoard::StatusLine() const
{
    std::string strLine = "tty=" + (m_config.bMonitor ? m_pty.SlavePath() : std::string("none"));
    strLine += " udp=" + (m_pTransfer ? UdpIp() + ":" + std::to_string(UdpPort()) : std::string("none"));
    if (!m_pty.LinkPath().empty())
        strLine += " link=" + m_pty.LinkPath();
    if (m_pTransfer && m_config.transfer.bReplyFromOtherPort)
        strLine += " reply-port=" + std::to_string(ReplyPort());
    return strLine;
}

uint64_t CVirtualBoard::LastActivityMs() const
{
    uint64_t nLast = m_nLineActivityMs.load();
    return m_pTransfer ? std::max(nLast, m_pTransfer->LastActivityMs()) : nLast;
}

std::string CVirtualBoard::StoreDir(int nBoard) const
{
    const std::string& strBase = m_config.transfer.strStoreDir;
    return m_config.nBoards > 1 ? strBase + "/board" + std::to_string(nBoard) : strBase;
}

void CVirtualBoard::Log(const std::string& strLine) const
{
    if (m_fnLog)
        m_fnLog(strLine);
}

void CVirtualBoard::RunTransfer()
{
    while (!m_bStop.load()) {
        m_pTransfer->Serve(LINE_SLICE_MS);
        if (BoardFinished(SystemClock().NowMs()))
            SwapBoard();
    }
}

bool CVirtualBoard::BoardFinished(uint64_t nNowMs) const
{
    if (m_nBoard.load() >= m_config.nBoards || m_pTransfer->GetStats().nStoreReplies == m_nStoreRepliesBefore)
        return false;
    uint64_t nLast = m_pTransfer->LastActivityMs();
    if (nNowMs < nLast + static_cast<uint64_t>(std::max(m_config.nSwapDelayMs, 0)))
        return false;
    if (!m_config.bMonitor)
        return true;
    std::lock_guard<std::mutex> lock(m_mutexMonitor);
    return m_pMonitor->Console().Answers() > 0;
}

void CVirtualBoard::SwapBoard()
{
    int nBoard = ++m_nBoard;
    if (m_config.bMonitor) {
        std::lock_guard<std::mutex> lock(m_mutexMonitor);
        m_pMonitor = std::make_unique<CBoardMonitor>(m_config.monitor);
        m_pMonitor->SetLog(m_fnLog);
    }
    m_nStoreRepliesBefore = m_pTransfer->GetStats().nStoreReplies;
    std::string strError;
    const std::string strDir = StoreDir(nBoard);
    if (!m_pTransfer->NextBoard(strDir, strError))
        Log("board " + std::to_string(nBoard) + ": " + strError);
    Log("board " + std::to_string(nBoard) + " of " + std::to_string(m_config.nBoards) +
        " in place at the boot monitor, storing in " + strDir);
}

void CVirtualBoard::InspectMonitor(const std::function<void(const CBoardMonitor&)>& fn) const
{
    std::lock_guard<std::mutex> lock(m_mutexMonitor);
    if (m_pMonitor)
        fn(*m_pMonitor);
}

CBoardTransferServer::Stats CVirtualBoard::TransferStats() const
{
    return m_pTransfer ? m_pTransfer->GetStats() : CBoardTransferServer::Stats();
}

void CVirtualBoard::WriteLine(const std::string& strOut)
{
    int nFd = m_pty.MasterFd();
    uint64_t nDeadline = SystemClock().NowMs() + LINE_WRITE_LIMIT_MS;
    size_t nDone = 0;
    while (nDone < strOut.size() && !m_bStop.load()) {
        ssize_t nWritten = ::write(nFd, strOut.data() + nDone, strOut.size() - nDone);
        if (nWritten > 0) {
            nDone += static_cast<size_t>(nWritten);
            continue;
        }
        if (nWritten < 0 && errno != EAGAIN && errno != EINTR)
            return;
        uint64_t nNow = SystemClock().NowMs();
        if (nNow >= nDeadline)
            return;  // nobody reads the line
        pollfd pfd {nFd, POLLOUT, 0};
        ::poll(&pfd, 1, static_cast<int>(std::min<uint64_t>(nDeadline - nNow, LINE_SLICE_MS)));
    }
}

void CVirtualBoard::RunLine()
{
    int nFd = m_pty.MasterFd();
    uint8_t buffer[4096];
    std::string strOut;
    while (!m_bStop.load()) {
        uint64_t nNow = SystemClock().NowMs();
        int nTimeout = LINE_SLICE_MS;
        {
            std::lock_guard<std::mutex> lock(m_mutexMonitor);
            int nNext = m_pMonitor->MsUntilNextEvent(nNow);
            if (nNext >= 0)
                nTimeout = std::min(nTimeout, nNext);
        }
        pollfd pfd {nFd, POLLIN, 0};
        int nReady = ::poll(&pfd, 1, nTimeout);
        nNow = SystemClock().NowMs();
        strOut.clear();
        bool bHangUp = m_bHangUpRequest.load() != 0;
        {
            std::lock_guard<std::mutex> lock(m_mutexMonitor);
            ssize_t nRead = nReady > 0 && !bHangUp ? ::read(nFd, buffer, sizeof(buffer)) : -1;
            if (nRead > 0) {
                m_nLineActivityMs = nNow;
                m_pMonitor->Receive(buffer, static_cast<size_t>(nRead), nNow, strOut);
            } else {
                m_pMonitor->Tick(nNow, strOut);
            }
            bHangUp = bHangUp || m_pMonitor->HangUpRequested();
        }
        if (bHangUp)
            break;
        if (!strOut.empty())
            WriteLine(strOut);
    }
    if (!m_bStop.load()) {
        // The line disappears: the host's next read or write on it fails.
        m_pty.Close();
        m_bLineOpen = 0;
        if (m_fnLog)
            m_fnLog("serial line closed");
    }
}
