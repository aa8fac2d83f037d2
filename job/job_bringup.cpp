#include <cctype>
#include <cstdio>

#include "job/board_files.h"
#include "job/job.h"
#include "net/image_file.h"
#include "samba/monitor_error.h"

namespace {

constexpr int32_t CHIP_ID_ADDRESS = static_cast<int32_t>(0xFFFFF240);
constexpr uint32_t CHIP_ID_MASK = 0xFFF0FFE0;
constexpr uint32_t CHIP_ID_SAM9X25 = 0x819005A0;
constexpr int32_t APPLET_ADDRESS = 0x300000;
constexpr int32_t MAILBOX_COMMAND = 0x300004;
constexpr int32_t MAILBOX_STATUS = 0x300008;
constexpr int32_t MAILBOX_ARG0 = 0x30000C;
constexpr int32_t MAILBOX_ARG2 = 0x300014;
constexpr int32_t MAILBOX_ARG3 = 0x300018;
constexpr int32_t MAILBOX_ARG4 = 0x30001C;
constexpr int32_t MAILBOX_ARG5 = 0x300020;

struct WordWrite {
    int32_t nAddress;
    int32_t nValue;
};

std::string Hex(int32_t nValue)
{
    char szText[16];
    std::snprintf(szText, sizeof szText, "0x%08X", static_cast<uint32_t>(nValue));
    return szText;
}

}  // namespace

// Closes the device and drops the wrapper; the console handshake follows.
void CJob::EndBringUp()
{
    if (m_pBootDll)
        m_pBootDll->CloseDevice(m_hDevice);
    m_pBootDll.reset();
}

// Ends a bring-up that did not complete; the cause (unless a failed call already gave it) is the
// job's reason should no console answer in the fallback wait.
BringUpResult CJob::BreakOff(const std::string& strCause)
{
    EndBringUp();
    if (m_bStop.load())
        return BringUpResult::Stopped;
    if (!strCause.empty())
        m_strBringUpCause = strCause;
    return BringUpResult::BrokenOff;
}

// A failed call ends the bring-up with one line that names the call and the cause.
bool CJob::BringUpCall(const char* szWhat, int32_t nError)
{
    if (nError == 0)
        return true;
    // The raw word goes to the detailed log, also when a stop cut the call short.
    AppendDetail(std::string("->") + szWhat + " on " + m_strMonitorName + ": boot monitor error word " + Hex(nError) +
                 ".\r\n");
    std::string strError = m_pBootDll->ErrorText(nError);
    if (!m_bStop.load())
        AppendLog(std::string("->") + szWhat + " failed on " + m_strMonitorName + ": " + strError + ".\r\n");
    m_strBringUpCause = std::string(szWhat) + " failed: " + strError;
    m_strBringUpCause[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(m_strBringUpCause[0])));
    return false;
}

BringUpResult CJob::BringUp()
{
    EnterStage(JobStage::BringUp);
    m_strBringUpCause.clear();
    m_pBootDll = std::make_unique<CAt91BootDll>(m_fnBackendFactory);
    m_pBootDll->SetCancelFlag(&m_bStop);
    // With a USB port the monitor is there, the console on the serial line; the applets are told
    // their link (argument 0: 1 the serial line, 0 USB).
    const bool bUsb = !m_Request.strMonitorPort.empty();
    const int32_t nLinkType = bUsb ? 0 : 1;
    m_strMonitorName = bUsb ? m_Request.strMonitorPort : "COM" + std::to_string(m_nComPort);
    if (bUsb) {
        m_pBootDll->SetUsbLink(m_Request.nMonitorWaitMs);
        AppendLog("->等待引导监控的 USB 口 / Waiting for the boot monitor's USB port " + m_Request.strMonitorPort + " (at most " +
                  std::to_string((m_Request.nMonitorWaitMs + 999) / 1000) + " s).\r\n");
    }
    const std::string& strDevice = bUsb ? m_Request.strMonitorPort : m_Request.strDevice;
    m_hDevice = 0;
    m_pBootDll->OpenDevice(strDevice.c_str(), m_hDevice);
    if (m_hDevice == 0) {
        // A stop cuts the connect short: the stop line is the only report then.
        if (m_bStop.load()) {
            EndBringUp();
            return BringUpResult::Stopped;
        }
        std::string strWhy = m_pBootDll->LastOpenError();
        std::string strCause = strDevice + " did not open for the boot monitor" +
                               (strWhy.empty() ? std::string() : ": " + strWhy);
        AppendLog("->" + strCause + ".\r\n");
        if (!bUsb)
            return BreakOff(strCause);
        // No USB port, no monitor: the board is not at its ROM monitor, and no console wait follows.
        EndBringUp();
        m_strBringUpCause = strCause;
        return BringUpResult::Failed;
    }
    CAt91BootDll& dll = *m_pBootDll;
    int32_t error_code = 0;
    int32_t uValue = 0;
    dll.ReadWord(m_hDevice, uValue, CHIP_ID_ADDRESS, error_code);
    if (m_bStop.load()) {
        EndBringUp();
        return BringUpResult::Stopped;
    }
    bool bChipRead = BringUpCall("Reading the chip identifier", error_code);
    if (!bChipRead)
        uValue = 0;  // a failed read shows 0 and fails the check, but the job fails with the read's cause
    m_Result.nChipId = static_cast<uint32_t>(uValue);
    m_Result.bChipIdRead = bChipRead;
    char messageBuf[64];
    std::snprintf(messageBuf, sizeof messageBuf, "当前芯片Chip ID: 0x%08x", static_cast<uint32_t>(uValue));
    AppendLog(messageBuf);
    if (!bChipRead || (static_cast<uint32_t>(uValue) & CHIP_ID_MASK) != CHIP_ID_SAM9X25) {
        AppendLog("\r\nChip ID match Fail.\r\n");
        EndBringUp();
        return bChipRead ? BringUpResult::ChipRejected : BringUpResult::Failed;
    }
    AppendLog("Chip ID match.\r\n");

    // Runs one applet: load the file, write its arguments and a zero command, jump, read the mailbox.
    // bLastRun: the boot loader, after whose run the monitor's USB port may go away, as the boot
    // loader takes the chip over; that is no failure (bGone tells).
    bool bGone = false;
    auto runApplet = [&](const char* szFile, const char* szOpenError, std::initializer_list<WordWrite> args,
                         uint32_t& nStatus, bool bLastRun) -> bool {
        // The file goes to the board as one block; a file that cannot be read whole counts as missing.
        CImageFile image;
        if (image.Load(m_Request.strWorkDir + "/" + szFile) != CImageFile::Status::Ok) {
            AppendLog(szOpenError);
            m_strBringUpCause = std::string(szFile) + " could not be read";
            return false;
        }
        dll.WriteBlock(m_hDevice, APPLET_ADDRESS, image.Data(), static_cast<int32_t>(image.Size()), error_code);
        image.Release();
        if (!BringUpCall("Loading the block at 0x00300000", error_code))
            return false;
        for (const WordWrite& arg : args) {
            dll.WriteWord(m_hDevice, arg.nValue, arg.nAddress, error_code);
            if (!BringUpCall(("Writing the word at " + Hex(arg.nAddress)).c_str(), error_code))
                return false;
        }
        dll.WriteWord(m_hDevice, 0, MAILBOX_COMMAND, error_code);
        if (!BringUpCall("Writing the applet command", error_code))
            return false;
        auto gone = [&] { return bUsb && bLastRun && error_code == MON_ERR_LINE_LOST && !m_bStop.load(); };
        dll.Jump(m_hDevice, APPLET_ADDRESS, error_code);
        if (!gone() && !BringUpCall("Running the code at 0x00300000", error_code))
            return false;
        if (error_code == 0)
            dll.ReadWord(m_hDevice, uValue, MAILBOX_COMMAND, error_code);
        if (!gone() && !BringUpCall("Reading the applet command word", error_code))
            return false;
        if (error_code == 0)
            dll.ReadWord(m_hDevice, uValue, MAILBOX_STATUS, error_code);
        if (gone()) {
            bGone = true;
            uValue = 0;
        } else if (!BringUpCall("Reading the applet status word", error_code)) {
            return false;
        }
        nStatus = static_cast<uint32_t>(uValue);
        return !m_bStop.load();
    };

    uint32_t nStatus = 0;
    if (!runApplet(LOWLEVEL_APPLET, "->Failed to open lowlevelinit file.\r\n",
                   {{MAILBOX_ARG0, nLinkType}, {MAILBOX_ARG2, 0}}, nStatus, false))
        return BreakOff({});
    if (nStatus != 0) {
        AppendLog("->底层初始化程序返回错误 / The low-level init applet reported status " + Hex(static_cast<int32_t>(nStatus)) + ".\r\n");
        return BreakOff("the low-level init applet reported status " + Hex(static_cast<int32_t>(nStatus)));
    }
    if (!runApplet(BOOT_LOADER, "->Failed to open extram file.\r\n",
                   {{MAILBOX_ARG0, nLinkType}, {MAILBOX_ARG2, 1}, {MAILBOX_ARG3, 0}, {MAILBOX_ARG4, 16}, {MAILBOX_ARG5, 0}},
                   nStatus, true))
        return BreakOff({});
    if (bGone)
        AppendLog("->引导监控的 USB 口已关闭, 引导程序已运行 / The boot monitor's USB port went away: the boot loader runs.\r\n");
    AppendLog(nStatus == 0 ? "->Extram Ok.\r\n" : "->Extram Error.\r\n");
    if (nStatus != 0)
        return BreakOff("the boot loader reported status " + Hex(static_cast<int32_t>(nStatus)));
    EndBringUp();
    return BringUpResult::Completed;
}
