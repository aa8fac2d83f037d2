#include "net/image_transfer.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "net/net.h"

namespace {

constexpr int kQuitSliceMs = 100;        // a reply wait looks at the quit flag this often
constexpr uint64_t kProgressEveryMs = 250;

std::string EntryName(const FileEntry& entry)
{
    return std::string(entry.szName, strnlen(entry.szName, sizeof entry.szName));
}

std::string EntryPath(const std::string& strImageDir, const FileEntry& entry)
{
    return strImageDir + "/" + EntryName(entry);
}

}  // namespace

CImageTransfer::CImageTransfer(ITransferHost& host, IClock& clock, const TransferSettings& settings)
    : m_host(host), m_clock(clock), m_settings(settings)
{
    m_settings.nTries = std::max(m_settings.nTries, 1);
    m_settings.nReplyTimeoutMs = std::max(m_settings.nReplyTimeoutMs, 1);
    m_settings.nStoreTimeoutMs = std::max(m_settings.nStoreTimeoutMs, 1);
}

void CImageTransfer::Log(const char* szFormat, ...)
{
    char szText[512];
    va_list args;
    va_start(args, szFormat);
    vsnprintf(szText, sizeof szText, szFormat, args);
    va_end(args);
    m_host.AppendLog(szText);
}

TransferResult CImageTransfer::Run(CNet& net, const FileEntry* pFiles, int nFileCount, const std::string& strImageDir,
                                   const std::atomic<int>& bStop, const std::atomic<int>& bQuit)
{
    nFileCount = pFiles == nullptr ? 0 : std::clamp(nFileCount, 0, FILE_TABLE_SLOTS);
    std::memset(m_szSend, 0, sizeof m_szSend);
    std::memset(m_recv, 0, sizeof m_recv);
    m_nDatagramsSent = 0;

    std::memset(&m_dest, 0, sizeof m_dest);
    m_dest.sin_family = AF_INET;
    if (m_settings.nBoardPort < 1 || m_settings.nBoardPort > 0xFFFF ||
        inet_pton(AF_INET, m_settings.strBoardIp.c_str(), &m_dest.sin_addr) != 1) {
        Log("->Board address %s port %d is not a dotted IPv4 address and port.\r\n", m_settings.strBoardIp.c_str(),
            m_settings.nBoardPort);
        return TransferResult::Ended;
    }
    m_dest.sin_port = htons(static_cast<uint16_t>(m_settings.nBoardPort));
    if (m_settings.nLocalPort < 0 || !net.Create(static_cast<unsigned>(m_settings.nLocalPort))) {
        Log("->UDP port %d cannot be opened (%s); nothing was sent.\r\n", m_settings.nLocalPort,
            net.LastError().c_str());
        return TransferResult::Ended;
    }
    if (!SleepUnlessCancelled(m_clock, m_settings.nSettleMs, bQuit)) {
        net.Close();
        return TransferResult::Quit;
    }

    m_bSendErrorShown = false;
    m_nTotalBytes = SelectedBytes(pFiles, nFileCount, strImageDir);
    m_nDoneBytes = 0;
    m_nLastPercent = 0;
    m_nLastProgressMs = m_clock.NowMs();
    m_host.SetProgress(0);
    bool bAllStored = true;
    for (int i = 0; i < nFileCount; ++i) {
        if (LoadSelected(pFiles[i]) != 1)
            continue;
        FileOutcome outcome = SendFile(net, pFiles[i], EntryPath(strImageDir, pFiles[i]), bStop, bQuit);
        if (outcome == FileOutcome::StoreFailed) {
            bAllStored = false;
            continue;
        }
        if (outcome != FileOutcome::Stored) {
            net.Close();
            m_image.Release();
            return outcome == FileOutcome::Stopped ? TransferResult::Stopped
                   : outcome == FileOutcome::Quit  ? TransferResult::Quit
                                                   : TransferResult::Ended;
        }
    }
    m_image.Release();
    m_host.SetProgress(100);
    Log("%s", bAllStored ? "系统安装成功!\r\n" : "系统安装失败!\r\n");
    net.Close();
    m_host.EnableButtons();
    return bAllStored ? TransferResult::Installed : TransferResult::InstallFailed;
}

CImageTransfer::FileOutcome CImageTransfer::SendFile(CNet& net, const FileEntry& entry, const std::string& strPath,
                                                     const std::atomic<int>& bStop, const std::atomic<int>& bQuit)
{
    const std::string strName = EntryName(entry);
    const char* szName = strName.c_str();
    // An entry without a name names the folder itself: there is no file to open.
    CImageFile::Status status = strName.empty() ? CImageFile::Status::OpenFailed : m_image.Load(strPath);
    switch (status) {
    case CImageFile::Status::Ok:
        break;
    case CImageFile::Status::OpenFailed:
        Log("%s:     文件打开失败!\r\n", szName);
        return FileOutcome::Ended;
    case CImageFile::Status::ReadFailed:
        Log("->%s cannot be read whole (%s); the transfer ends.\r\n", szName, m_image.Error().c_str());
        return FileOutcome::Ended;
    case CImageFile::Status::TooLarge:
        Log("->%s is too large (%s; at most %llu bytes go in 65536 frames); the transfer ends.\r\n", szName,
            m_image.Error().c_str(), static_cast<unsigned long long>(MAX_IMAGE_SIZE));
        return FileOutcome::Ended;
    }
    Log("%s:     正在下载......\r\n", szName);

    const uint8_t cFileId = static_cast<uint8_t>(entry.nId & 0xFF);
    const uint64_t nSize = m_image.Size();
    const uint32_t nFrames = FrameCount(nSize);
    ReplyExpectation expect;
    expect.pSent = m_szSend;
    bool bResent = false;
    int nAcked = 0;
    for (uint32_t n = 0; n < nFrames; ++n) {
        if (bStop.load(std::memory_order_relaxed)) {
            Log("%s:     终止下载!\r\n", szName);
            return bQuit.load() ? FileOutcome::Quit : FileOutcome::Stopped;
        }
        int nLen = BuildDataFrame(m_szSend, cFileId, n, m_image.Data(), nSize);
        Answer answer = Exchange(net, nLen, expect, m_settings.nReplyTimeoutMs, bQuit, bResent);
        if (answer == Answer::Quit) {
            Log("%s:     终止下载!\r\n", szName);
            return FileOutcome::Quit;
        }
        if (answer != Answer::Success) {
            // A failure status, or a frame never acknowledged: the image on the board is incomplete.
            Log("%s:     下载失败!   已下载%d帧，已下载%d字节\r\n", szName, nAcked, nAcked * FRAME_PAYLOAD);
            return FileOutcome::Ended;
        }
        ++nAcked;
        if ((n & 63) == 63)
            ReportProgress(m_clock.NowMs());
        m_nDoneBytes += static_cast<uint64_t>(nLen - FRAME_HEADER - 2);
    }
    Log("%s:     下载帧:%d;下载字节:%d  -------下载完成!\r\n", szName, nAcked, static_cast<int>(nSize));
    return StoreFile(net, strName, cFileId, bResent, bQuit);
}

CImageTransfer::FileOutcome CImageTransfer::StoreFile(CNet& net, const std::string& strName, uint8_t cFileId,
                                                      bool bResent, const std::atomic<int>& bQuit)
{
    const char* szName = strName.c_str();
    const int64_t nSize = static_cast<int64_t>(m_image.Size());
    int nLen = BuildStoreCommand(m_szSend, cFileId);
    ReplyExpectation expect;
    expect.pSent = m_szSend;
    expect.bStore = true;
    // After a resend a second acknowledgement of a data frame may still be on its way.
    expect.nDuplicateFileSize = bResent ? nSize : -1;
    bool bStoreResent = false;
    switch (Exchange(net, nLen, expect, m_settings.nStoreTimeoutMs, bQuit, bStoreResent)) {
    case Answer::Success:
        Log("%s:     存储完成!\r\n", szName);
        return FileOutcome::Stored;
    case Answer::Failure:
        Log("%s:     存储不成功，请重新下载!\r\n", szName);
        return FileOutcome::StoreFailed;
    case Answer::NoReply:
        Log("%s:     存储无应答!\r\n", szName);
        return FileOutcome::StoreFailed;
    case Answer::Quit:
        break;
    }
    Log("%s:     终止下载!\r\n", szName);
    return FileOutcome::Quit;
}

CImageTransfer::Answer CImageTransfer::Exchange(CNet& net, int nLen, const ReplyExpectation& expect, int nTimeoutMs,
                                                const std::atomic<int>& bQuit, bool& bResent)
{
    for (int nTry = 0; nTry < m_settings.nTries; ++nTry) {
        if (nTry > 0)
            bResent = true;
        // A lost send shows as a missing reply; a send the system refuses is named once per run.
        if (net.SendTo(m_szSend, nLen, m_dest) < 0 && !m_bSendErrorShown) {
            m_bSendErrorShown = true;
            Log("->Sending to the board failed: %s\r\n", net.LastError().c_str());
        }
        ++m_nDatagramsSent;
        Answer answer = AwaitReply(net, expect, nTimeoutMs, bQuit);
        if (answer != Answer::NoReply)
            return answer;
    }
    return Answer::NoReply;
}

// Waits until a datagram passes the reply checks or the time limit passes. Datagrams that fail the
// checks (corrupt, oversized, another frame's echo, a stray sender) are dropped and the wait goes
// on towards the same deadline; only a reply that counts moves the destination to its source.
// The deadline is kept on the clock and, in case that clock stands still, also by adding up the
// slices the socket itself timed out.
CImageTransfer::Answer CImageTransfer::AwaitReply(CNet& net, const ReplyExpectation& expect, int nTimeoutMs,
                                                  const std::atomic<int>& bQuit)
{
    const uint64_t nDeadline = m_clock.NowMs() + static_cast<uint64_t>(nTimeoutMs);
    int nLeftMs = nTimeoutMs;
    int nTimedOutMs = 0;
    for (;;) {
        if (bQuit.load(std::memory_order_relaxed))
            return Answer::Quit;
        sockaddr_in from;
        int nSliceMs = std::min(nLeftMs, kQuitSliceMs);
        int n = net.ReceiveFrom(m_recv, REPLY_SIZE, from, nSliceMs);
        if (n >= 0) {
            ReplyKind kind = ClassifyReply(expect, m_recv, n);
            if (kind != ReplyKind::Ignored) {
                m_dest = from;
                return kind == ReplyKind::Success ? Answer::Success : Answer::Failure;
            }
        } else if (net.ReceiveTimedOut()) {
            nTimedOutMs += nSliceMs;
        }
        uint64_t nNow = m_clock.NowMs();
        if (nNow >= nDeadline || nTimedOutMs >= nTimeoutMs)
            return Answer::NoReply;
        uint64_t nLeft = std::min<uint64_t>(nDeadline - nNow, static_cast<uint64_t>(nTimeoutMs - nTimedOutMs));
        nLeftMs = static_cast<int>(nLeft);
    }
}

uint64_t CImageTransfer::SelectedBytes(const FileEntry* pFiles, int nFileCount, const std::string& strImageDir) const
{
    uint64_t nTotal = 0;
    for (int i = 0; i < nFileCount; ++i) {
        struct stat info {};
        if (LoadSelected(pFiles[i]) == 1 && stat(EntryPath(strImageDir, pFiles[i]).c_str(), &info) == 0)
            nTotal += static_cast<uint64_t>(info.st_size);
    }
    return nTotal;
}

void CImageTransfer::ReportProgress(uint64_t nNowMs)
{
    if (nNowMs - m_nLastProgressMs < kProgressEveryMs || m_nTotalBytes == 0)
        return;
    m_nLastProgressMs = nNowMs;
    int nPercent = static_cast<int>(std::min(m_nDoneBytes, m_nTotalBytes) * 100 / m_nTotalBytes);
    if (nPercent != m_nLastPercent) {
        m_nLastPercent = nPercent;
        m_host.SetProgress(nPercent);
    }
}
