#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>

#include "serial/serial_line.h"
#include "support/fake_clock.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace {

DCB LineSettings()
{
    DCB settings;
    settings.BaudRate = 115200;
    settings.ByteSize = 8;
    return settings;
}

bool Contains(const std::string& strText, const std::string& strPart)
{
    return strText.find(strPart) != std::string::npos;
}

class SerialLineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_Pty.IsValid()); }
    // A read that a broken line left waiting ends here, so the test fails instead of hanging.
    void TearDown() override
    {
        m_bCancel = 1;
        m_Clock.SleepMs(1 << 30);
    }

    void OpenLine()
    {
        std::string strError;
        ASSERT_TRUE(m_Line.Open(m_Pty.SlavePath(), LineSettings(), strError)) << strError;
    }

    // A read of 4 bytes on its own thread, ending by nDeadlineMs on the fake clock.
    void StartRead(uint64_t nDeadlineMs)
    {
        m_Read = std::async(std::launch::async, [this, nDeadlineMs] {
            uint8_t buffer[4];
            return m_Line.Read(buffer, sizeof(buffer), m_nGot, nDeadlineMs);
        });
    }

    CPtyPair m_Pty;
    CFakeClock m_Clock;
    std::atomic<int> m_bCancel {0};
    CSerialLine m_Line {m_Clock, &m_bCancel};
    size_t m_nGot = 0;
    std::future<CSerialLine::Result> m_Read;
};

}  // namespace

TEST_F(SerialLineTest, OpenSaysBusyWhileAnotherDescriptorHoldsTheLock)
{
    int nHolder = open(m_Pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(nHolder, 0);
    ASSERT_EQ(flock(nHolder, LOCK_EX | LOCK_NB), 0);
    std::string strError;
    EXPECT_FALSE(m_Line.Open(m_Pty.SlavePath(), LineSettings(), strError));
    EXPECT_TRUE(Contains(strError, m_Pty.SlavePath() + ": busy")) << strError;
    EXPECT_FALSE(m_Line.IsOpen());

    close(nHolder);
    EXPECT_TRUE(m_Line.Open(m_Pty.SlavePath(), LineSettings(), strError)) << strError;
}

TEST(SerialLineOpen, OpenSaysNotATerminalForARegularFile)
{
    CTempDir dir;
    const std::string strFile = dir.Write("ttyFAKE", "not a device");
    CFakeClock clock;
    CSerialLine line(clock);
    std::string strError;
    EXPECT_FALSE(line.Open(strFile, LineSettings(), strError));
    EXPECT_EQ(strError, strFile + ": not a terminal");
    EXPECT_FALSE(line.IsOpen());
}

TEST(SerialLineOpen, OpenSaysNoSuchDevice)
{
    CTempDir dir;
    CFakeClock clock;
    CSerialLine line(clock);
    std::string strError;
    EXPECT_FALSE(line.Open(dir.Path() + "/ttyUSB9", LineSettings(), strError));
    EXPECT_EQ(strError, dir.Path() + "/ttyUSB9: no such device");
}

TEST_F(SerialLineTest, ReadEndsAtItsDeadlineOnTheClock)
{
    OpenLine();
    StartRead(m_Line.Deadline(500));
    ASSERT_TRUE(m_Pty.SendFromBoard("ab"));
    m_Clock.SleepMs(499);
    EXPECT_EQ(m_Read.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);  // not early
    m_Clock.SleepMs(1);
    ASSERT_EQ(m_Read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(m_Read.get(), CSerialLine::LINE_TIMEOUT);
    EXPECT_EQ(m_nGot, 2u);
    EXPECT_TRUE(m_Line.IsOpen());
}

TEST_F(SerialLineTest, CancelEndsAWaitingRead)
{
    OpenLine();
    StartRead(m_Line.Deadline(60000));
    EXPECT_EQ(m_Read.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    m_bCancel = 1;
    ASSERT_EQ(m_Read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(m_Read.get(), CSerialLine::LINE_CANCELLED);
}
