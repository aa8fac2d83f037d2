#include "bench/serial_relay.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace {

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CSerialRelay::CSerialRelay(std::string strFarPath, const LineTiming& timing)
    : m_strFarPath(std::move(strFarPath)), m_timing(timing), m_nByteNs(1000000000LL / std::max(timing.nBytesPerS, 1))
{
}

CSerialRelay::~CSerialRelay() { Stop(); }

bool CSerialRelay::Start(std::string& strError)
{
    if (!m_nearPty.Create(strError))
        return false;
    m_nFar = ::open(m_strFarPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio {};
    if (m_nFar < 0 || tcgetattr(m_nFar, &tio) != 0) {
        strError = m_strFarPath + ": " + std::strerror(errno);
        m_nearPty.Close();
        return false;
    }
    cfmakeraw(&tio);
    tcsetattr(m_nFar, TCSANOW, &tio);
    m_nTimerBaseNs = NowNs();
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CSerialRelay::Stop()
{
    m_bStop = 1;
    if (m_thread.joinable())
        m_thread.join();
    if (m_nFar >= 0)
        ::close(m_nFar);
    m_nFar = -1;
    m_nearPty.Close();
}

double CSerialRelay::WireLimitS() const
{
    return static_cast<double>(BytesOut() + BytesIn()) * static_cast<double>(m_nByteNs) / 1e9 +
           static_cast<double>(m_nAdapterWaitNs.load()) / 1e9;
}

bool CSerialRelay::Take(int nFd, int nDirection, int64_t nNowNs)
{
    uint8_t buffer[4096];
    ssize_t nRead = ::read(nFd, buffer, sizeof buffer);
    if (nRead == 0 || (nRead < 0 && errno != EAGAIN && errno != EINTR))
        return false;  // that end went away
    // What was sent in one piece arrives in one piece, when its last byte is through: the far end
    // acts on whole packets and commands, and a byte-by-byte relay would only add wake-ups.
    const int64_t nDue = std::max(nNowNs, m_nWireFreeNs[nDirection]) + m_nByteNs * std::max<ssize_t>(nRead, 0);
    m_nWireFreeNs[nDirection] = nDue;
    for (ssize_t i = 0; i < nRead; ++i)
        m_queue[nDirection].push_back({nDue, buffer[i]});
    m_nBytes[nDirection] += static_cast<uint64_t>(std::max<ssize_t>(nRead, 0));
    return true;
}

bool CSerialRelay::WriteAll(int nFd, const uint8_t* pData, size_t nLength)
{
    size_t nDone = 0;
    while (nDone < nLength && !m_bStop.load()) {
        ssize_t nWritten = ::write(nFd, pData + nDone, nLength - nDone);
        if (nWritten > 0) {
            nDone += static_cast<size_t>(nWritten);
        } else if (nWritten < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd pfd {nFd, POLLOUT, 0};
            ::poll(&pfd, 1, 10);
        }
    }
    return true;
}

int64_t CSerialRelay::Deliver(int nDirection, int64_t nNowNs)
{
    std::deque<Pending>& queue = m_queue[nDirection];
    const int nTo = nDirection == 0 ? m_nFar : m_nearPty.MasterFd();
    const size_t nPacket = static_cast<size_t>(std::max(m_timing.nPacketBytes, 1));
    const int64_t nLatencyNs = static_cast<int64_t>(m_timing.nLatencyMs) * 1000000;
    const bool bAdapter = nDirection == 1 && nLatencyNs > 0;
    uint8_t buffer[4096];
    while (!queue.empty()) {
        int64_t nRelease = queue.front().nDueNs;
        size_t nLimit = sizeof buffer;
        bool bTimer = false;
        if (bAdapter) {
            // The timer runs out every nLatencyMs after the adapter last sent: a partial packet goes
            // then, a full one as soon as its last byte has arrived.
            const int64_t nSince = std::max<int64_t>(nRelease - m_nTimerBaseNs, 1);
            const int64_t nExpiry = m_nTimerBaseNs + (nSince + nLatencyNs - 1) / nLatencyNs * nLatencyNs;
            if (queue.size() >= nPacket && queue[nPacket - 1].nDueNs <= nExpiry) {
                nRelease = queue[nPacket - 1].nDueNs;
            } else {
                nRelease = nExpiry;
                bTimer = true;
            }
            nLimit = nPacket;
        }
        if (nRelease > nNowNs)
            return nRelease;
        size_t nTake = 0;
        const int64_t nUpTo = bAdapter ? nRelease : nNowNs;
        while (nTake < queue.size() && nTake < nLimit && queue[nTake].nDueNs <= nUpTo)
            buffer[nTake] = queue[nTake].cByte, ++nTake;
        if (bAdapter) {
            m_nTimerBaseNs = nRelease;
            if (bTimer) {
                ++m_nTimerFlushes;
                m_nAdapterWaitNs += nRelease - queue.front().nDueNs;
            }
        }
        queue.erase(queue.begin(), queue.begin() + static_cast<long>(nTake));
        if (!WriteAll(nTo, buffer, nTake))
            return -1;
    }
    return -1;
}

void CSerialRelay::Run()
{
    while (!m_bStop.load()) {
        int64_t nNow = NowNs();
        int64_t nNext = -1;
        for (int nDirection : {0, 1}) {
            int64_t nDue = Deliver(nDirection, nNow);
            if (nDue >= 0 && (nNext < 0 || nDue < nNext))
                nNext = nDue;
        }
        int64_t nWaitNs = nNext < 0 ? 50000000 : std::max<int64_t>(nNext - nNow, 0);
        timespec wait {static_cast<time_t>(nWaitNs / 1000000000), static_cast<long>(nWaitNs % 1000000000)};
        pollfd pfds[2] = {{m_nearPty.MasterFd(), POLLIN, 0}, {m_nFar, POLLIN, 0}};
        if (::ppoll(pfds, 2, &wait, nullptr) <= 0)
            continue;
        nNow = NowNs();
        if (pfds[0].revents & POLLIN)
            Take(pfds[0].fd, 0, nNow);
        // The far end went away (a USB port that the board closed): so does the near one.
        if (((pfds[1].revents & POLLIN) && !Take(pfds[1].fd, 1, nNow)) || (pfds[1].revents & (POLLHUP | POLLERR))) {
            m_nearPty.Close();
            break;
        }
    }
}
