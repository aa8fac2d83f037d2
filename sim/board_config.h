#pragma once
#include <cstdint>
#include <string>

// What the virtual board's boot monitor, applets and boot-loader console do; the defaults are a
// good SAM9X25 board.
struct MonitorConfig {
    uint32_t nChipId = 0x819A05A1;     // DBGU_CIDR at 0xFFFFF240
    uint32_t nChipIdExt = 0x00000004;  // DBGU_EXID at 0xFFFFF244
    uint32_t nAppletStatus = 0;        // status word the low-level init applet leaves
    uint32_t nBootStatus = 0;          // status word the boot loader leaves
    int nBootDelayMs = 300;            // from the boot loader's run (and the last monitor command) to its console
    bool bSilentConsole = false;       // the console never answers
    int nAnswerAfter = 0;              // console bursts of Y left unanswered before the first banner
    std::string strBanner = "VarroBoot console ready\r\n";
    int nNaksPerPacket = 0;            // XMODEM: NAKs for each new packet before taking it; < 0: never taken
    int nHangUpAfterPackets = -1;      // XMODEM: the line disappears after this many packets were stored
    int nPromptMs = 100;               // XMODEM: period of the receiver's C
    int nPrompts = 80;                 // XMODEM: C sent before the receiver gives up
    int nByteTimeoutMs = 1000;         // XMODEM: a packet or answer that takes longer is given up
};

// What the image-transfer side does; the fault options are off by default.
struct TransferConfig {
    std::string strIp = "127.0.0.1";
    int nPort = 1000;              // 0: any free port
    std::string strStoreDir = ".";
    int nLossPercent = 0;          // replies dropped
    uint32_t nSeed = 1;            // for loss and corruption
    int nLateMs = 0;               // every reply delayed
    bool bDuplicateReplies = false;
    int nCorruptPercent = 0;       // replies with one byte changed
    int nFailAtFrame = -1;         // data frame number answered with a failure status
    bool bStoreFail = false;       // every store command answered with a failure status
    bool bStoreSilent = false;     // store commands are neither carried out nor answered
    bool bReplyFromOtherPort = false;
};

struct BoardConfig {
    MonitorConfig monitor;
    TransferConfig transfer;
    bool bMonitor = true;          // the pseudo-terminal with the monitor and console
    bool bTransfer = true;         // the UDP image transfer
    std::string strLinkPath;       // a symbolic link to the pseudo-terminal, when not empty
    int nBoards = 1;               // boards served in turn, as on a production line (see CVirtualBoard)
    int nSwapDelayMs = 2000;       // a finished board is swapped after this long without a datagram
    // The first board's boot loader runs already: its network is up from the start (a transfer
    // alone). Otherwise a board answers UDP only once its boot loader's console is up.
    bool bBooted = false;
};
