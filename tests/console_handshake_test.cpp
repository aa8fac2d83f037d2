#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <string>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "job/job.h"
#include "sim/at91_sim_board.h"
#include "support/fake_clock.h"
#include "support/job_recorder.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace {

// A job on the simulated boot monitor whose console is a pseudo-terminal; the test plays the
// boot loader on the pty's far end.
class HandshakeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Pty.IsValid());
        m_Board.SetDevices({"COM5"});
        m_Request.strDevice = "COM5";
        m_Request.port = {5, m_Pty.SlavePath()};
        m_Request.strWorkDir = m_Dir.Path();
        m_Request.transfer.strBoardIp = "127.0.0.1";
        m_Request.transfer.nBoardPort = 9;  // UDP discard port on loopback: nothing answers
        m_Request.transfer.nLocalPort = 0;
        m_pJob = std::make_unique<CJob>(m_Recorder, m_Board.Factory(), m_Clock);
    }

    void Press()
    {
        std::string strWhy;
        ASSERT_TRUE(m_pJob->Start(m_Request, strWhy)) << strWhy;
    }

    bool WaitForLog(const std::string& strText)
    {
        return WaitUntil([&] { return m_Recorder.Log().find(strText) != std::string::npos; });
    }

    // The job is sending bursts on the console.
    bool WaitForBursts()
    {
        AnswerAfter(1 << 20, "");  // only listens
        return WaitUntil([&] {
            std::lock_guard<std::mutex> lock(m_AnswerMutex);
            return m_nBytesSeen > 0;
        });
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

    void TearDown() override
    {
        if (m_pJob)
            m_pJob->Quit(10000);
        StopAnswering();
        EXPECT_TRUE(m_bOnlySyncBytes.load());
    }

    CPtyPair m_Pty;
    CTempDir m_Dir;
    CAt91SimBoard m_Board;
    CFakeClock m_Clock;
    CJobRecorder m_Recorder;
    JobRequest m_Request;
    std::unique_ptr<CJob> m_pJob;
    std::thread m_Answerer;
    std::mutex m_AnswerMutex;
    std::atomic<int> m_bAnswererStop{0};
    std::atomic<bool> m_bOnlySyncBytes{true};
    size_t m_nAnswerAfterBytes = 0;
    size_t m_nBytesSeen = 0;
    std::string m_strAnswer;
};

}  // namespace

TEST_F(HandshakeTest, ReplyAfterSeveralBurstsIsShownWithTheEnginesCount)
{
    Press();
    AnswerAfter(3, "VarroBoot>");
    std::optional<JobResult> result = m_Recorder.Wait();
    ASSERT_TRUE(result);
    auto [strReply, nCount] = ReplyLine(m_Recorder.Log());
    // The board's end answers every burst, so one or more answers may be waiting together.
    ASSERT_FALSE(strReply.empty());
    for (size_t i = 0; i < strReply.size(); i += 10)
        EXPECT_EQ(strReply.substr(i, 10), "VarroBoot>");
    EXPECT_GE(nCount, 3);
    EXPECT_EQ(m_Recorder.Log().find("串口打开失败"), std::string::npos);

    // The next job's count goes on from there.
    ASSERT_TRUE(WaitUntil([&] { return !m_pJob->Running(); }));
    Press();
    AnswerAfter(1, "again");
    ASSERT_TRUE(m_Recorder.Wait());
    auto second = ReplyLine(m_Recorder.Log().substr(m_Recorder.Log().find("again")));
    EXPECT_GT(second.second, nCount);
}

TEST_F(HandshakeTest, LongReplyIsCutToTheBuffer)
{
    Press();
    AnswerAfter(1, std::string(150, 'R'));
    ASSERT_TRUE(m_Recorder.Wait());
    auto [strReply, nCount] = ReplyLine(m_Recorder.Log());
    EXPECT_GE(strReply.size(), 1u);
    EXPECT_LE(strReply.size(), 99u);
    EXPECT_EQ(strReply.find_first_not_of('R'), std::string::npos);
}

// The detailed log keeps the reply's raw bytes, which the pane shows decoded and cut at a zero byte.
TEST_F(HandshakeTest, RawReplyGoesToTheDetailedLog)
{
    Press();
    AnswerAfter(1, std::string("ok\r\n\x01\0z", 7));
    ASSERT_TRUE(m_Recorder.Wait());
    EXPECT_NE(m_Recorder.Detail().find(" read: \"ok\\r\\n\\x01\\x00z"), std::string::npos) << m_Recorder.Detail();
    EXPECT_EQ(m_Recorder.Detail().rfind("->Console COM5 answered burst ", 0), 0u) << m_Recorder.Detail();
}

TEST_F(HandshakeTest, OnlyTheBytesWaitingAtTheCheckAreShown)
{
    Press();
    AnswerAfter(1, "AB");
    ASSERT_TRUE(m_Recorder.Wait());
    StopAnswering();
    m_Pty.SendFromBoard("CD");  // arrives after the port was closed: never shown
    EXPECT_EQ(m_Recorder.Log().find("CD"), std::string::npos);
}

TEST_F(HandshakeTest, PortThatCannotBeOpenedForAWhileIsReportedOnce)
{
    // The console's device appears only after the job has tried it.
    const std::string strLink = m_Dir.Path() + "/console-link";
    m_Request.port.strPath = strLink;
    Press();
    ASSERT_TRUE(WaitForLog("COM5:     串口打开失败!\r\n"));
    ASSERT_EQ(symlink(m_Pty.SlavePath().c_str(), strLink.c_str()), 0);
    AnswerAfter(1, "ok");
    ASSERT_TRUE(m_Recorder.Wait());
    std::string strLog = m_Recorder.Log();
    size_t nFirst = strLog.find("COM5:     串口打开失败!\r\n");
    EXPECT_EQ(strLog.find("COM5:     串口打开失败!", nFirst + 1), std::string::npos);
    EXPECT_NE(strLog.find("ok,  "), std::string::npos);
}

TEST_F(HandshakeTest, PulledAdapterMidJobIsReportedAndStopStillEndsTheJob)
{
    Press();
    ASSERT_TRUE(WaitForBursts());
    StopAnswering();
    m_Pty.CloseMaster();  // the line goes away under an open port
    ASSERT_TRUE(WaitForLog("COM5:     串口打开失败!\r\n"));
    m_pJob->Stop();
    std::optional<JobResult> result = m_Recorder.Wait();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::Stopped);
}

TEST_F(HandshakeTest, StopDuringTheConsolePhaseEndsTheJobAndANewOneCanStart)
{
    m_Board.SetAppletStatus(3);  // a failed bring-up still waits for a console
    m_Request.nConsoleFallbackMs = std::numeric_limits<int>::max();  // longer than the test
    Press();
    ASSERT_TRUE(WaitForBursts());
    m_pJob->Stop();
    std::optional<JobResult> result = m_Recorder.Wait();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::Stopped);
    EXPECT_EQ(result->stage, JobStage::Console);
    EXPECT_NE(m_Recorder.Log().find("终止下载!\r\n"), std::string::npos);
    ASSERT_TRUE(WaitUntil([&] { return !m_pJob->Running(); }));
    m_Board.SetAppletStatus(0);
    Press();
    AnswerAfter(1, "second");
    result = m_Recorder.Wait();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::Installed);  // no image: nothing to send
}

TEST_F(HandshakeTest, QuitDuringTheTransferEndsTheWorkerPromptly)
{
    m_Dir.Write("KX30T/系统安装/big.bin", std::string(100000, 'x'));
    m_Request.images = {{0, 1, "big.bin", m_Dir.Path() + "/KX30T/系统安装/big.bin", -1, -1}};
    Press();
    AnswerAfter(1, "ready");
    ASSERT_TRUE(WaitForLog("big.bin:     正在下载......\r\n"));
    EXPECT_TRUE(m_pJob->Quit(10000));  // the transfer is waiting for a reply that never comes
    EXPECT_FALSE(m_pJob->WorkerRunning());
    std::optional<JobResult> result = m_Recorder.Wait();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::Stopped);
    EXPECT_EQ(m_Recorder.Log().find("系统安装"), std::string::npos);
}
