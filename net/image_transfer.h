#pragma once
#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/clock.h"
#include "net/image_file.h"
#include "net/transfer_frame.h"
#include "net/transfer_host.h"
#include "net/reply_timer.h"
#include "net/transfer_image.h"

class CNet;

// Endpoints and time limits of a transfer; the defaults are the system's own.
struct TransferSettings {
    std::string strBoardIp = BOARD_IP;
    int nBoardPort = NET_PORT;
    int nLocalPort = NET_PORT;   // 0: any free port
    int nSettleMs = 10000;       // pause before the first frame, while the boot loader settles
    int nReplyTimeoutMs = 500;   // per try, for a data frame: the most its measured limit may grow to
    int nReplyFloorMs = 1;       // the least a data frame's measured limit may shrink to (the clock counts ms)
    int nStoreTimeoutMs = 60000; // per try, for a store command (the board writes flash meanwhile)
    int nTries = 5;              // sends of one frame or store command before giving up
    std::string strBind;         // empty: all interfaces; else an interface name or a local IPv4 address
};

// Sends files to the boot loader: frames of 1024 bytes, each acknowledged before the next is
// sent (stop-and-wait), then a store command per file whose answer must confirm it.
class CImageTransfer {
public:
    // The clock times the settle pause, the reply waits and the progress reports.
    CImageTransfer(ITransferHost& host, IClock& clock, const TransferSettings& settings);

    // One run over the files, in order. bStop and bQuit cut the settle pause and every reply wait
    // short, and nothing is sent after either is seen. Opens net as the run's UDP socket, bound as
    // strBind says, and closes it at every end. Only datagrams from the board's address count as
    // replies.
    TransferReport Run(CNet& net, const std::vector<TransferImage>& images, const std::atomic<int>& bStop,
                       const std::atomic<int>& bQuit);

private:
    enum class Answer { Success, Failure, NoReply, Cancelled };
    enum class FileOutcome { Stored, StoreFailed, Ended, Cancelled };

    FileOutcome SendFile(CNet& net, const TransferImage& image, TransferImageResult& result);
    FileOutcome StoreFile(CNet& net, const TransferImage& image, TransferImageResult& result);
    // Sends m_szSend[0..nLen) and waits for its reply, up to m_settings.nTries times.
    // With pTimer, each try waits the timer's limit and the timer learns from the reply or its loss.
    Answer Exchange(CNet& net, int nLen, const ReplyExpectation& expect, int nTimeoutMs, uint32_t& nResends,
                    CReplyTimer* pTimer = nullptr);
    Answer AwaitReply(CNet& net, const ReplyExpectation& expect, int nTimeoutMs);
    // Throws away datagrams already waiting; for nQuietMs > 0 also those that follow within it.
    void Drain(CNet& net, int nQuietMs);
    bool Cancelled() const;
    bool ImageChanged(const TransferImage& image, std::string& strWhy) const;
    uint64_t TotalBytes(const std::vector<TransferImage>& images) const;
    void ReportProgress(bool bForce);
    void Log(const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
    void Detail(const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
    TransferReport Finish(CNet& net, TransferReport& report, TransferResult result, const std::string& strReason);

    ITransferHost& m_host;
    IClock& m_clock;
    TransferSettings m_settings;
    CReplyTimer m_ReplyTimer;              // the data frames' reply limit, from the measured round trip
    CImageFile m_image;
    const std::atomic<int>* m_pStop = nullptr;
    const std::atomic<int>* m_pQuit = nullptr;
    sockaddr_in m_dest{};                  // where the next datagram goes
    in_addr m_boardAddr{};                 // replies count only from here
    uint8_t m_szSend[FRAME_MAX + 1] = {};
    uint8_t m_recv[REPLY_SIZE + 2] = {};
    TransferProgress m_progress;
    uint64_t m_nLastProgressMs = 0;
    bool m_bSendErrorShown = false;
    std::string m_strFailure;              // why the current file ended the run, in words
};
