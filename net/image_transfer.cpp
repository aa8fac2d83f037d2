#include "net/image_transfer.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "net/net.h"
#include "net/sha256.h"

namespace {

constexpr int kCancelSliceMs = 100;      // a reply wait looks at the stop and quit flags this often
constexpr uint64_t kProgressEveryMs = 250;
// An empty file's last data frame and its store command carry the same echo, so a late second
// acknowledgement of that frame could pass for the store's answer: wait this long for stragglers.
constexpr int kDuplicateQuietMs = 50;
// After a resend of that frame the answer to the other try comes about one reply time-out after the
// first: the quiet wait is then this many reply time-outs.
constexpr int kResentQuietTimeouts = 2;

std::string AddressText(const sockaddr_in& addr)
{
    char szAddr[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr.sin_addr, szAddr, sizeof szAddr);
    return std::string(szAddr) + ":" + std::to_string(ntohs(addr.sin_port));
}

}  // namespace

CImageTransfer::CImageTransfer(ITransferHost& host, IClock& clock, const TransferSettings& settings)
    : m_host(host),
      m_clock(clock),
      m_settings(settings),
      m_ReplyTimer(settings.nReplyFloorMs, std::max(settings.nReplyTimeoutMs, 1))
{
    m_settings.nTries = std::max(m_settings.nTries, 1);
    m_settings.nReplyTimeoutMs = std::max(m_settings.nReplyTimeoutMs, 1);
    m_settings.nStoreTimeoutMs = std::max(m_settings.nStoreTimeoutMs, 1);
}

namespace {

std::string Formatted(const char* szFormat, va_list args)
{
    char szText[512];
    vsnprintf(szText, sizeof szText, szFormat, args);
    return szText;
}

}  // namespace

void CImageTransfer::Log(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    m_host.AppendLog(Formatted(szFormat, args));
    va_end(args);
}

void CImageTransfer::Detail(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    m_host.AppendDetail(Formatted(szFormat, args));
    va_end(args);
}

bool CImageTransfer::Cancelled() const
{
    return m_pStop->load(std::memory_order_relaxed) != 0 || m_pQuit->load(std::memory_order_relaxed) != 0;
}

TransferReport CImageTransfer::Finish(CNet& net, TransferReport& report, TransferResult result,
                                      const std::string& strReason)
{
    net.Close();
    m_image.Release();
    report.result = result;
    report.strReason = strReason;
    return report;
}

TransferReport CImageTransfer::Run(CNet& net, const std::vector<TransferImage>& images, const std::atomic<int>& bStop,
                                   const std::atomic<int>& bQuit)
{
    m_pStop = &bStop;
    m_pQuit = &bQuit;
    std::memset(m_szSend, 0, sizeof m_szSend);
    std::memset(m_recv, 0, sizeof m_recv);
    TransferReport report;
    for (const TransferImage& image : images)
        report.images.push_back({image.nSlot, image.nId, image.strName, 0, {}, 0, 0, false});

    std::memset(&m_dest, 0, sizeof m_dest);
    m_dest.sin_family = AF_INET;
    if (m_settings.nBoardPort < 1 || m_settings.nBoardPort > 0xFFFF ||
        inet_pton(AF_INET, m_settings.strBoardIp.c_str(), &m_dest.sin_addr) != 1) {
        Log("->Board address %s port %d is not a dotted IPv4 address and port.\r\n", m_settings.strBoardIp.c_str(),
            m_settings.nBoardPort);
        return Finish(net, report, TransferResult::Ended, "the board address is not a dotted IPv4 address");
    }
    m_boardAddr = m_dest.sin_addr;
    m_dest.sin_port = htons(static_cast<uint16_t>(m_settings.nBoardPort));
    if (m_settings.nLocalPort < 0 || !net.Create(static_cast<unsigned>(m_settings.nLocalPort), m_settings.strBind)) {
        // A refused interface or address says so itself; else the port is what failed.
        std::string strWhy = net.LastError().rfind("cannot bind to ", 0) == 0
                                 ? net.LastError()
                                 : "UDP port " + std::to_string(m_settings.nLocalPort) + " cannot be opened: " +
                                       net.LastError();
        Log("->%s; nothing was sent.\r\n", strWhy.c_str());
        return Finish(net, report, TransferResult::Ended, strWhy);
    }
    if (!SleepUnlessCancelled(m_clock, m_settings.nSettleMs, bStop, bQuit)) {
        Log("终止下载!\r\n");
        return Finish(net, report, bQuit.load() ? TransferResult::Quit : TransferResult::Stopped,
                      "stopped before the first frame");
    }

    m_bSendErrorShown = false;
    m_progress = TransferProgress{};
    m_progress.nBytesTotal = TotalBytes(images);
    m_nLastProgressMs = m_clock.NowMs();
    ReportProgress(true);
    bool bAllStored = true;
    std::string strFirstStoreFailure;
    for (size_t i = 0; i < images.size(); ++i) {
        TransferImageResult& result = report.images[i];
        FileOutcome outcome = SendFile(net, images[i], result);
        if (outcome == FileOutcome::StoreFailed) {
            bAllStored = false;
            if (strFirstStoreFailure.empty())
                strFirstStoreFailure = images[i].strName + " was not stored";
            continue;
        }
        if (outcome == FileOutcome::Cancelled)
            return Finish(net, report, bQuit.load() ? TransferResult::Quit : TransferResult::Stopped,
                          images[i].strName + ": stopped");
        if (outcome == FileOutcome::Ended) {
            Log("系统安装失败!\r\n");
            return Finish(net, report, TransferResult::Ended, images[i].strName + ": " + m_strFailure);
        }
    }
    Log("%s", bAllStored ? "系统安装成功!\r\n" : "系统安装失败!\r\n");
    return Finish(net, report, bAllStored ? TransferResult::Installed : TransferResult::InstallFailed,
                  strFirstStoreFailure);
}

// Compares the bytes just loaded (not a separate look at the file, which could differ from what is
// sent) and the file's modification time with what was measured when the job was prepared.
bool CImageTransfer::ImageChanged(const TransferImage& image, std::string& strWhy) const
{
    if (image.nExpectedSize < 0)
        return false;
    if (m_image.Size() != static_cast<uint64_t>(image.nExpectedSize)) {
        strWhy = "changed since it was measured (" + std::to_string(image.nExpectedSize) + " bytes then, " +
                 std::to_string(m_image.Size()) + " now)";
        return true;
    }
    struct stat info {};
    if (image.nExpectedMtimeNs < 0 || stat(image.strPath.c_str(), &info) != 0)
        return false;
    int64_t nMtimeNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    if (nMtimeNs == image.nExpectedMtimeNs)
        return false;
    strWhy = "modified since it was measured";
    return true;
}

CImageTransfer::FileOutcome CImageTransfer::SendFile(CNet& net, const TransferImage& image,
                                                     TransferImageResult& result)
{
    const char* szName = image.strName.c_str();
    m_strFailure.clear();
    m_progress.strName = image.strName;
    // An entry without a name names the folder itself: there is no file to open.
    CImageFile::Status status = image.strName.empty() ? CImageFile::Status::OpenFailed : m_image.Load(image.strPath);
    switch (status) {
    case CImageFile::Status::Ok:
        break;
    case CImageFile::Status::OpenFailed:
        Log("%s:     文件打开失败!\r\n", szName);
        m_strFailure = "cannot be opened";
        return FileOutcome::Ended;
    case CImageFile::Status::ReadFailed:
        Log("->%s cannot be read whole (%s); the transfer ends.\r\n", szName, m_image.Error().c_str());
        m_strFailure = "cannot be read whole (" + m_image.Error() + ")";
        return FileOutcome::Ended;
    case CImageFile::Status::TooLarge:
        Log("->%s is too large (%s; at most %llu bytes go in 65536 frames); the transfer ends.\r\n", szName,
            m_image.Error().c_str(), static_cast<unsigned long long>(MAX_IMAGE_SIZE));
        m_strFailure = "too large (" + m_image.Error() + ")";
        return FileOutcome::Ended;
    }
    std::string strChange;
    if (ImageChanged(image, strChange)) {
        Log("->%s %s; the transfer ends.\r\n", szName, strChange.c_str());
        m_strFailure = strChange;
        return FileOutcome::Ended;
    }
    const uint64_t nSize = m_image.Size();
    result.nSize = nSize;
    result.strSha256 = Sha256Hex(m_image.Data(), nSize);   // before the first line, so frame timing is frames only
    Log("%s:     正在下载......\r\n", szName);
    m_progress.nFileBytes = nSize;
    m_progress.nFileBytesDone = 0;

    const uint8_t cFileId = static_cast<uint8_t>(image.nId & 0xFF);
    const uint32_t nFrames = FrameCount(nSize);
    ReplyExpectation expect;
    expect.pSent = m_szSend;
    int nAcked = 0;
    for (uint32_t n = 0; n < nFrames; ++n) {
        if (Cancelled()) {
            Log("%s:     终止下载!\r\n", szName);
            return FileOutcome::Cancelled;
        }
        int nLen = BuildDataFrame(m_szSend, cFileId, n, m_image.Data(), nSize);
        uint32_t nResendsBefore = result.nResends;
        Answer answer = Exchange(net, nLen, expect, m_settings.nReplyTimeoutMs, result.nResends, &m_ReplyTimer);
        m_progress.nResends += result.nResends - nResendsBefore;
        if (answer == Answer::Cancelled) {
            Log("%s:     终止下载!\r\n", szName);
            return FileOutcome::Cancelled;
        }
        if (answer != Answer::Success) {
            // A failure status, or a frame never acknowledged: the image on the board is incomplete.
            Log("%s:     下载失败!   已下载%d帧，已下载%d字节\r\n", szName, nAcked, nAcked * FRAME_PAYLOAD);
            m_strFailure = "frame " + std::to_string(n) +
                           (answer == Answer::Failure ? " answered with a failure status" : " never acknowledged");
            return FileOutcome::Ended;
        }
        ++nAcked;
        result.nFrames = static_cast<uint32_t>(nAcked);
        uint64_t nPayload = static_cast<uint64_t>(nLen - FRAME_HEADER - 2);
        m_progress.nFileBytesDone += nPayload;
        m_progress.nBytesDone += nPayload;
        ++m_progress.nFramesDone;
        if ((n & 63) == 63)
            ReportProgress(false);
    }
    ReportProgress(true);
    Log("%s:     下载帧:%d;下载字节:%d  -------下载完成!\r\n", szName, nAcked, static_cast<int>(nSize));
    return StoreFile(net, image, result);
}

CImageTransfer::FileOutcome CImageTransfer::StoreFile(CNet& net, const TransferImage& image,
                                                      TransferImageResult& result)
{
    const char* szName = image.strName.c_str();
    const uint8_t cFileId = static_cast<uint8_t>(image.nId & 0xFF);
    // Late or duplicated acknowledgements of the data frames must not be taken for the store's answer.
    // An empty file has one frame, so any resend so far was of that frame.
    int nQuietMs = 0;
    if (m_image.Size() == 0)
        nQuietMs = result.nResends > 0 ? kResentQuietTimeouts * m_settings.nReplyTimeoutMs : kDuplicateQuietMs;
    Drain(net, nQuietMs);
    int nLen = BuildStoreCommand(m_szSend, cFileId);
    ReplyExpectation expect;
    expect.pSent = m_szSend;
    expect.bStore = true;
    expect.nFileSize = static_cast<int64_t>(m_image.Size());
    switch (Exchange(net, nLen, expect, m_settings.nStoreTimeoutMs, result.nResends)) {
    case Answer::Success:
        Log("%s:     存储完成!\r\n", szName);
        result.bStored = true;
        return FileOutcome::Stored;
    case Answer::Failure:
        Log("%s:     存储不成功，请重新下载!\r\n", szName);
        return FileOutcome::StoreFailed;
    case Answer::NoReply:
        Log("%s:     存储无应答!\r\n", szName);
        return FileOutcome::StoreFailed;
    case Answer::Cancelled:
        break;
    }
    Log("%s:     终止下载!\r\n", szName);
    return FileOutcome::Cancelled;
}

void CImageTransfer::Drain(CNet& net, int nQuietMs)
{
    sockaddr_in from;
    uint8_t scratch[REPLY_SIZE];
    int nDrained = 0;
    // Bounded: a board that keeps sending cannot hold the store back for long.
    for (int i = 0; i < 64 && !Cancelled(); ++i) {
        int n = net.ReceiveFrom(scratch, REPLY_SIZE, from, nQuietMs);
        if (n < 0 && (net.ReceiveTimedOut() || nQuietMs <= 0))
            break;
        ++nDrained;
    }
    if (nDrained > 0)
        Detail("->%d datagram(s) waiting before the store command were dropped.\r\n", nDrained);
}

CImageTransfer::Answer CImageTransfer::Exchange(CNet& net, int nLen, const ReplyExpectation& expect, int nTimeoutMs,
                                                uint32_t& nResends, CReplyTimer* pTimer)
{
    for (int nTry = 0; nTry < m_settings.nTries; ++nTry) {
        // Nothing more goes out once a stop is asked for: no resend, no store command.
        if (Cancelled())
            return Answer::Cancelled;
        if (nTry > 0) {
            ++nResends;
            Detail("->No reply within %d ms; sent again (try %d of %d).\r\n", nTimeoutMs, nTry + 1, m_settings.nTries);
        }
        // A lost send shows as a missing reply; a send the system refuses is named once per run.
        if (net.SendTo(m_szSend, nLen, m_dest) < 0 && !m_bSendErrorShown) {
            m_bSendErrorShown = true;
            Log("->Sending to the board failed: %s\r\n", net.LastError().c_str());
        }
        const int nLimitMs = pTimer ? pTimer->LimitMs() : nTimeoutMs;
        const uint64_t nSentMs = m_clock.NowMs();
        Answer answer = AwaitReply(net, expect, nLimitMs);
        nTimeoutMs = nLimitMs;
        if (answer == Answer::NoReply && pTimer)
            pTimer->Lost();
        // Only a frame sent once gives a round trip: a reply after a resend may answer either send.
        if (answer != Answer::NoReply && answer != Answer::Cancelled && pTimer && nTry == 0)
            pTimer->Sample(static_cast<int64_t>(m_clock.NowMs() - nSentMs) * 1000);
        if (answer != Answer::NoReply)
            return answer;
    }
    return Answer::NoReply;
}

// Waits until a datagram passes the reply checks or the time limit passes. Datagrams that fail the
// checks (corrupt, oversized, another frame's echo, another sender) are dropped and the wait goes
// on towards the same deadline; only a reply that counts moves the destination to its source.
// The deadline is kept on the clock and, in case that clock stands still, also by adding up the
// slices the socket itself timed out.
CImageTransfer::Answer CImageTransfer::AwaitReply(CNet& net, const ReplyExpectation& expect, int nTimeoutMs)
{
    const uint64_t nDeadline = m_clock.NowMs() + static_cast<uint64_t>(nTimeoutMs);
    int nLeftMs = nTimeoutMs;
    int nTimedOutMs = 0;
    for (;;) {
        if (Cancelled())
            return Answer::Cancelled;
        sockaddr_in from;
        int nSliceMs = std::min(nLeftMs, kCancelSliceMs);
        int n = net.ReceiveFrom(m_recv, REPLY_SIZE, from, nSliceMs);
        if (n >= 0) {
            if (from.sin_addr.s_addr != m_boardAddr.s_addr) {
                Detail("->Datagram from %s ignored: not the board's address.\r\n", AddressText(from).c_str());
            } else {
                ReplyKind kind = ClassifyReply(expect, m_recv, n);
                if (kind != ReplyKind::Ignored) {
                    m_dest = from;
                    return kind == ReplyKind::Success ? Answer::Success : Answer::Failure;
                }
                Detail("->Datagram of %d bytes from %s ignored: not the awaited reply.\r\n", n,
                       AddressText(from).c_str());
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

uint64_t CImageTransfer::TotalBytes(const std::vector<TransferImage>& images) const
{
    uint64_t nTotal = 0;
    for (const TransferImage& image : images) {
        struct stat info {};
        if (stat(image.strPath.c_str(), &info) == 0)
            nTotal += static_cast<uint64_t>(info.st_size);
    }
    return nTotal;
}

void CImageTransfer::ReportProgress(bool bForce)
{
    uint64_t nNowMs = m_clock.NowMs();
    if (!bForce && nNowMs - m_nLastProgressMs < kProgressEveryMs)
        return;
    m_nLastProgressMs = nNowMs;
    m_host.OnProgress(m_progress);
}
