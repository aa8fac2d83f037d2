#pragma once
#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "console/file_entry.h"
#include "job/clock.h"
#include "net/image_file.h"
#include "net/transfer_frame.h"
#include "net/transfer_host.h"

class CNet;

// Endpoints and time limits of a transfer; the defaults are the system's own.
struct TransferSettings {
    std::string strBoardIp = BOARD_IP;
    int nBoardPort = NET_PORT;
    int nLocalPort = NET_PORT;   // 0: any free port
    int nSettleMs = 10000;       // pause before the first frame, while the boot loader settles
    int nReplyTimeoutMs = 500;   // per try, for a data frame
    int nStoreTimeoutMs = 60000; // per try, for a store command (the board writes flash meanwhile)
    int nTries = 5;              // sends of one frame or store command before giving up
};

// How a run ended.
enum class TransferResult {
    Installed,      // every selected file acknowledged and stored
    InstallFailed,  // every file sent, but a store failed or went unanswered
    Ended,          // a socket, file or frame failure ended the run
    Stopped,        // the stop flag was seen before a frame
    Quit,           // the quit flag cut the run short
};

// Sends the selected files of the file table to the boot loader: frames of 1024 bytes, each
// acknowledged before the next is sent (stop-and-wait), then a store command per file.
class CImageTransfer {
public:
    // The clock times the settle pause, the reply waits and the progress reports.
    CImageTransfer(ITransferHost& host, IClock& clock, const TransferSettings& settings);

    // One run over the first nFileCount entries (at most FILE_TABLE_SLOTS) of pFiles, reading the
    // files from strImageDir. bStop is read once per data frame; bQuit also cuts the settle pause
    // and any reply wait short. Opens net as the run's UDP socket and closes it at every end.
    TransferResult Run(CNet& net, const FileEntry* pFiles, int nFileCount, const std::string& strImageDir,
                       const std::atomic<int>& bStop, const std::atomic<int>& bQuit);

    // Datagrams sent during the last run, resends included.
    uint64_t DatagramsSent() const { return m_nDatagramsSent; }

private:
    enum class Answer { Success, Failure, NoReply, Quit };
    enum class FileOutcome { Stored, StoreFailed, Ended, Stopped, Quit };

    FileOutcome SendFile(CNet& net, const FileEntry& entry, const std::string& strPath,
                         const std::atomic<int>& bStop, const std::atomic<int>& bQuit);
    FileOutcome StoreFile(CNet& net, const std::string& strName, uint8_t cFileId, bool bResent,
                          const std::atomic<int>& bQuit);
    // Sends m_szSend[0..nLen) and waits for its reply, up to m_settings.nTries times.
    Answer Exchange(CNet& net, int nLen, const ReplyExpectation& expect, int nTimeoutMs,
                    const std::atomic<int>& bQuit, bool& bResent);
    Answer AwaitReply(CNet& net, const ReplyExpectation& expect, int nTimeoutMs, const std::atomic<int>& bQuit);
    uint64_t SelectedBytes(const FileEntry* pFiles, int nFileCount, const std::string& strImageDir) const;
    void ReportProgress(uint64_t nNowMs);
    void Log(const char* szFormat, ...) __attribute__((format(printf, 2, 3)));

    ITransferHost& m_host;
    IClock& m_clock;
    TransferSettings m_settings;
    CImageFile m_image;
    sockaddr_in m_dest{};                  // where the next datagram goes
    uint8_t m_szSend[FRAME_MAX + 1] = {};
    uint8_t m_recv[REPLY_SIZE + 2] = {};
    uint64_t m_nTotalBytes = 0;            // bytes of the selected files, for the progress bar
    uint64_t m_nDoneBytes = 0;
    uint64_t m_nLastProgressMs = 0;
    int m_nLastPercent = 0;
    uint64_t m_nDatagramsSent = 0;
    bool m_bSendErrorShown = false;
};
