#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/board_config.h"
#include "sim/board_monitor.h"
#include "sim/board_pty.h"
#include "sim/board_transfer_server.h"

// The virtual board in one object: a pseudo-terminal served by the boot monitor (and later the
// boot loader's console) on one thread, the UDP image transfer on another. Tests run it in
// process; tovar-board runs it as a program.
//
// With nBoards > 1 it is a line of boards on one fixture: a board is finished once its console has
// answered (when a line is served), a store command has been answered, and no datagram has come
// for nSwapDelayMs. The next board then takes its place: a fresh boot monitor and console on the
// same pseudo-terminal, the same UDP port, its files in board<k>/ of the store folder. The last
// board stays.
//
// With bUsbMonitor the boot monitor is on a second pseudo-terminal, the board's USB port, in the
// USB dialect; it exists from a board's reset until its boot loader runs (a new one for each board
// of a line), and the first pseudo-terminal, the serial line, carries only the console.
class CVirtualBoard {
public:
    explicit CVirtualBoard(const BoardConfig& config);
    ~CVirtualBoard();
    CVirtualBoard(const CVirtualBoard&) = delete;
    CVirtualBoard& operator=(const CVirtualBoard&) = delete;

    // Event lines of the monitor and the transfer; set before Start. Called on the board's threads.
    void SetLog(std::function<void(const std::string&)> fnLog) { m_fnLog = std::move(fnLog); }

    bool Start(std::string& strError);
    void Stop();
    // The serial line disappears, as when a cable is pulled: the pseudo-terminal is closed.
    void HangUp() { m_bHangUpRequest = 1; }
    bool LineOpen() const { return m_bLineOpen.load() != 0; }

    const std::string& TtyPath() const { return m_pty.SlavePath(); }
    const std::string& LinkPath() const { return m_pty.LinkPath(); }
    // The monitor's USB port now; empty while there is none.
    std::string UsbTtyPath() const;
    const std::string& UdpIp() const { return m_config.transfer.strIp; }
    int UdpPort() const { return m_pTransfer ? m_pTransfer->Port() : 0; }
    int ReplyPort() const { return m_pTransfer ? m_pTransfer->ReplyPort() : 0; }
    // "tty=<path> udp=<ip>:<port>", "none" for a part not served; " link=<path>" and
    // " reply-port=<port>" follow when those options are on.
    std::string StatusLine() const;
    // Steady-clock milliseconds of the last traffic on the line or the network; the start time before any.
    uint64_t LastActivityMs() const;
    // Which board of the line is in place, from 1.
    int BoardNumber() const { return m_nBoard.load(); }
    // Where board nBoard's files go: the store folder, or its board<k>/ when the line has several.
    std::string StoreDir(int nBoard) const;

    // Runs fn on the monitor under the lock of the line's thread.
    void InspectMonitor(const std::function<void(const CBoardMonitor&)>& fn) const;
    CBoardTransferServer::Stats TransferStats() const;

private:
    void RunLine();
    void WriteLine(int nFd, const std::string& strOut);
    // The USB port for the board in place (line thread, or Start before it).
    bool OpenUsbPort(std::string& strError);
    void CloseUsbPort(const std::string& strWhy);
    // Serves the image transfer and swaps boards; on the transfer's thread.
    void RunTransfer();
    bool BoardFinished(uint64_t nNowMs) const;
    void SwapBoard();
    void Log(const std::string& strLine) const;

    BoardConfig m_config;
    std::function<void(const std::string&)> m_fnLog;
    CBoardPty m_pty;
    CBoardPty m_usbPty;
    mutable std::mutex m_mutexUsb;   // m_strUsbTty
    std::string m_strUsbTty;
    std::string m_strFirstUsbTty;    // the first board's, for the status line
    int m_nUsbBoard = 0;             // the board whose monitor the USB port serves or served
    std::unique_ptr<CBoardMonitor> m_pMonitor;
    mutable std::mutex m_mutexMonitor;
    std::unique_ptr<CBoardTransferServer> m_pTransfer;
    std::thread m_threadLine;
    std::thread m_threadTransfer;
    std::atomic<int> m_bStop {0};
    std::atomic<int> m_bHangUpRequest {0};
    std::atomic<int> m_bLineOpen {0};
    std::atomic<uint64_t> m_nLineActivityMs {0};
    std::atomic<int> m_nBoard {1};
    uint64_t m_nStoreRepliesBefore = 0;  // store answers of the boards before this one
};
