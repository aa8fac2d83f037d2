#pragma once
#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <random>
#include <string>

#include "sim/board_config.h"
#include "sim/file_assembly.h"

// Reply statuses of the virtual board; 0 is success.
constexpr uint8_t BOARD_STATUS_OK = 0;
constexpr uint8_t BOARD_STATUS_FRAME_FAILED = 1;  // the fault option's failure at frame K
constexpr uint8_t BOARD_STATUS_STORE_FAILED = 2;  // the fault option's store failure
constexpr uint8_t BOARD_STATUS_INCOMPLETE = 3;    // store of a file with frames missing
constexpr uint8_t BOARD_STATUS_WRITE_ERROR = 4;   // the file could not be written

// The boot loader's side of the image transfer on a UDP address: checks each datagram, assembles
// each file by identifier and frame number, acknowledges, and writes a file to the store folder as
// "<id>.bin" when told to store it. A malformed datagram gets no reply. Fault options (loss,
// corruption, duplicates, late replies, failures, another source port, unanswered stores) act on
// the replies.
class CBoardTransferServer {
public:
    struct Stats {
        uint64_t nFrames = 0;      // well-formed data frames
        uint64_t nBadDatagrams = 0;
        uint64_t nReplies = 0;     // datagrams sent
        uint64_t nDropped = 0;     // replies lost on purpose
        uint64_t nStored = 0;      // files written
        uint64_t nStoreReplies = 0; // store commands answered, whatever the status
    };

    explicit CBoardTransferServer(const TransferConfig& config);
    ~CBoardTransferServer();
    CBoardTransferServer(const CBoardTransferServer&) = delete;
    CBoardTransferServer& operator=(const CBoardTransferServer&) = delete;

    // Binds the address (port 0: any free port) and makes the store folder.
    bool Open(std::string& strError);
    void Close();
    int Port() const { return m_nPort; }
    // The port replies come from with the other-port option; else the same as Port().
    int ReplyPort() const { return m_nReplyPort; }
    const std::string& Ip() const { return m_config.strIp; }

    // Serves until bStop is set, looking at it at least every 50 ms.
    void Run(const std::atomic<int>& bStop);
    // Waits up to nWaitMs for datagrams, handles all that are waiting, and sends the late replies
    // that have fallen due.
    void Serve(int nWaitMs);

    // Another board behind the same address: files half received, remembered store results and
    // replies not yet sent are dropped, and stores go to strStoreDir (made when missing). Called on
    // the thread that runs Serve. The counters go on.
    bool NextBoard(const std::string& strStoreDir, std::string& strError);

    void SetLog(std::function<void(const std::string&)> fnLog) { m_fnLog = std::move(fnLog); }
    // Whether the board's network is up: a board still at its boot monitor has none, and what
    // reaches it then is lost. Unset: always up. Called on the thread that runs Serve.
    void SetNetworkUp(std::function<bool()> fnUp) { m_fnNetworkUp = std::move(fnUp); }
    Stats GetStats() const;
    // Steady-clock milliseconds of the last datagram received; 0 before the first.
    uint64_t LastActivityMs() const { return m_nLastActivityMs.load(); }

private:
    struct PendingReply {
        uint64_t nDueMs;
        uint8_t reply[8];
        sockaddr_in to;
    };

    std::function<bool()> m_fnNetworkUp;
    void Handle(const uint8_t* pData, int nLength, const sockaddr_in& from);
    uint8_t Store(uint8_t cFileId);
    bool WriteFile(const std::string& strPath, const uint8_t* pData, size_t nSize, std::string& strError);
    void Reply(uint8_t cStatus, const uint8_t* pAnswered, const sockaddr_in& to);
    void Emit(const uint8_t* pReply, const sockaddr_in& to);
    void SendDue(uint64_t nNowMs);
    void Log(const std::string& strLine);
    bool MakeStoreDir(std::string& strError) const;

    TransferConfig m_config;
    int m_nSocket = -1;
    int m_nReplySocket = -1;
    int m_nPort = 0;
    int m_nReplyPort = 0;
    std::map<uint8_t, CFileAssembly> m_mapFiles;
    std::map<uint8_t, uint8_t> m_mapStoreResult;  // for a store command sent again after its reply was lost
    std::mt19937 m_rng;
    std::deque<PendingReply> m_queLate;
    std::function<void(const std::string&)> m_fnLog;
    std::atomic<uint64_t> m_nLastActivityMs {0};
    std::atomic<uint64_t> m_nFrames {0}, m_nBadDatagrams {0}, m_nReplies {0}, m_nDropped {0}, m_nStored {0},
        m_nStoreReplies {0};
};
