#include <gtest/gtest.h>

#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "samba/monitor_backend.h"
#include "samba/monitor_error.h"
#include "samba/monitor_session.h"
#include "serial/device_wait.h"
#include "serial/monitor_port_path.h"
#include "sim/virtual_board.h"
#include "support/fake_clock.h"
#include "support/pty_peer.h"
#include "support/temp_dir.h"

namespace {

constexpr int32_t RUN = 0x300000;

MonitorLimits UsbLimits()
{
    MonitorLimits limits;
    limits.nDrainQuietMs = 10;
    limits.nDrainMaxMs = 100;
    limits.nConnectMs = 150;
    limits.nReplyMs = 150;
    limits.nJumpAckMs = 300;
    return limits;
}

std::vector<uint8_t> Pattern(size_t nSize, unsigned nSeed)
{
    std::mt19937 rng(nSeed);
    std::vector<uint8_t> vec(nSize);
    for (auto& c : vec)
        c = static_cast<uint8_t>(rng());
    return vec;
}

// The virtual board with its monitor on the USB port; the backend speaks to it there.
class UsbMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BoardConfig board;
        board.bTransfer = false;
        board.bUsbMonitor = true;
        board.monitor.nBootDelayMs = 50;
        m_pBoard = std::make_unique<CVirtualBoard>(board);
        std::string strError;
        ASSERT_TRUE(m_pBoard->Start(strError)) << strError;
        m_strUsb = m_pBoard->UsbTtyPath();
        ASSERT_FALSE(m_strUsb.empty());
        m_pBackend = std::make_unique<CMonitorBackend>(PortResolver(), ComPortScanner(), SystemClock(), &m_bCancel,
                                                       UsbLimits());
        m_pBackend->SetUsbLink(1000);
    }

    std::atomic<int> m_bCancel {0};
    std::unique_ptr<CVirtualBoard> m_pBoard;
    std::string m_strUsb;
    std::unique_ptr<CMonitorBackend> m_pBackend;
};

}  // namespace

// Blocks go raw and whole (no padding), reads come back raw, an applet ends without 0x06, and
// the serial line stays silent until the boot loader's console; then the USB port is gone.
TEST_F(UsbMonitorTest, BlocksGoRawAndThePortGoesWhenTheBootLoaderRuns)
{
    int32_t hDevice = 0;
    m_pBackend->OpenDevice(m_strUsb.c_str(), hDevice);
    ASSERT_NE(hDevice, 0) << m_pBackend->LastOpenError();
    int32_t nError = -1, nValue = 0;
    m_pBackend->ReadWord(hDevice, nValue, static_cast<int32_t>(0xFFFFF240), nError);
    EXPECT_EQ(nError, 0);
    EXPECT_EQ(static_cast<uint32_t>(nValue), 0x819A05A1u);

    for (size_t nSize : {size_t {3001}, size_t {20480}}) {
        std::vector<uint8_t> image = Pattern(nSize, static_cast<unsigned>(nSize));
        m_pBackend->WriteBlock(hDevice, RUN, image.data(), static_cast<int32_t>(image.size()), nError);
        ASSERT_EQ(nError, 0) << MonitorErrorText(nError);
        // 64 bytes is read as 63 and 1; 1000 in one piece.
        for (int32_t nRead : {64, 1000}) {
            std::vector<uint8_t> back(static_cast<size_t>(nRead));
            m_pBackend->ReadBlock(hDevice, RUN, back.data(), nRead, nError);
            ASSERT_EQ(nError, 0) << MonitorErrorText(nError);
            EXPECT_TRUE(std::equal(back.begin(), back.end(), image.begin()));
        }
        m_pBoard->InspectMonitor([&](const CBoardMonitor& monitor) {
            std::vector<uint8_t> stored(nSize + 1);
            monitor.Memory().ReadBytes(RUN, stored.data(), stored.size());
            EXPECT_TRUE(std::equal(image.begin(), image.end(), stored.begin()));
        });
        m_pBackend->WriteWord(hDevice, 0, 0x30000C, nError);
        m_pBackend->WriteWord(hDevice, 0, 0x300004, nError);
        m_pBackend->Jump(hDevice, RUN, nError);
        ASSERT_EQ(nError, 0) << MonitorErrorText(nError);
        m_pBackend->ReadWord(hDevice, nValue, 0x300008, nError);
        EXPECT_EQ(nError, 0);
        EXPECT_EQ(nValue, 0);
    }
    m_pBackend->CloseDevice(hDevice);
    for (int i = 0; i < 100 && !m_pBoard->UsbTtyPath().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(m_pBoard->UsbTtyPath().empty());
    m_pBoard->InspectMonitor([](const CBoardMonitor& monitor) {
        EXPECT_EQ(monitor.GetMode(), CBoardMonitor::Mode::Console);
        EXPECT_EQ(monitor.Runs(), 2);
    });
}

// Without padding a block may end right below the monitor's 8 KB; one byte more is refused unsent.
TEST_F(UsbMonitorTest, MonitorAreaIsCountedWithoutPadding)
{
    EXPECT_TRUE(BlockReachesMonitorArea(RUN + 0x10, 0x5FE0, true));
    EXPECT_FALSE(BlockReachesMonitorArea(RUN + 0x10, 0x5FE0, false));
    EXPECT_TRUE(BlockReachesMonitorArea(RUN + 0x10, 0x5FF1, false));
    int32_t hDevice = 0;
    m_pBackend->OpenDevice(m_strUsb.c_str(), hDevice);
    ASSERT_NE(hDevice, 0);
    std::vector<uint8_t> image(0x6001, 0x5A);
    int32_t nError = 0;
    m_pBackend->WriteBlock(hDevice, RUN, image.data(), static_cast<int32_t>(image.size()), nError);
    EXPECT_EQ(nError, MON_ERR_MONITOR_AREA);
    m_pBackend->WriteBlock(hDevice, RUN + 0x10, image.data(), 0x5FE0, nError);
    EXPECT_EQ(nError, 0);
    m_pBoard->InspectMonitor([](const CBoardMonitor& monitor) { EXPECT_NE(monitor.GetMode(), CBoardMonitor::Mode::Crashed); });
}

// A port that never appears ends the open within its bound, with the reason; a cancel ends it at once.
TEST_F(UsbMonitorTest, PortThatNeverAppearsOrACancelGivesNoHandleAndTheReason)
{
    m_pBackend->SetUsbLink(200);
    int32_t hDevice = 0;
    m_pBackend->OpenDevice("/nonexistent/ttyACM0", hDevice);
    EXPECT_EQ(hDevice, 0);
    EXPECT_EQ(m_pBackend->LastOpenError(), "/nonexistent/ttyACM0: the boot monitor's USB port did not appear within 1 s");
    m_bCancel = 1;
    m_pBackend->SetUsbLink(60000);
    m_pBackend->OpenDevice("usb:3-1", hDevice);
    EXPECT_EQ(hDevice, 0);
    EXPECT_EQ(m_pBackend->LastOpenError(), "usb:3-1: the wait for the boot monitor's USB port was cancelled");
}

// On the line: each command, then exactly its data; nothing of XMODEM.
TEST(UsbMonitorLine, CommandThenExactlyItsBytes)
{
    std::mutex mutex;
    std::string strSeen;
    CPtyPeer peer;
    ASSERT_TRUE(peer.IsOpen());
    peer.Start([&](const std::string& strIn) {
        std::lock_guard<std::mutex> lock(mutex);
        strSeen += strIn;
        if (strIn.size() >= 2 && strIn.compare(strIn.size() - 2, 2, "N#") == 0)
            return std::string("\n\r");
        const bool bFirst = strSeen.size() >= 10 && strSeen.compare(strSeen.size() - 10, 10, ",0000003F#") == 0;
        const bool bLast = strSeen.size() >= 10 && strSeen.compare(strSeen.size() - 10, 10, ",00000001#") == 0;
        if (bFirst || bLast)
            return std::string(bFirst ? 63 : 1, 'r');
        return std::string();
    });
    std::atomic<int> bCancel {0};
    CMonitorSession session(SystemClock(), &bCancel, UsbLimits(), MonitorLink::Usb);
    std::string strError;
    ASSERT_EQ(session.Open(peer.SlavePath(), strError), 0) << strError;
    std::string strData(200, '\x01');
    strData[100] = '\x04';
    ASSERT_EQ(session.WriteBlock(RUN, reinterpret_cast<const uint8_t*>(strData.data()), 200), 0);
    uint8_t back[64];
    ASSERT_EQ(session.ReadBlock(RUN, back, 64), 0);
    session.Close();
    peer.Stop();
    std::lock_guard<std::mutex> lock(mutex);
    const std::string strWrite = "S00300000,000000C8#" + strData;
    const std::string strReads = "R00300000,0000003F#R0030003F,00000001#";
    ASSERT_GE(strSeen.size(), strWrite.size() + strReads.size());
    EXPECT_EQ(strSeen.substr(strSeen.size() - strWrite.size() - strReads.size()), strWrite + strReads);
    EXPECT_EQ(strSeen.substr(0, strSeen.size() - strWrite.size() - strReads.size()), "#N#");
}

TEST(UsbMonitorLine, ReadsOfAPowerOfTwoAbove32AreSplit)
{
    EXPECT_EQ(UsbReadPieces(0), std::vector<int32_t> {});
    EXPECT_EQ(UsbReadPieces(32), std::vector<int32_t> {32});
    EXPECT_EQ(UsbReadPieces(100), std::vector<int32_t> {100});
    EXPECT_EQ(UsbReadPieces(64), (std::vector<int32_t> {63, 1}));
    EXPECT_EQ(UsbReadPieces(4096), (std::vector<int32_t> {4095, 1}));
}

// usb:<bus>-<ports> is found through the CDC interface's tty in sysfs; COMn through the port map.
TEST(MonitorPortPath, NamesAPositionAComNameOrAPath)
{
    CTempDir dir;
    dir.MakeDir("sys/bus/usb/devices/1-2.4:1.0/tty/ttyACM3");
    dir.MakeDir("sys/bus/usb/devices/1-2.5:1.0");
    std::string strAcm = dir.Write("dev/ttyACM3", "");
    CMonitorPortPath path([&](int nPort) { return nPort == 61 ? strAcm : std::string(); }, dir.Path() + "/sys",
                          dir.Path() + "/dev");
    EXPECT_EQ(path.PathNow("usb:1-2.4"), strAcm);
    EXPECT_EQ(path.PathNow("usb:1-2.5"), "");
    EXPECT_EQ(path.PathNow("COM61"), strAcm);
    EXPECT_EQ(path.PathNow("COM62"), "");
    EXPECT_EQ(path.PathNow(strAcm), strAcm);
    EXPECT_EQ(path.PathNow(dir.Path() + "/dev/ttyACM4"), "");
    for (const char* szGood : {"usb:1-2", "usb:3-1.2.4", "COM7", "/dev/serial/by-path/x"})
        EXPECT_TRUE(CMonitorPortPath::IsValidName(szGood)) << szGood;
    for (const char* szBad : {"usb:1", "usb:-2", "usb:1-", "usb:1-2..3", "usb:a-1", "ttyACM0", "COM100", ""})
        EXPECT_FALSE(CMonitorPortPath::IsValidName(szBad)) << szBad;
}

TEST(DeviceWait, FindsTimesOutOrIsCancelledOnItsClock)
{
    CFakeClock clock;
    std::atomic<int> bCancel {0};
    CDeviceWait wait(clock, &bCancel, 50, false);
    int nLooks = 0;
    std::string strPath;
    EXPECT_EQ(wait.Wait([&] { return ++nLooks == 4 ? std::string("/dev/ttyACM0") : std::string(); }, 10000, strPath),
              CDeviceWait::WAIT_FOUND);
    EXPECT_EQ(strPath, "/dev/ttyACM0");
    EXPECT_EQ(clock.SleptMs(), 150u);
    EXPECT_EQ(wait.Wait([] { return std::string(); }, 1000, strPath), CDeviceWait::WAIT_TIMEOUT);
    EXPECT_EQ(clock.SleptMs(), 1150u);
    bCancel = 1;
    EXPECT_EQ(wait.Wait([] { return std::string(); }, 1000, strPath), CDeviceWait::WAIT_CANCELLED);
    EXPECT_EQ(clock.SleptMs(), 1150u);
}
