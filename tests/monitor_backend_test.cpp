#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "samba/monitor_backend.h"
#include "serial/serial.h"
#include "serial/serial_line.h"
#include "sim/virtual_board.h"
#include "support/pty_peer.h"

namespace {

constexpr int PORT = 7;
constexpr int32_t RUN = 0x300000;

// Small limits: the tests' real waits are the protocol's own, plus a few tens of ms per failure.
MonitorLimits SmallLimits()
{
    MonitorLimits limits;
    limits.nDrainQuietMs = 10;
    limits.nDrainMaxMs = 100;
    limits.nConnectMs = 150;
    limits.nReplyMs = 150;
    limits.nWriteMs = 150;
    limits.nXmodemStartMs = 400;
    limits.nXmodemAckMs = 150;
    limits.nXmodemRetries = 3;
    limits.nJumpAckMs = 150;
    return limits;
}

MonitorConfig FastMonitor()
{
    MonitorConfig config;
    config.nPromptMs = 10;
    config.nBootDelayMs = 50;
    return config;
}

std::vector<uint8_t> Pattern(size_t nSize, unsigned nSeed)
{
    std::mt19937 rng(nSeed);
    std::vector<uint8_t> vec(nSize);
    for (auto& c : vec)
        c = static_cast<uint8_t>(rng());
    return vec;
}

// Milliseconds a call takes, to check it ended within its bound.
template <typename Fn> long ElapsedMs(Fn&& fn)
{
    auto tStart = std::chrono::steady_clock::now();
    fn();
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tStart).count());
}

class MonitorBackendTest : public ::testing::Test {
protected:
    void StartBoard(const MonitorConfig& config)
    {
        BoardConfig board;
        board.monitor = config;
        board.bTransfer = false;
        m_pBoard = std::make_unique<CVirtualBoard>(board);
        std::string strError;
        ASSERT_TRUE(m_pBoard->Start(strError)) << strError;
        UsePath(m_pBoard->TtyPath());
    }

    void UsePath(const std::string& strPath)
    {
        m_strPath = strPath;
        m_pBackend = std::make_unique<CMonitorBackend>(
            [this](int nPort) { return nPort == PORT ? m_strPath : std::string(); },
            [this] { return std::vector<ComPortEntry> {{PORT, m_strPath}}; }, SystemClock(),
            &m_bCancel, SmallLimits());
    }

    int32_t Open()
    {
        int32_t hDevice = 0;
        m_pBackend->OpenDevice("COM7", hDevice);
        return hDevice;
    }

    // One stage of the bring-up: load, mailbox, run, status.
    void RunStage(int32_t hDevice, const std::vector<uint8_t>& vecImage, uint32_t nExpectedStatus)
    {
        int32_t nError = -1;
        m_pBackend->WriteBlock(hDevice, RUN, vecImage.data(), static_cast<int32_t>(vecImage.size()), nError);
        ASSERT_EQ(nError, 0) << MonitorErrorText(nError);
        for (auto [nAddress, nValue] : {std::pair {0x30000C, 1}, {0x300014, 0}, {0x300004, 0}}) {
            m_pBackend->WriteWord(hDevice, nValue, nAddress, nError);
            ASSERT_EQ(nError, 0);
        }
        m_pBackend->Jump(hDevice, RUN, nError);
        ASSERT_EQ(nError, 0) << MonitorErrorText(nError);
        int32_t nValue = 0;
        m_pBackend->ReadWord(hDevice, nValue, 0x300004, nError);
        EXPECT_EQ(nError, 0);
        EXPECT_EQ(static_cast<uint32_t>(nValue), 0xFFFFFFFFu);  // the applet's NOT of command 0
        m_pBackend->ReadWord(hDevice, nValue, 0x300008, nError);
        EXPECT_EQ(nError, 0);
        EXPECT_EQ(static_cast<uint32_t>(nValue), nExpectedStatus);
    }

    std::atomic<int> m_bCancel {0};
    std::unique_ptr<CVirtualBoard> m_pBoard;
    std::string m_strPath;
    std::unique_ptr<CMonitorBackend> m_pBackend;
};

TEST_F(MonitorBackendTest, BringUpThenConsoleAnswers)
{
    StartBoard(FastMonitor());
    char szNames[SCAN_MAX_DEVICES][DEVICE_NAME_SIZE];
    char* pNames[SCAN_MAX_DEVICES];
    for (int i = 0; i < SCAN_MAX_DEVICES; ++i)
        pNames[i] = szNames[i];
    m_pBackend->ScanDevices(pNames);
    EXPECT_EQ(std::string(pNames[0]), "COM7 (" + m_strPath + ")");
    EXPECT_EQ(pNames[1], nullptr);

    int32_t hDevice = 0;
    m_pBackend->OpenDevice(pNames[0], hDevice);
    ASSERT_GT(hDevice, 0) << m_pBackend->LastOpenError();
    int32_t nValue = 0, nError = -1;
    m_pBackend->ReadWord(hDevice, nValue, static_cast<int32_t>(0xFFFFF240), nError);
    EXPECT_EQ(nError, 0);
    EXPECT_EQ(static_cast<uint32_t>(nValue), 0x819A05A1u);

    auto vecApplet = Pattern(3000, 1);  // not a whole number of packets: the padding lands too
    RunStage(hDevice, vecApplet, 0);
    m_pBoard->InspectMonitor([&](const CBoardMonitor& monitor) {
        std::vector<uint8_t> vecBoard(3072);
        monitor.Memory().ReadBytes(RUN, vecBoard.data(), vecBoard.size());
        // The mailbox words were written after the block.
        EXPECT_TRUE(std::equal(vecApplet.begin() + 0x24, vecApplet.end(), vecBoard.begin() + 0x24));
        EXPECT_TRUE(std::all_of(vecBoard.begin() + 3000, vecBoard.end(), [](uint8_t c) { return c == 0; }));
        EXPECT_TRUE(monitor.LowLevelDone());
    });

    // The other reads and writes, and a block read back.
    m_pBackend->WriteHalfWord(hDevice, static_cast<int16_t>(0xBEEF), 0x301000, nError);
    EXPECT_EQ(nError, 0);
    m_pBackend->WriteByte(hDevice, 0x5A, 0x301002, nError);
    EXPECT_EQ(nError, 0);
    int16_t nHalf = 0;
    uint8_t cByte = 0;
    m_pBackend->ReadHalfWord(hDevice, nHalf, 0x301000, nError);
    EXPECT_EQ(static_cast<uint16_t>(nHalf), 0xBEEF);
    m_pBackend->ReadByte(hDevice, cByte, 0x301002, nError);
    EXPECT_EQ(cByte, 0x5A);
    std::vector<uint8_t> vecBack(200);
    m_pBackend->ReadBlock(hDevice, RUN + 0x100, vecBack.data(), 200, nError);
    EXPECT_EQ(nError, 0) << MonitorErrorText(nError);
    EXPECT_TRUE(std::equal(vecBack.begin(), vecBack.end(), vecApplet.begin() + 0x100));

    RunStage(hDevice, Pattern(700, 2), 0);
    m_pBackend->CloseDevice(hDevice);
    m_pBackend->ReadWord(hDevice, nValue, 0x300008, nError);
    EXPECT_EQ(nError, MON_ERR_BAD_HANDLE);

    // The same line is now the boot loader's console.
    CSerialLine line(SystemClock());
    DCB settings;
    settings.BaudRate = 115200;
    settings.ByteSize = 8;
    std::string strError;
    ASSERT_TRUE(line.Open(m_strPath, settings, strError)) << strError;
    std::string strBanner;
    for (int nTry = 0; nTry < 100 && strBanner.empty(); ++nTry) {
        ASSERT_EQ(line.Write("YYYYYYYY", line.Deadline(100)), CSerialLine::LINE_OK);
        uint8_t buffer[25];
        size_t nGot = 0;
        line.Read(buffer, sizeof(buffer), nGot, line.Deadline(20));
        strBanner.assign(reinterpret_cast<char*>(buffer), nGot);
    }
    EXPECT_EQ(strBanner, "VarroBoot console ready\r\n");
}

TEST_F(MonitorBackendTest, FailedAppletStatusAndEmptyBlock)
{
    MonitorConfig config = FastMonitor();
    config.nAppletStatus = 0x0F;
    StartBoard(config);
    int32_t hDevice = Open();
    ASSERT_GT(hDevice, 0);
    RunStage(hDevice, {}, 0x0F);  // an empty file is an XMODEM session with no packet
    m_pBoard->InspectMonitor([](const CBoardMonitor& monitor) {
        EXPECT_FALSE(monitor.LowLevelDone());
        EXPECT_EQ(monitor.Runs(), 1);
    });
}

TEST_F(MonitorBackendTest, RefusesWhatWouldReachTheMonitorAndBadArguments)
{
    StartBoard(FastMonitor());
    int32_t hDevice = Open();
    ASSERT_GT(hDevice, 0);
    int32_t nError = 0;
    auto vecData = Pattern(24 * 1024 + 1, 3);
    // 24 KB + 1 byte pads to 24 KB + 128: past 0x306000.
    m_pBackend->WriteBlock(hDevice, RUN, vecData.data(), static_cast<int32_t>(vecData.size()), nError);
    EXPECT_EQ(nError, MON_ERR_MONITOR_AREA);
    m_pBackend->WriteBlock(hDevice, 0x305F81, vecData.data(), 1, nError);
    EXPECT_EQ(nError, MON_ERR_MONITOR_AREA);
    m_pBackend->WriteBlock(hDevice, 0x305F80, vecData.data(), 128, nError);  // ends just below
    EXPECT_EQ(nError, 0);
    m_pBackend->WriteBlock(hDevice, RUN, vecData.data(), -1, nError);
    EXPECT_EQ(nError, MON_ERR_BAD_ARGUMENT);
    m_pBackend->WriteBlock(hDevice, RUN, nullptr, 4, nError);
    EXPECT_EQ(nError, MON_ERR_BAD_ARGUMENT);
    int32_t nValue = 0;
    m_pBackend->ReadWord(hDevice + 1, nValue, RUN, nError);
    EXPECT_EQ(nError, MON_ERR_BAD_HANDLE);
    // Nothing refused ever reached the board: its monitor still runs.
    m_pBoard->InspectMonitor(
        [](const CBoardMonitor& monitor) { EXPECT_EQ(monitor.GetMode(), CBoardMonitor::Mode::Normal); });
}

TEST_F(MonitorBackendTest, NobodyAnsweringGivesNoHandleWithinItsBound)
{
    CPtyPeer silent;  // nobody reads the master
    ASSERT_TRUE(silent.IsOpen());
    UsePath(silent.SlavePath());
    int32_t hDevice = -1;
    long nMs = ElapsedMs([&] { hDevice = Open(); });
    EXPECT_EQ(hDevice, 0);
    EXPECT_LT(nMs, 3000);
    EXPECT_NE(m_pBackend->LastOpenError().find("no boot monitor"), std::string::npos);

    UsePath("/nonexistent/tty");
    EXPECT_EQ(Open(), 0);
    m_pBackend->OpenDevice("LPT1", hDevice);
    EXPECT_EQ(hDevice, 0);
}

TEST_F(MonitorBackendTest, LineHeldByTheConsoleHandshakeIsNotTalkedInto)
{
    StartBoard(FastMonitor());
    CSerial console([this](int) { return m_strPath; });
    DCB settings;
    settings.BaudRate = 115200;
    settings.ByteSize = 8;
    ASSERT_EQ(console.OpenPort(7, settings), 1);
    EXPECT_EQ(Open(), 0);
    EXPECT_NE(m_pBackend->LastOpenError().find("in use"), std::string::npos);
    console.ClosePort();
    EXPECT_NE(Open(), 0);
}

TEST_F(MonitorBackendTest, GarbageIsABadAnswer)
{
    CPtyPeer garbage;
    garbage.Start([](const std::string&) { return std::string("garbage!\r\n"); });
    UsePath(garbage.SlavePath());
    EXPECT_EQ(Open(), 0);
    garbage.Stop();

    // Connects like a monitor, then answers every command with too many or wrong bytes.
    CPtyPeer liar;
    liar.Start([](const std::string& strIn) {
        return strIn.find("N#") != std::string::npos ? std::string("\n\r") : std::string("\x07junk!!");
    });
    UsePath(liar.SlavePath());
    int32_t hDevice = Open();
    ASSERT_GT(hDevice, 0);
    int32_t nValue = 0, nError = 0;
    m_pBackend->ReadWord(hDevice, nValue, RUN, nError);
    EXPECT_EQ(nError, MON_ERR_BAD_ANSWER);
    auto vecData = Pattern(300, 4);
    long nMs = ElapsedMs(
        [&] { m_pBackend->WriteBlock(hDevice, RUN, vecData.data(), static_cast<int32_t>(vecData.size()), nError); });
    EXPECT_EQ(nError, MON_ERR_BAD_ANSWER);
    EXPECT_LT(nMs, 3000);
}

TEST_F(MonitorBackendTest, NakStormEndsTheBlockAndTheMonitorIsBackAfterwards)
{
    MonitorConfig config = FastMonitor();
    config.nNaksPerPacket = 2;  // within the retries
    StartBoard(config);
    int32_t hDevice = Open();
    ASSERT_GT(hDevice, 0);
    auto vecData = Pattern(400, 5);
    int32_t nError = -1;
    m_pBackend->WriteBlock(hDevice, RUN, vecData.data(), static_cast<int32_t>(vecData.size()), nError);
    EXPECT_EQ(nError, 0);

    config.nNaksPerPacket = -1;  // every packet refused
    StartBoard(config);
    hDevice = Open();
    ASSERT_GT(hDevice, 0);
    long nMs = ElapsedMs(
        [&] { m_pBackend->WriteBlock(hDevice, RUN, vecData.data(), static_cast<int32_t>(vecData.size()), nError); });
    EXPECT_EQ(nError, MON_ERR_TOO_MANY_NAKS);
    EXPECT_LT(nMs, 3000);
    int32_t nValue = 0;
    m_pBackend->ReadWord(hDevice, nValue, static_cast<int32_t>(0xFFFFF240), nError);
    EXPECT_EQ(nError, 0);
    EXPECT_EQ(static_cast<uint32_t>(nValue), 0x819A05A1u);
}

TEST_F(MonitorBackendTest, LineThatDisappearsMidTransferIsLost)
{
    MonitorConfig config = FastMonitor();
    config.nHangUpAfterPackets = 3;
    StartBoard(config);
    int32_t hDevice = Open();
    ASSERT_GT(hDevice, 0);
    auto vecData = Pattern(2000, 6);
    int32_t nError = 0;
    long nMs = ElapsedMs(
        [&] { m_pBackend->WriteBlock(hDevice, RUN, vecData.data(), static_cast<int32_t>(vecData.size()), nError); });
    EXPECT_EQ(nError, MON_ERR_LINE_LOST);
    EXPECT_LT(nMs, 3000);
    int32_t nValue = 0;
    m_pBackend->ReadWord(hDevice, nValue, RUN, nError);
    EXPECT_EQ(nError, MON_ERR_LINE_LOST);

    // Pulled between two calls.
    StartBoard(FastMonitor());
    hDevice = Open();
    ASSERT_GT(hDevice, 0);
    m_pBoard->HangUp();
    for (int nTry = 0; nTry < 200 && m_pBoard->LineOpen(); ++nTry)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    m_pBackend->ReadWord(hDevice, nValue, RUN, nError);
    EXPECT_EQ(nError, MON_ERR_LINE_LOST);
}

TEST_F(MonitorBackendTest, JumpIntoNowhereLeavesASilentMonitor)
{
    StartBoard(FastMonitor());
    int32_t hDevice = Open();
    ASSERT_GT(hDevice, 0);
    int32_t nError = 0;
    long nMs = ElapsedMs([&] { m_pBackend->Jump(hDevice, 0x200000, nError); });
    EXPECT_EQ(nError, MON_ERR_TIMEOUT);
    EXPECT_LT(nMs, 3000);
    m_pBoard->InspectMonitor(
        [](const CBoardMonitor& monitor) { EXPECT_EQ(monitor.GetMode(), CBoardMonitor::Mode::Crashed); });
}

TEST_F(MonitorBackendTest, CancelEndsEveryWaitAtOnce)
{
    MonitorConfig config = FastMonitor();
    config.nNaksPerPacket = -1;
    StartBoard(config);
    int32_t hDevice = Open();
    ASSERT_GT(hDevice, 0);
    m_bCancel = 1;
    int32_t nValue = 0, nError = 0;
    m_pBackend->ReadWord(hDevice, nValue, RUN, nError);
    EXPECT_EQ(nError, MON_ERR_CANCELLED);
    m_pBackend->CloseDevice(hDevice);
    EXPECT_EQ(Open(), 0);
    EXPECT_NE(m_pBackend->LastOpenError().find("cancelled"), std::string::npos) << m_pBackend->LastOpenError();
}

TEST(MonitorBackendNames, ScanList)
{
    std::vector<ComPortEntry> vecFound;
    for (int n = 14; n >= 1; --n)
        vecFound.push_back({n, "/dev/ttyS" + std::to_string(n)});
    vecFound.push_back({100, "/dev/ttyUSB9"});  // the console reads only two digits
    CMonitorBackend backend([](int) { return std::string(); }, [&] { return vecFound; }, SystemClock());
    char szNames[SCAN_MAX_DEVICES][DEVICE_NAME_SIZE];
    char* pNames[SCAN_MAX_DEVICES];
    for (int i = 0; i < SCAN_MAX_DEVICES; ++i)
        pNames[i] = szNames[i];
    backend.ScanDevices(pNames);
    EXPECT_EQ(std::string(pNames[0]), "COM1 (/dev/ttyS1)");
    EXPECT_EQ(std::string(pNames[9]), "COM10 (/dev/ttyS10)");

    vecFound = {{3, std::string(200, 'x')}};
    backend.ScanDevices(pNames);
    EXPECT_EQ(std::strlen(pNames[0]), static_cast<size_t>(DEVICE_NAME_SIZE - 1));
    EXPECT_EQ(pNames[1], nullptr);
}

}  // namespace
