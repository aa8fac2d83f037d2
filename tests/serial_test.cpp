#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "serial/com_port_map.h"
#include "serial/line_settings.h"
#include "serial/serial.h"
#include "support/pty_pair.h"

namespace {

constexpr int TEST_PORT = 5;

DCB Settings(uint32_t nBaud, uint8_t nBits, uint8_t nParity, uint8_t nStop)
{
    DCB dcb;
    dcb.BaudRate = nBaud;
    dcb.ByteSize = nBits;
    dcb.Parity = nParity;
    dcb.StopBits = nStop;
    return dcb;
}

const DCB CONSOLE_SETTINGS = Settings(115200, 8, 0, 0);

PortResolver OnlyPort(int nPort, std::string strPath)
{
    return [nPort, strPath](int n) { return n == nPort ? strPath : std::string(); };
}

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_Pty.IsValid()); }

    termios SlaveTermios()
    {
        termios tio {};
        EXPECT_EQ(tcgetattr(m_Pty.Slave(), &tio), 0);
        return tio;
    }

    CPtyPair m_Pty;
    CSerial m_Serial {OnlyPort(TEST_PORT, m_Pty.SlavePath())};
};

} // namespace

TEST_F(SerialTest, OpensRawLineAndExchangesBytesUnchanged)
{
    ASSERT_EQ(m_Serial.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 1);
    termios tio = SlaveTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IXON | IXOFF), 0u);

    EXPECT_EQ(m_Serial.WriteData("YYYYYYYY", 8), 8);
    EXPECT_EQ(m_Pty.ReceiveOnBoard(8), "YYYYYYYY");

    const std::string strReply("U-Boot\r\n\x00\xff", 10);
    ASSERT_TRUE(m_Pty.SendFromBoard(strReply));
    ASSERT_TRUE(m_Pty.WaitSlaveQueued(10));
    EXPECT_EQ(m_Serial.BytesWaiting(), 10);
    char rec[100] = {};
    ASSERT_EQ(m_Serial.ReadData(rec, 100), 10);
    EXPECT_EQ(std::string(rec, 10), strReply);

    EXPECT_EQ(m_Serial.SendByte('Y'), 1);
    EXPECT_EQ(m_Pty.ReceiveOnBoard(1), "Y");
}

TEST_F(SerialTest, OpenWhileOpenKeepsSettingsAndInputQueue)
{
    ASSERT_EQ(m_Serial.OpenPort(TEST_PORT, Settings(9600, 7, 2, 2)), 1);
    ASSERT_TRUE(m_Pty.SendFromBoard("abc"));
    ASSERT_TRUE(m_Pty.WaitSlaveQueued(3));

    EXPECT_EQ(m_Serial.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 1);
    EXPECT_EQ(m_Serial.OpenPort(99, CONSOLE_SETTINGS), 1);  // no device there, still open
    termios tio = SlaveTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));  // pseudo-terminals keep only this
    EXPECT_EQ(m_Serial.BytesWaiting(), 3);
}

TEST(LineSettings, MapsTheFourMembersAndRefusesUnsupportedOnes)
{
    struct Case {
        DCB dcb;
        tcflag_t nExpected;
    };
    const Case good[] = {
        {Settings(115200, 8, 0, 0), CS8},
        {Settings(19200, 8, 1, 0), CS8 | PARENB | PARODD},
        {Settings(19200, 7, 2, 2), CS7 | PARENB | CSTOPB},
        {Settings(19200, 6, 3, 2), CS6 | PARENB | PARODD | CMSPAR | CSTOPB},
        {Settings(19200, 7, 4, 0), CS7 | PARENB | CMSPAR},
        {Settings(19200, 5, 0, 1), CS5 | CSTOPB},  // one and a half stop bits
    };
    for (const Case& c : good) {
        termios tio {};
        tio.c_cflag = CS5 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL;
        tio.c_iflag = ICRNL | INLCR | IXON | IXOFF;
        tio.c_lflag = ICANON | ECHO | ISIG;
        tio.c_oflag = OPOST;
        ASSERT_TRUE(DcbToTermios(c.dcb, tio));
        EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), c.nExpected);
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD | HUPCL), static_cast<tcflag_t>(CLOCAL | CREAD | HUPCL));
        EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IXON | IXOFF), 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(cfgetispeed(&tio), cfgetospeed(&tio));
    }

    const DCB bad[] = {
        Settings(12345, 8, 0, 0), Settings(0, 8, 0, 0), Settings(115200, 9, 0, 0),
        Settings(115200, 4, 0, 0), Settings(115200, 8, 5, 0), Settings(115200, 8, 0, 1),
        Settings(115200, 8, 0, 3),
    };
    for (const DCB& dcb : bad) {
        termios tio {};
        tio.c_cflag = CS7;
        EXPECT_FALSE(DcbToTermios(dcb, tio)) << dcb.BaudRate << " " << int(dcb.ByteSize);
        EXPECT_EQ(tio.c_cflag, static_cast<tcflag_t>(CS7));
    }
}

TEST_F(SerialTest, UnsupportedSettingsFailTheOpenAndHoldNothing)
{
    EXPECT_EQ(m_Serial.OpenPort(TEST_PORT, Settings(12345, 8, 0, 0)), 0);
    EXPECT_FALSE(m_Serial.IsOpen());
    EXPECT_EQ(m_Serial.OpenPort(TEST_PORT, Settings(115200, 9, 0, 0)), 0);
    EXPECT_EQ(m_Serial.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 1);  // no lock or handle left behind
}

TEST_F(SerialTest, PortWithoutDeviceFailsAndClosedPortDoesNothing)
{
    for (int nPort : {0, -1, 6, 100}) {
        EXPECT_EQ(m_Serial.OpenPort(nPort, CONSOLE_SETTINGS), 0) << nPort;
        EXPECT_FALSE(m_Serial.IsOpen());
    }
    CSerial missing(OnlyPort(3, "/nonexistent/ttyUSB9"));
    EXPECT_EQ(missing.OpenPort(3, CONSOLE_SETTINGS), 0);

    char buf[8] = {};
    EXPECT_EQ(m_Serial.BytesWaiting(), 0);
    EXPECT_EQ(m_Serial.ReadData(buf, 8), 0);
    EXPECT_EQ(m_Serial.WriteData("YYYY", 4), 0);
    EXPECT_EQ(m_Serial.SendByte('Y'), 1);
    EXPECT_EQ(m_Pty.ReceiveOnBoard(16, 20), "");
    EXPECT_EQ(m_Serial.ClosePort(), 1);
    EXPECT_EQ(m_Serial.ClosePort(), 1);

    ASSERT_EQ(m_Serial.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 1);
    EXPECT_EQ(m_Serial.ClosePort(), 1);
    EXPECT_EQ(m_Serial.ClosePort(), 1);
    EXPECT_EQ(m_Serial.WriteData("YYYY", 4), 0);
    EXPECT_EQ(m_Serial.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 1);  // can be opened again
}

TEST_F(SerialTest, ReadsOnlyWhatIsWaitingUpToTheLimit)
{
    ASSERT_EQ(m_Serial.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 1);
    char buf[16] = {};
    EXPECT_EQ(m_Serial.ReadData(buf, 16), 0);  // empty queue: returns at once

    ASSERT_TRUE(m_Pty.SendFromBoard("0123456789"));
    ASSERT_TRUE(m_Pty.WaitSlaveQueued(10));
    EXPECT_EQ(m_Serial.ReadData(buf, 0), 0);
    EXPECT_EQ(m_Serial.ReadData(buf, -5), 0);
    EXPECT_EQ(m_Serial.ReadData(nullptr, 4), 0);
    EXPECT_EQ(m_Serial.BytesWaiting(), 10);

    ASSERT_EQ(m_Serial.ReadData(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(m_Serial.BytesWaiting(), 6);
    ASSERT_EQ(m_Serial.ReadData(buf, 16), 6);
    EXPECT_EQ(std::string(buf, 6), "456789");
    EXPECT_EQ(m_Serial.ReadData(buf, 16), 0);
}

TEST_F(SerialTest, OpenDiscardsBytesReceivedBefore)
{
    ASSERT_TRUE(m_Pty.SendFromBoard("stale"));
    ASSERT_TRUE(m_Pty.WaitSlaveQueued(5));
    ASSERT_EQ(m_Serial.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 1);
    EXPECT_EQ(m_Serial.BytesWaiting(), 0);

    ASSERT_TRUE(m_Pty.SendFromBoard("new"));
    ASSERT_TRUE(m_Pty.WaitSlaveQueued(3));
    char buf[16] = {};
    ASSERT_EQ(m_Serial.ReadData(buf, 16), 3);
    EXPECT_EQ(std::string(buf, 3), "new");
}

TEST_F(SerialTest, LineGoneWhileOpenGivesZeroAndClosesThePort)
{
    // Each operation on its own must notice the loss first.
    for (int nOp = 0; nOp < 3; nOp++) {
        CPtyPair pty;
        ASSERT_TRUE(pty.IsValid());
        CSerial serial(OnlyPort(TEST_PORT, pty.SlavePath()));
        ASSERT_EQ(serial.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 1);
        pty.CloseMaster();

        char buf[8] = {};
        if (nOp == 0)
            EXPECT_EQ(serial.BytesWaiting(), 0);
        else if (nOp == 1)
            EXPECT_EQ(serial.ReadData(buf, 8), 0);
        else
            EXPECT_EQ(serial.WriteData("YYYYYYYY", 8), 0);
        EXPECT_FALSE(serial.IsOpen()) << nOp;
        EXPECT_EQ(serial.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 0);  // the line is really gone
        EXPECT_EQ(serial.ClosePort(), 1);
    }
}

TEST_F(SerialTest, WriteGivesUpAfterTheTimeLimitWithThePartialCount)
{
    ASSERT_EQ(m_Serial.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 1);
    m_Serial.SetWriteTimeoutMs(30);
    std::vector<char> data(4 << 20, 'x');  // far more than the line buffers; nobody reads
    int nWritten = m_Serial.WriteData(data.data(), static_cast<int>(data.size()));
    EXPECT_GT(nWritten, 0);
    EXPECT_LT(nWritten, static_cast<int>(data.size()));
    EXPECT_TRUE(m_Serial.IsOpen());
}

TEST_F(SerialTest, SecondOpenerOfTheSameLineIsRefusedUntilTheFirstCloses)
{
    CSerial other(OnlyPort(TEST_PORT, m_Pty.SlavePath()));
    ASSERT_EQ(m_Serial.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 1);
    EXPECT_EQ(other.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 0);
    m_Serial.ClosePort();
    EXPECT_EQ(other.OpenPort(TEST_PORT, CONSOLE_SETTINGS), 1);
}

TEST_F(SerialTest, PortWithoutResolverOpensOnlyOnceGivenOne)
{
    CComPortMap map;
    ASSERT_TRUE(map.AddEntry("COM7", m_Pty.SlavePath()));
    CSerial serial;
    EXPECT_EQ(serial.OpenPort(7, CONSOLE_SETTINGS), 0);

    serial.SetPortResolver(map.Resolver());
    EXPECT_EQ(serial.OpenPort(7, CONSOLE_SETTINGS), 1);
    EXPECT_EQ(serial.WriteData("Y", 1), 1);
    EXPECT_EQ(m_Pty.ReceiveOnBoard(1), "Y");
}

TEST(SerialPaths, NonTerminalsFailCleanly)
{
    char szFile[] = "/tmp/tovar_serial_XXXXXX";
    int hFile = mkstemp(szFile);
    ASSERT_GE(hFile, 0);
    close(hFile);
    for (const std::string& strPath : {std::string(szFile), std::string("/dev/null"), std::string("/tmp")}) {
        CSerial serial(OnlyPort(1, strPath));
        EXPECT_EQ(serial.OpenPort(1, CONSOLE_SETTINGS), 0) << strPath;
        EXPECT_FALSE(serial.IsOpen());
    }
    unlink(szFile);
}

TEST(SerialPaths, UnreadableDeviceFailsCleanly)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root opens devices whatever their permissions";
    CPtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0), 0);
    CSerial serial(OnlyPort(1, pty.SlavePath()));
    EXPECT_EQ(serial.OpenPort(1, CONSOLE_SETTINGS), 0);
    EXPECT_FALSE(serial.IsOpen());
}
