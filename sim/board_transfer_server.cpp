#include "sim/board_transfer_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/clock.h"
#include "net/transfer_frame.h"

namespace {

constexpr int RECEIVE_BUFFER = 2048;
constexpr int MAX_DATAGRAMS_PER_ROUND = 256;

int OpenUdp(const std::string& strIp, int nPort, int& nBoundPort, std::string& strError)
{
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    if (inet_pton(AF_INET, strIp.c_str(), &addr.sin_addr) != 1) {
        strError = strIp + ": not an IPv4 address";
        return -1;
    }
    int nSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (nSocket < 0 || ::bind(nSocket, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        strError = "UDP " + strIp + ":" + std::to_string(nPort) + ": " + std::strerror(errno);
        if (nSocket >= 0)
            ::close(nSocket);
        return -1;
    }
    socklen_t nLength = sizeof(addr);
    getsockname(nSocket, reinterpret_cast<sockaddr*>(&addr), &nLength);
    nBoundPort = ntohs(addr.sin_port);
    return nSocket;
}

}  // namespace

CBoardTransferServer::CBoardTransferServer(const TransferConfig& config) : m_config(config), m_rng(config.nSeed) {}

CBoardTransferServer::~CBoardTransferServer() { Close(); }

bool CBoardTransferServer::Open(std::string& strError)
{
    Close();
    if (!MakeStoreDir(strError))
        return false;
    m_nSocket = OpenUdp(m_config.strIp, m_config.nPort, m_nPort, strError);
    if (m_nSocket < 0)
        return false;
    m_nReplySocket = m_nSocket;
    m_nReplyPort = m_nPort;
    if (m_config.bReplyFromOtherPort) {
        m_nReplySocket = OpenUdp(m_config.strIp, 0, m_nReplyPort, strError);
        if (m_nReplySocket < 0) {
            Close();
            return false;
        }
    }
    return true;
}

bool CBoardTransferServer::MakeStoreDir(std::string& strError) const
{
    std::error_code ec;
    std::filesystem::create_directories(m_config.strStoreDir, ec);
    if (ec) {
        strError = m_config.strStoreDir + ": " + ec.message();
        return false;
    }
    return true;
}

bool CBoardTransferServer::NextBoard(const std::string& strStoreDir, std::string& strError)
{
    m_mapFiles.clear();
    m_mapStoreResult.clear();
    m_queLate.clear();
    m_config.strStoreDir = strStoreDir;
    return MakeStoreDir(strError);
}

void CBoardTransferServer::Close()
{
    if (m_nReplySocket >= 0 && m_nReplySocket != m_nSocket)
        ::close(m_nReplySocket);
    if (m_nSocket >= 0)
        ::close(m_nSocket);
    m_nSocket = m_nReplySocket = -1;
}

void CBoardTransferServer::Log(const std::string& strLine)
{
    if (m_fnLog)
        m_fnLog(strLine);
}

CBoardTransferServer::Stats CBoardTransferServer::GetStats() const
{
    Stats stats;
    stats.nFrames = m_nFrames.load();
    stats.nBadDatagrams = m_nBadDatagrams.load();
    stats.nReplies = m_nReplies.load();
    stats.nDropped = m_nDropped.load();
    stats.nStored = m_nStored.load();
    stats.nStoreReplies = m_nStoreReplies.load();
    return stats;
}

void CBoardTransferServer::Run(const std::atomic<int>& bStop)
{
    while (!bStop.load())
        Serve(50);
}

void CBoardTransferServer::Serve(int nWaitMs)
{
    if (m_nSocket < 0)
        return;
    // Both sockets listen: a host that follows the replies' source port sends there.
    int nSockets = m_nReplySocket == m_nSocket ? 1 : 2;
    pollfd pfds[2] = {{m_nSocket, POLLIN, 0}, {m_nReplySocket, POLLIN, 0}};
    int nTimeout = std::max(nWaitMs, 0);
    if (!m_queLate.empty()) {
        uint64_t nNow = SystemClock().NowMs();
        uint64_t nDue = m_queLate.front().nDueMs;
        nTimeout = std::min<int>(nTimeout, nDue > nNow ? static_cast<int>(nDue - nNow) : 0);
    }
    if (::poll(pfds, static_cast<nfds_t>(nSockets), nTimeout) > 0) {
        uint8_t buffer[RECEIVE_BUFFER];
        for (int i = 0; i < nSockets; ++i) {
            for (int nCount = 0; nCount < MAX_DATAGRAMS_PER_ROUND; ++nCount) {
                sockaddr_in from {};
                socklen_t nFromLength = sizeof(from);
                ssize_t nLength = ::recvfrom(pfds[i].fd, buffer, sizeof(buffer), MSG_TRUNC,
                                             reinterpret_cast<sockaddr*>(&from), &nFromLength);
                if (nLength < 0)
                    break;
                if (m_fnNetworkUp && !m_fnNetworkUp())
                    continue;
                Handle(buffer, nLength > RECEIVE_BUFFER ? -1 : static_cast<int>(nLength), from);
            }
        }
        m_nLastActivityMs = SystemClock().NowMs();
    }
    SendDue(SystemClock().NowMs());
}

void CBoardTransferServer::Handle(const uint8_t* pData, int nLength, const sockaddr_in& from)
{
    ParsedFrame frame;
    if (nLength < 0 || !ParseFrame(pData, nLength, frame)) {
        ++m_nBadDatagrams;
        return;
    }
    if (frame.cType == CMD_STORE) {
        if (m_config.bStoreSilent) {
            Log("store of file " + std::to_string(frame.cFileId) + " left unanswered");
            return;
        }
        Reply(Store(frame.cFileId), pData, from);
        ++m_nStoreReplies;
        return;
    }
    ++m_nFrames;
    if (m_config.nFailAtFrame >= 0 && frame.nFrame == m_config.nFailAtFrame) {
        Reply(BOARD_STATUS_FRAME_FAILED, pData, from);
        return;
    }
    m_mapStoreResult.erase(frame.cFileId);
    m_mapFiles[frame.cFileId].PutFrame(frame.nFrame, frame.pPayload, static_cast<size_t>(frame.nPayload),
                                       frame.nLengthField != FULL_FRAME_LENGTH_FIELD);
    Reply(BOARD_STATUS_OK, pData, from);
}

uint8_t CBoardTransferServer::Store(uint8_t cFileId)
{
    CFileAssembly& file = m_mapFiles[cFileId];
    auto itDone = m_mapStoreResult.find(cFileId);
    if (file.Empty() && itDone != m_mapStoreResult.end())
        return itDone->second;  // the same store command again
    std::string strName = std::to_string(cFileId) + ".bin";
    uint8_t cStatus = BOARD_STATUS_OK;
    std::string strError;
    if (m_config.bStoreFail) {
        cStatus = BOARD_STATUS_STORE_FAILED;
        strError = "store failure requested";
    } else if (!file.Complete()) {
        cStatus = BOARD_STATUS_INCOMPLETE;
        strError = "frames missing";
    } else if (!WriteFile(m_config.strStoreDir + "/" + strName, file.Data(), file.Size(), strError)) {
        cStatus = BOARD_STATUS_WRITE_ERROR;
    }
    if (cStatus == BOARD_STATUS_OK) {
        ++m_nStored;
        Log("stored file " + std::to_string(cFileId) + " (" + std::to_string(file.Size()) + " bytes) as " + strName);
        file.Clear();
    } else {
        Log("store of file " + std::to_string(cFileId) + " failed: " + strError);
    }
    m_mapStoreResult[cFileId] = cStatus;
    return cStatus;
}

bool CBoardTransferServer::WriteFile(const std::string& strPath, const uint8_t* pData, size_t nSize,
                                     std::string& strError)
{
    // Written aside and renamed, so a reader never sees half a file.
    std::string strTemp = strPath + ".part";
    int nFd = ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool bOk = nFd >= 0;
    for (size_t nDone = 0; bOk && nDone < nSize;) {
        ssize_t nWritten = ::write(nFd, pData + nDone, nSize - nDone);
        if (nWritten < 0 && errno == EINTR)
            continue;
        bOk = nWritten > 0;
        nDone += bOk ? static_cast<size_t>(nWritten) : 0;
    }
    if (!bOk)
        strError = strTemp + ": " + std::strerror(errno);
    if (nFd >= 0 && ::close(nFd) != 0 && bOk) {
        strError = strTemp + ": " + std::strerror(errno);
        bOk = false;
    }
    if (bOk && ::rename(strTemp.c_str(), strPath.c_str()) != 0) {
        strError = strPath + ": " + std::strerror(errno);
        bOk = false;
    }
    if (!bOk)
        ::unlink(strTemp.c_str());
    return bOk;
}

void CBoardTransferServer::Reply(uint8_t cStatus, const uint8_t* pAnswered, const sockaddr_in& to)
{
    PendingReply pending {};
    BuildReply(pending.reply, cStatus, pAnswered);
    if (m_config.nLateMs <= 0) {
        Emit(pending.reply, to);
        return;
    }
    pending.nDueMs = SystemClock().NowMs() + static_cast<uint64_t>(m_config.nLateMs);
    pending.to = to;
    m_queLate.push_back(pending);
}

void CBoardTransferServer::SendDue(uint64_t nNowMs)
{
    while (!m_queLate.empty() && m_queLate.front().nDueMs <= nNowMs) {
        Emit(m_queLate.front().reply, m_queLate.front().to);
        m_queLate.pop_front();
    }
}

void CBoardTransferServer::Emit(const uint8_t* pReply, const sockaddr_in& to)
{
    if (m_config.nLossPercent > 0 && static_cast<int>(m_rng() % 100) < m_config.nLossPercent) {
        ++m_nDropped;
        return;
    }
    uint8_t reply[REPLY_SIZE];
    std::memcpy(reply, pReply, REPLY_SIZE);
    if (m_config.nCorruptPercent > 0 && static_cast<int>(m_rng() % 100) < m_config.nCorruptPercent)
        reply[m_rng() % REPLY_SIZE] ^= static_cast<uint8_t>(1 + m_rng() % 255);
    int nCopies = m_config.bDuplicateReplies ? 2 : 1;
    for (int i = 0; i < nCopies; ++i) {
        ::sendto(m_nReplySocket, reply, REPLY_SIZE, 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
        ++m_nReplies;
    }
}
