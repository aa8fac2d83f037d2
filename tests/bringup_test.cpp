#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job/job.h"
#include "sim/at91_sim_board.h"
#include "support/fake_clock.h"
#include "support/job_recorder.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace {

const char* kApplet = "tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin";
const char* kBoot = "tcl_lib/at91sam9x25-ek/VarroBoot.bin";

const std::vector<std::string> kFullSequence = {
    "OpenDevice COM1",
    "ReadWord 0xfffff240",
    "WriteBlock 0x00300000+5",
    "WriteWord 0x0030000c=1",
    "WriteWord 0x00300014=0",
    "WriteWord 0x00300004=0",
    "Jump 0x00300000",
    "ReadWord 0x00300004",
    "ReadWord 0x00300008",
    "WriteBlock 0x00300000+9",
    "WriteWord 0x0030000c=1",
    "WriteWord 0x00300014=1",
    "WriteWord 0x00300018=0",
    "WriteWord 0x0030001c=16",
    "WriteWord 0x00300020=0",
    "WriteWord 0x00300004=0",
    "Jump 0x00300000",
    "ReadWord 0x00300004",
    "ReadWord 0x00300008",
    "CloseDevice",
};

// One job on a board of its own whose console never answers: after the bring-up the console
// phase gives up at once, so the job ends and its bring-up can be looked at.
struct CBringUpRun {
    CBringUpRun(CAt91SimBoard& board, const std::string& strDir, IClock& clock) : m_Job(m_Recorder, board.Factory(), clock)
    {
        m_Request.strDevice = "COM1";
        m_Request.port = {1, ""};
        m_Request.strWorkDir = strDir;
        m_Request.nConsoleTimeoutMs = 1;
        m_Request.nConsoleFallbackMs = 1;
    }
    JobResult Run()
    {
        std::string strWhy;
        EXPECT_TRUE(m_Job.Start(m_Request, strWhy)) << strWhy;
        std::optional<JobResult> result = m_Recorder.Wait();
        EXPECT_TRUE(result.has_value());
        return result.value_or(JobResult{});
    }
    std::string Log() const { return m_Recorder.BringUpLog(); }

    CJobRecorder m_Recorder;
    JobRequest m_Request;
    CJob m_Job;
};

class BringUpTest : public ::testing::Test {
protected:
    BringUpTest()
    {
        m_Dir.Write(kApplet, "APPLT");
        m_Dir.Write(kBoot, "BOOTLOADR");
    }

    JobResult Run() { return m_Run.Run(); }
    std::string Log() const { return m_Run.Log(); }
    std::vector<std::string> Sequence() const { return m_Board.CallSummary(); }

    // The good sequence cut after call nLast, then the device closed.
    static std::vector<std::string> CutAfter(size_t nLast)
    {
        std::vector<std::string> seq(kFullSequence.begin(), kFullSequence.begin() + static_cast<long>(nLast) + 1);
        seq.push_back("CloseDevice");
        return seq;
    }

    // The bring-up ended with the device closed and the wrapper gone, and the job went on to wait
    // for the console. One that broke off fails with its cause once that wait is over.
    static void ExpectHandedToConsole(const JobResult& result, const CAt91SimBoard& board, bool bBrokenOff = true)
    {
        EXPECT_GT(result.nConsoleMs, 0);
        EXPECT_EQ(result.verdict, JobVerdict::Failed);
        EXPECT_EQ(result.stage, bBrokenOff ? JobStage::BringUp : JobStage::Console);
        if (bBrokenOff) {
            EXPECT_FALSE(result.strReason.empty());
        }
        EXPECT_EQ(board.BackendsBound(), 0);
        EXPECT_EQ(board.OpenHandles(), 0);
    }

    CTempDir m_Dir;
    CAt91SimBoard m_Board;
    CFakeClock m_Clock;
    CBringUpRun m_Run{m_Board, m_Dir.Path(), m_Clock};
};

}  // namespace

TEST_F(BringUpTest, GoodChipRunsAppletThenBootLoaderInOrder)
{
    JobResult result = Run();
    EXPECT_EQ(Sequence(), kFullSequence);
    EXPECT_EQ(Log(), "当前芯片Chip ID: 0x819a05a1Chip ID match.\r\n->Extram Ok.\r\n");
    EXPECT_EQ(result.nChipId, 0x819A05A1u);
    auto calls = m_Board.Calls();
    EXPECT_EQ(std::string(calls[2].data.begin(), calls[2].data.end()), "APPLT");
    EXPECT_EQ(std::string(calls[9].data.begin(), calls[9].data.end()), "BOOTLOADR");
    ExpectHandedToConsole(result, m_Board, false);
}

TEST_F(BringUpTest, MaskedBitsAreIgnoredOtherBitsRejectTheChip)
{
    m_Board.SetChipId(0x819F05BF);  // differs only in bits 0-4 and 16-19
    Run();
    EXPECT_NE(Log().find("0x819f05bfChip ID match.\r\n"), std::string::npos);

    CAt91SimBoard wrong;
    wrong.SetChipId(0x819A05C1);  // bit 6 differs
    CBringUpRun run(wrong, m_Dir.Path(), m_Clock);
    JobResult result = run.Run();
    EXPECT_EQ(result.verdict, JobVerdict::ChipRejected);
    EXPECT_EQ(result.stage, JobStage::BringUp);
    EXPECT_EQ(run.Log(), "当前芯片Chip ID: 0x819a05c1\r\nChip ID match Fail.\r\n");
    EXPECT_EQ(wrong.CallSummary(), (std::vector<std::string>{"OpenDevice COM1", "ReadWord 0xfffff240", "CloseDevice"}));
    EXPECT_EQ(wrong.BackendsBound(), 0);
}

// A chip that could not be read was not rejected: the job fails with the read's cause.
TEST_F(BringUpTest, FailedChipReadShowsZeroAndFailsTheBringUp)
{
    m_Board.FailCall("ReadWord", 1, 5);
    JobResult result = Run();
    EXPECT_EQ(result.verdict, JobVerdict::Failed);
    EXPECT_EQ(result.stage, JobStage::BringUp);
    EXPECT_EQ(result.strReason, "reading the chip identifier failed: error word 0x00000005");
    EXPECT_FALSE(result.bChipIdRead);
    EXPECT_EQ(Sequence(), (std::vector<std::string>{"OpenDevice COM1", "ReadWord 0xfffff240", "CloseDevice"}));
    EXPECT_EQ(Log(), "->Reading the chip identifier failed on COM1: error word 0x00000005.\r\n"
                     "当前芯片Chip ID: 0x00000000\r\nChip ID match Fail.\r\n");
}

TEST_F(BringUpTest, MissingFilesAreReportedAndLeadToTheConsole)
{
    std::remove((m_Dir.Path() + "/" + kApplet).c_str());
    JobResult result = Run();
    EXPECT_EQ(Sequence(), CutAfter(1));
    EXPECT_NE(Log().find("Chip ID match.\r\n->Failed to open lowlevelinit file.\r\n"), std::string::npos);
    ExpectHandedToConsole(result, m_Board);

    CTempDir dir;
    dir.Write(kApplet, "APPLT");
    CAt91SimBoard board;
    CBringUpRun run(board, dir.Path(), m_Clock);
    ExpectHandedToConsole(run.Run(), board);
    EXPECT_EQ(board.CallSummary(), CutAfter(8));
    EXPECT_NE(run.Log().find("->Failed to open extram file.\r\n"), std::string::npos);
    EXPECT_EQ(run.Log().find("Extram Ok"), std::string::npos);
}

TEST_F(BringUpTest, EmptyFilesAreWrittenAsEmptyBlocks)
{
    m_Dir.Write(kApplet, "");
    Run();
    EXPECT_EQ(Sequence()[2], "WriteBlock 0x00300000+0");
}

TEST_F(BringUpTest, ErrorWordAtAnyStepEndsTheStageWithItsCause)
{
    // Every call after the chip read, by method and occurrence, in the good sequence's order.
    struct Step {
        const char* szMethod;
        int nOccurrence;
        size_t nIndex;
    };
    const Step steps[] = {{"WriteBlock", 1, 2}, {"WriteWord", 1, 3},  {"WriteWord", 2, 4}, {"WriteWord", 3, 5},
                          {"Jump", 1, 6},       {"ReadWord", 2, 7},   {"ReadWord", 3, 8},  {"WriteBlock", 2, 9},
                          {"WriteWord", 4, 10}, {"WriteWord", 5, 11}, {"WriteWord", 6, 12}, {"WriteWord", 7, 13},
                          {"WriteWord", 8, 14}, {"WriteWord", 9, 15}, {"Jump", 2, 16},     {"ReadWord", 4, 17},
                          {"ReadWord", 5, 18}};
    for (const Step& step : steps) {
        CAt91SimBoard board;
        board.FailCall(step.szMethod, step.nOccurrence, 0x42);
        CBringUpRun run(board, m_Dir.Path(), m_Clock);
        JobResult result = run.Run();
        ExpectHandedToConsole(result, board);
        EXPECT_TRUE(result.strReason.ends_with(" failed: error word 0x00000042")) << result.strReason;
        EXPECT_EQ(board.CallSummary(), CutAfter(step.nIndex)) << step.szMethod << step.nOccurrence;
        std::string strLog = run.Log();
        EXPECT_EQ(strLog.rfind("当前芯片Chip ID: 0x819a05a1Chip ID match.\r\n->", 0), 0u) << strLog;
        EXPECT_NE(strLog.find("failed on COM1: error word 0x00000042.\r\n"), std::string::npos) << strLog;
        // The raw word also goes to the detailed log.
        EXPECT_NE(run.m_Recorder.Detail().find(" on COM1: boot monitor error word 0x00000042.\r\n"), std::string::npos);
    }
}

TEST_F(BringUpTest, AppletAndBootLoaderStatus)
{
    m_Board.SetAppletStatus(3);
    ExpectHandedToConsole(Run(), m_Board);
    EXPECT_EQ(Sequence(), CutAfter(8));
    EXPECT_EQ(Log(), "当前芯片Chip ID: 0x819a05a1Chip ID match.\r\n->底层初始化程序返回错误 / The low-level init applet reported status 0x00000003.\r\n");

    CAt91SimBoard board;
    board.SetBootLoaderStatus(0x0F);
    CBringUpRun run(board, m_Dir.Path(), m_Clock);
    ExpectHandedToConsole(run.Run(), board);
    EXPECT_EQ(board.CallSummary(), kFullSequence);
    EXPECT_EQ(run.Log(), "当前芯片Chip ID: 0x819a05a1Chip ID match.\r\n->Extram Error.\r\n");
}

TEST_F(BringUpTest, DeviceThatDidNotOpenGoesStraightToTheConsole)
{
    m_Board.SetOpenFails(true);
    ExpectHandedToConsole(Run(), m_Board);
    EXPECT_EQ(Sequence(), (std::vector<std::string>{"OpenDevice COM1", "CloseDevice"}));
    EXPECT_EQ(Log().rfind("->COM1 did not open for the boot monitor", 0), 0u) << Log();
}

// After a bring-up that broke off, a board that comes up by itself is waited for only as long as
// the fallback bound; after a good one the console's own bound (here none) still holds.
TEST_F(BringUpTest, ConsoleAfterABrokenOffBringUpIsWaitedForOnlyUpToTheFallbackBound)
{
    m_Board.SetAppletStatus(3);
    m_Run.m_Request.nConsoleTimeoutMs = 0;
    m_Run.m_Request.nConsoleFallbackMs = 30000;
    JobResult result = Run();
    EXPECT_EQ(result.verdict, JobVerdict::Failed);
    EXPECT_EQ(result.stage, JobStage::BringUp);
    EXPECT_EQ(result.strReason, "the low-level init applet reported status 0x00000003");
    EXPECT_GE(result.nConsoleMs, 30000);
    EXPECT_LT(result.nConsoleMs, 31000);

    CAt91SimBoard good;
    CBringUpRun run(good, m_Dir.Path(), m_Clock);
    run.m_Request.nConsoleTimeoutMs = 0;
    run.m_Request.nConsoleFallbackMs = 30000;
    std::string strWhy;
    ASSERT_TRUE(run.m_Job.Start(run.m_Request, strWhy)) << strWhy;
    const uint64_t nStartMs = m_Clock.NowMs();
    ASSERT_TRUE(WaitUntil([&] { return m_Clock.NowMs() > nStartMs + 40000 || run.m_Recorder.Finished() > 0; }));
    EXPECT_EQ(run.m_Job.Stage(), JobStage::Console);
    run.m_Job.Stop();
    std::optional<JobResult> stopped = run.m_Recorder.Wait();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->verdict, JobVerdict::Stopped);
}

// With the monitor on its USB port the bring-up opens that port and tells both applets their link
// is USB (argument 0 is 0); a port that does not open fails the job with no console wait.
TEST_F(BringUpTest, UsbMonitorPortTellsTheAppletsTheirLinkAndFailsWithoutAConsoleWait)
{
    m_Board.SetDevices({"usb:1-2.4"});
    m_Run.m_Request.strMonitorPort = "usb:1-2.4";
    JobResult result = Run();
    std::vector<std::string> expected = kFullSequence;
    expected[0] = "OpenDevice usb:1-2.4";
    expected[3] = expected[10] = "WriteWord 0x0030000c=0";
    EXPECT_EQ(Sequence(), expected);
    EXPECT_EQ(Log().rfind("->等待引导监控的 USB 口 / Waiting for the boot monitor's USB port usb:1-2.4 (at most 10 s).\r\n", 0), 0u) << Log();

    CAt91SimBoard board;
    board.SetOpenFails(true);
    CBringUpRun run(board, m_Dir.Path(), m_Clock);
    run.m_Request.strMonitorPort = "usb:1-2.4";
    result = run.Run();
    EXPECT_EQ(result.verdict, JobVerdict::Failed);
    EXPECT_EQ(result.stage, JobStage::BringUp);
    EXPECT_EQ(result.nConsoleMs, 0);
    EXPECT_EQ(result.strReason.rfind("usb:1-2.4 did not open for the boot monitor", 0), 0u) << result.strReason;
}
