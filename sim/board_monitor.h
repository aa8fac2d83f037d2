#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sim/board_config.h"
#include "sim/board_console.h"
#include "sim/board_memory.h"
#include "sim/board_xmodem_receiver.h"
#include "sim/board_xmodem_sender.h"

// What answers on the virtual board's serial line: the ROM monitor (terminal and normal mode,
// the O/H/W reads and writes, S and R over XMODEM, G, N, T, V), the applets it runs, and, once
// the boot loader has run well and its boot delay has passed, the boot loader's console.
// It is a state machine fed with received bytes and with the time; it never blocks. With
// MonitorConfig::bUsbLink it speaks the USB port's dialect: S<a>,<n># takes n raw bytes, R answers
// raw, and an applet ends without the 0x06 byte.
class CBoardMonitor {
public:
    enum class Mode { Terminal, Normal, XmodemIn, XmodemOut, RawIn, Console, Crashed };
    static constexpr uint32_t RUN_ADDRESS = 0x300000;
    static constexpr uint32_t MAILBOX_COMMAND = 0x300004;
    static constexpr uint32_t MAILBOX_STATUS = 0x300008;
    static constexpr uint32_t MAILBOX_ARG0 = 0x30000C;

    explicit CBoardMonitor(const MonitorConfig& config);
    ~CBoardMonitor();

    // Bytes from the host, all from one read; what the board answers is appended to strOut.
    void Receive(const uint8_t* pData, size_t nLength, uint64_t nNowMs, std::string& strOut);
    // Timed events: XMODEM prompts and time-outs, the switch to the console.
    void Tick(uint64_t nNowMs, std::string& strOut);
    // Milliseconds until Tick has something to do; -1 when nothing is pending.
    int MsUntilNextEvent(uint64_t nNowMs) const;

    // Event lines (runs, stores, crashes) for a log.
    void SetLog(std::function<void(const std::string&)> fnLog) { m_fnLog = std::move(fnLog); }

    Mode GetMode() const { return m_eMode; }
    int Runs() const { return m_nRuns; }
    bool LowLevelDone() const { return m_bLowLevelDone; }
    bool BootDone() const { return m_bBootDone; }
    const std::string& CrashReason() const { return m_strCrash; }
    // The hang-up fault fired: the line's owner should close the line now, sending nothing more.
    bool HangUpRequested() const { return m_bHangUp; }
    const CBoardMemory& Memory() const { return m_memory; }
    const CBoardConsole& Console() const { return m_console; }

private:
    void ParseByte(uint8_t cByte, uint64_t nNowMs, std::string& strOut);
    void Execute(uint64_t nNowMs, std::string& strOut);
    void Run(uint32_t nTarget, uint64_t nNowMs, std::string& strOut);
    void FinishTransfer(std::string& strOut);
    void Crash(const std::string& strReason);
    void Log(const std::string& strLine);
    bool StorePacket(uint64_t nOffset, const uint8_t* pData);
    // Raw block bytes; returns how many it took.
    size_t ReceiveRaw(const uint8_t* pData, size_t nLength);

    MonitorConfig m_config;
    CBoardMemory m_memory;
    CBoardConsole m_console;
    std::unique_ptr<CBoardXmodemReceiver> m_pReceiver;
    std::unique_ptr<CBoardXmodemSender> m_pSender;
    std::function<void(const std::string&)> m_fnLog;

    Mode m_eMode = Mode::Terminal;
    Mode m_eReturnMode = Mode::Terminal;  // where an XMODEM session returns to
    std::string m_strCrash;
    bool m_bHangUp = false;

    // The command being parsed: opcode letter, hex number, address once a comma was seen.
    char m_cOp = 0;
    uint32_t m_nNumber = 0;
    uint32_t m_nCommaAddress = 0;
    bool m_bComma = false;
    uint32_t m_nAddress = 0;  // kept between commands: a read without a comma reuses it

    uint32_t m_nTransferAddress = 0;
    uint64_t m_nPacketsStored = 0;
    uint32_t m_nRawLeft = 0;     // bytes of the raw block still to come
    uint32_t m_nRawDone = 0;
    bool m_bLoaded = false;  // an S to the run address since the last run
    int m_nRuns = 0;
    bool m_bLowLevelDone = false;
    bool m_bBootDone = false;
    uint64_t m_nConsoleAtMs = 0;
};
