#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <mutex>
#include <thread>

#include "console/tovardlg.h"
#include "samba/at91_sim_board.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"
#include "support/test_options.h"
#include "support/wait_until.h"

namespace {

// A job on the simulated boot monitor whose console is a pseudo-terminal; the test plays the
// boot loader on the pty's far end.
class HandshakeTest : public ::testing::Test {
protected:
    void Start()
    {
        ASSERT_TRUE(m_Pty.IsValid());
        m_Board.SetDevices({"COM5"});
        TovarJobOptions options = TestOptions(m_Dir.Path(), 10000, [this](int nPort) {
            ++m_nResolves;
            if (nPort != 5 || m_nResolves <= m_nUnavailableOpens)
                return std::string();
            return m_Pty.SlavePath();
        });
        options.transfer.strBoardIp = "127.0.0.1";
        options.transfer.nBoardPort = m_nBoardPort;
        options.transfer.nLocalPort = 0;
        m_pDlg = std::make_unique<CTovarDlg>(m_View, m_Board.Factory(), m_Clock, options);
        m_pDlg->OnInitDialog();
        m_View.Select(0);
    }

    // From now on the board's end answers every burst once nBursts more have come; an empty reply
    // stops answering. Like a boot loader's console, it keeps answering, so a reply that a port
    // purges at its open is followed by another.
    void AnswerAfter(int nBursts, const std::string& strReply)
    {
        std::lock_guard<std::mutex> lock(m_AnswerMutex);
        m_nAnswerAfterBytes = static_cast<size_t>(nBursts) * 8;
        m_nBytesSeen = 0;
        m_strAnswer = strReply;
        if (!m_Answerer.joinable())
            m_Answerer = std::thread([this] { AnswerLoop(); });
    }

    void StopAnswering()
    {
        m_bAnswererStop = 1;
        if (m_Answerer.joinable())
            m_Answerer.join();
    }

    void AnswerLoop()
    {
        while (!m_bAnswererStop.load()) {
            std::string strIn = m_Pty.ReceiveOnBoard(4096, 20);
            if (strIn.empty())
                continue;
            m_bOnlySyncBytes = m_bOnlySyncBytes.load() && strIn.find_first_not_of('Y') == std::string::npos;
            std::lock_guard<std::mutex> lock(m_AnswerMutex);
            m_nBytesSeen += strIn.size();
            if (!m_strAnswer.empty() && m_nBytesSeen >= m_nAnswerAfterBytes)
                m_Pty.SendFromBoard(m_strAnswer);
        }
    }

    // The reply line and its burst count.
    std::pair<std::string, int> ReplyLine(const std::string& strLog)
    {
        size_t nComma = strLog.find(",  ");
        if (nComma == std::string::npos)
            return {"", -1};
        size_t nStart = strLog.rfind('\n', nComma);
        nStart = nStart == std::string::npos ? 0 : nStart + 1;
        return {strLog.substr(nStart, nComma - nStart), std::atoi(strLog.c_str() + nComma + 3)};
    }

    void WaitHandshakeDone()
    {
        ASSERT_TRUE(WaitUntil([&] { return !m_pDlg->m_Serial.IsOpen() && m_pDlg->m_bConsolePhase.load() == 0; }));
    }

    void TearDown() override
    {
        if (m_pDlg)
            m_pDlg->OnCancel();
        StopAnswering();
        EXPECT_TRUE(m_bOnlySyncBytes.load());
    }

    CPtyPair m_Pty;
    CTempDir m_Dir;
    CAt91SimBoard m_Board;
    CFakeView m_View;
    CFakeClock m_Clock;
    std::atomic<int> m_nResolves{0};
    int m_nUnavailableOpens = 0;
    int m_nBoardPort = 9;  // UDP discard port on loopback: nothing answers
    std::unique_ptr<CTovarDlg> m_pDlg;
    std::thread m_Answerer;
    std::mutex m_AnswerMutex;
    std::atomic<int> m_bAnswererStop{0};
    std::atomic<bool> m_bOnlySyncBytes{true};
    size_t m_nAnswerAfterBytes = 0;
    size_t m_nBytesSeen = 0;
    std::string m_strAnswer;
};

}  // namespace

TEST_F(HandshakeTest, ReplyAfterSeveralBurstsIsShownWithTheProgramWideCount)
{
    Start();
    int nBefore = g_nHandshakeCount.load();
    m_pDlg->OnOK();
    AnswerAfter(3, "VarroBoot>");
    ASSERT_TRUE(m_View.WaitForLog(",  "));
    WaitHandshakeDone();
    auto [strReply, nCount] = ReplyLine(m_View.Log());
    // The board's end answers every burst, so one or more answers may be waiting together.
    ASSERT_FALSE(strReply.empty());
    for (size_t i = 0; i < strReply.size(); i += 10)
        EXPECT_EQ(strReply.substr(i, 10), "VarroBoot>");
    EXPECT_GE(nCount, nBefore + 3);
    EXPECT_EQ(m_View.Log().find("串口打开失败"), std::string::npos);

    // The next job's count goes on from there, once the first job's transfer has ended.
    ASSERT_TRUE(m_View.WaitForLog("系统安装成功!\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return m_pDlg->m_bTransferRunning.load() == 0; }));
    m_pDlg->OnOK();
    EXPECT_EQ(m_pDlg->m_nJobsStarted.load(), 2);
    AnswerAfter(1, "again");
    ASSERT_TRUE(m_View.WaitForLog("again,  "));
    auto second = ReplyLine(m_View.Log().substr(m_View.Log().find("again")));
    EXPECT_GT(second.second, nCount);
}

TEST_F(HandshakeTest, LongReplyIsCutToTheBuffer)
{
    Start();
    m_pDlg->OnOK();
    AnswerAfter(1, std::string(150, 'R'));
    ASSERT_TRUE(m_View.WaitForLog(",  "));
    WaitHandshakeDone();
    auto [strReply, nCount] = ReplyLine(m_View.Log());
    EXPECT_GE(strReply.size(), 1u);
    EXPECT_LE(strReply.size(), 99u);
    EXPECT_EQ(strReply.find_first_not_of('R'), std::string::npos);
}

TEST_F(HandshakeTest, OnlyTheBytesWaitingAtTheCheckAreShown)
{
    Start();
    m_pDlg->OnOK();
    AnswerAfter(1, "AB");
    ASSERT_TRUE(m_View.WaitForLog("AB,  "));
    WaitHandshakeDone();
    StopAnswering();
    m_Pty.SendFromBoard("CD");  // arrives after the port was closed: never shown
    EXPECT_EQ(m_View.Log().find("CD"), std::string::npos);
}

TEST_F(HandshakeTest, PortThatCannotBeOpenedForAWhileIsReportedOnce)
{
    m_nUnavailableOpens = 5;
    Start();
    m_pDlg->OnOK();
    AnswerAfter(1, "ok");
    ASSERT_TRUE(m_View.WaitForLog("ok,  "));
    std::string strLog = m_View.Log();
    size_t nFirst = strLog.find("COM5:     串口打开失败!\r\n");
    ASSERT_NE(nFirst, std::string::npos);
    EXPECT_EQ(strLog.find("COM5:     串口打开失败!", nFirst + 1), std::string::npos);
    EXPECT_GT(m_nResolves.load(), 5);
}

TEST_F(HandshakeTest, PulledAdapterMidJobIsReportedAndTheWorkerStaysResponsive)
{
    Start();
    m_pDlg->OnOK();
    ASSERT_TRUE(WaitUntil([&] { return m_pDlg->m_Serial.IsOpen(); }));
    StopAnswering();
    m_Pty.CloseMaster();  // the line goes away under an open port
    ASSERT_TRUE(m_View.WaitForLog("COM5:     串口打开失败!\r\n"));
    m_pDlg->OnCancel();
    EXPECT_FALSE(m_pDlg->WorkerRunning());
}

TEST_F(HandshakeTest, StartPressedDuringTheConsolePhaseIsServedBeforeTheTransfer)
{
    Start();
    m_pDlg->OnOK();
    ASSERT_TRUE(WaitUntil([&] { return m_pDlg->m_Serial.IsOpen(); }));
    m_pDlg->OnStop();
    m_pDlg->OnOK();  // the first bring-up has ended: a second job is queued behind the console phase
    EXPECT_EQ(m_pDlg->m_nJobsStarted.load(), 2);
    AnswerAfter(1, "first");
    ASSERT_TRUE(m_View.WaitForLog("first,  "));
    AnswerAfter(1, "second");
    ASSERT_TRUE(m_View.WaitForLog("second,  "));
    ASSERT_TRUE(m_View.WaitForLog("系统安装成功!\r\n"));  // no file configured: the transfer sends nothing
    std::string strLog = m_View.Log();
    size_t nSecondBringUp = strLog.find("Chip ID match.", strLog.find("first,  "));
    ASSERT_NE(nSecondBringUp, std::string::npos);
    EXPECT_LT(nSecondBringUp, strLog.find("second,  "));
    EXPECT_EQ(strLog.find("系统安装成功!"), strLog.rfind("系统安装成功!"));  // one transfer, after the second job
}

TEST_F(HandshakeTest, ExitDuringTheTransferEndsTheWorkerPromptly)
{
    m_Dir.Write("KX30T/config.cfg", "[COUNT]\ncount=1\n[Startup]\nid=1\nname=big.bin\n");
    m_Dir.Write("KX30T/系统安装/big.bin", std::string(100000, 'x'));
    Start();
    m_pDlg->OnOK();
    AnswerAfter(1, "ready");
    ASSERT_TRUE(m_View.WaitForLog("big.bin:     正在下载......\r\n"));
    m_pDlg->OnCancel();  // the transfer is waiting for a reply that never comes
    EXPECT_FALSE(m_pDlg->WorkerRunning());
    EXPECT_TRUE(m_View.m_bEnded);
    EXPECT_EQ(m_View.Log().find("系统安装"), std::string::npos);
}
