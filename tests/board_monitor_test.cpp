#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "samba/xmodem.h"
#include "sim/board_monitor.h"

namespace {

// Drives the board's monitor directly, with a hand-made clock.
class BoardMonitorTest : public ::testing::Test {
protected:
    std::string Send(const std::string& strIn)
    {
        std::string strOut;
        m_pMonitor->Receive(reinterpret_cast<const uint8_t*>(strIn.data()), strIn.size(), m_nNow, strOut);
        return strOut;
    }

    std::string Tick(uint64_t nAdvanceMs)
    {
        m_nNow += nAdvanceMs;
        std::string strOut;
        m_pMonitor->Tick(m_nNow, strOut);
        return strOut;
    }

    static std::string Packet(uint32_t nBlock, const std::vector<uint8_t>& vecData)
    {
        uint8_t packet[XMODEM_PACKET];
        BuildXmodemPacket(packet, nBlock, vecData.data(), vecData.size());
        return std::string(reinterpret_cast<char*>(packet), sizeof(packet));
    }

    // Loads something at the run address and runs it with argument 0 = 1.
    std::string LoadAndRun()
    {
        EXPECT_EQ(Send("S300000,#"), "C");
        EXPECT_EQ(Send(Packet(1, {1, 2, 3})), "\x06");
        EXPECT_EQ(Send("\x04"), "\x06");
        Send("W30000C,1#W300004,0#");
        return Send("G300000#");
    }

    MonitorConfig m_config;
    std::unique_ptr<CBoardMonitor> m_pMonitor = std::make_unique<CBoardMonitor>(m_config);
    uint64_t m_nNow = 1000;
};

TEST_F(BoardMonitorTest, TerminalAndNormalModesAndTheReusedAddress)
{
    EXPECT_EQ(Send("#"), "\n\r>");  // starts in terminal mode
    EXPECT_EQ(Send("W300010,12345678#"), "\n\r>");
    EXPECT_EQ(Send("w300010,#"), "0x12345678\n\r>");
    EXPECT_EQ(Send("N#"), "\n\r");
    EXPECT_EQ(Send("w300010,#"), std::string("\x78\x56\x34\x12", 4));
    EXPECT_EQ(Send("wFFFFF240,#"), std::string("\xA1\x05\x9A\x81", 4));
    // Without a comma the number is a value and the previous address is used again.
    EXPECT_EQ(Send("W300020,AABBCCDD#"), "");
    EXPECT_EQ(Send("w123#"), std::string("\xDD\xCC\xBB\xAA", 4));
    EXPECT_EQ(Send("h300020,#o300023,#"), std::string("\xDD\xCC\xAA", 3));
    // Writing into the monitor's own memory kills it.
    EXPECT_EQ(Send("W306000,1#"), "");
    EXPECT_EQ(m_pMonitor->GetMode(), CBoardMonitor::Mode::Crashed);
    EXPECT_EQ(Send("N#"), "");
}

TEST_F(BoardMonitorTest, GoWithACommaCallsAddressZero)
{
    Send("N#");
    Send("S300000,#");
    Send(Packet(1, {1}));
    Send("\x04");
    EXPECT_EQ(Send("G300000,#"), "");
    EXPECT_EQ(m_pMonitor->GetMode(), CBoardMonitor::Mode::Crashed);
    EXPECT_NE(m_pMonitor->CrashReason().find("0x00000000"), std::string::npos);
}

TEST_F(BoardMonitorTest, AppletThenBootLoaderThenConsoleAfterTheDelay)
{
    m_config.nAnswerAfter = 2;
    m_config.nBootDelayMs = 300;
    m_pMonitor = std::make_unique<CBoardMonitor>(m_config);
    Send("N#");
    EXPECT_EQ(LoadAndRun(), "\x06");
    EXPECT_TRUE(m_pMonitor->LowLevelDone());
    EXPECT_EQ(Send("w300004,#"), std::string("\xFF\xFF\xFF\xFF", 4));
    EXPECT_EQ(LoadAndRun(), "\x06");
    EXPECT_TRUE(m_pMonitor->BootDone());
    // Monitor commands keep the monitor alive; the console comes once the line has been quiet.
    Tick(250);
    EXPECT_EQ(Send("w300008,#"), std::string(4, '\0'));
    Tick(250);
    EXPECT_EQ(m_pMonitor->GetMode(), CBoardMonitor::Mode::Normal);
    Tick(60);
    EXPECT_EQ(m_pMonitor->GetMode(), CBoardMonitor::Mode::Console);
    EXPECT_EQ(Send("hello"), "");  // no Y: not a burst
    EXPECT_EQ(Send("YYYYYYYY"), "");
    EXPECT_EQ(Send("YYYY"), "");
    EXPECT_EQ(Send("YYYYYYYY"), m_config.strBanner);
    EXPECT_EQ(m_pMonitor->Console().Bursts(), 3);
}

TEST_F(BoardMonitorTest, FailedRunsAndSilentConsole)
{
    m_config.nBootStatus = 7;
    m_pMonitor = std::make_unique<CBoardMonitor>(m_config);
    Send("N#");
    LoadAndRun();
    Send("W30000C,0#");  // argument 0 not the serial link: no 0x06
    Send("S300000,#");
    Send(Packet(1, {}));
    Send("\x04");
    EXPECT_EQ(Send("G300000#"), "");
    EXPECT_EQ(Send("w300008,#"), std::string("\x07\0\0\0", 4));
    Tick(10000);
    EXPECT_EQ(m_pMonitor->GetMode(), CBoardMonitor::Mode::Normal);  // a failed boot loader leaves the monitor
    // Running without loading again is running garbage.
    EXPECT_EQ(Send("G300000#"), "");
    EXPECT_EQ(m_pMonitor->GetMode(), CBoardMonitor::Mode::Crashed);

    m_config.nBootStatus = 0;
    m_config.bSilentConsole = true;
    m_pMonitor = std::make_unique<CBoardMonitor>(m_config);
    Send("N#");
    LoadAndRun();
    LoadAndRun();
    Tick(1000);
    EXPECT_EQ(m_pMonitor->GetMode(), CBoardMonitor::Mode::Console);
    EXPECT_EQ(Send("YYYYYYYY"), "");
}

TEST_F(BoardMonitorTest, XmodemRepeatsBadPacketsAndSequenceErrors)
{
    Send("N#");
    EXPECT_EQ(Send("S300100,#"), "C");
    EXPECT_EQ(Tick(m_config.nPromptMs), "C");  // prompts until the first packet
    std::vector<uint8_t> vecFirst(128, 0x11), vecSecond(128, 0x22);
    EXPECT_EQ(Send(Packet(1, vecFirst)), "\x06");
    EXPECT_EQ(Send(Packet(1, vecSecond)), "\x06");  // a repeat: acknowledged, not stored
    std::string strBad = Packet(2, vecSecond);
    strBad[50] ^= 1;
    EXPECT_EQ(Send(strBad), "\x15");
    std::string strGood = Packet(2, vecSecond);
    EXPECT_EQ(Send(strGood.substr(0, 60)), "");
    EXPECT_EQ(Tick(m_config.nByteTimeoutMs), "\x15");  // a packet cut short
    EXPECT_EQ(Send(strGood), "\x06");
    EXPECT_EQ(Send(Packet(4, vecSecond)), "\x18");  // out of sequence: cancelled
    EXPECT_EQ(m_pMonitor->GetMode(), CBoardMonitor::Mode::Normal);
    EXPECT_EQ(m_pMonitor->Memory().Read(0x300100, 1), 0x11u);
    EXPECT_EQ(m_pMonitor->Memory().Read(0x300180, 1), 0x22u);
    // A packet that would reach the monitor's memory crashes it.
    Send("S305F80,#");
    Send(Packet(1, vecFirst));
    EXPECT_EQ(Send(Packet(2, vecFirst)), "");
    EXPECT_EQ(m_pMonitor->GetMode(), CBoardMonitor::Mode::Crashed);
}

}  // namespace
