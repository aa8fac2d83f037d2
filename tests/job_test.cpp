#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "job/job.h"
#include "samba/monitor_backend.h"
#include "sim/virtual_board.h"
#include "support/job_recorder.h"
#include "support/pty_peer.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace {

constexpr int BOARD_COM = 9;

// One board of its own (virtual, on a pty and a loopback UDP port) with its own job engine.
struct CBoardAndJob {
    explicit CBoardAndJob(const std::string& strStore, bool bStoreFail = false)
    {
        BoardConfig config;
        config.transfer.bStoreFail = bStoreFail;
        config.monitor.nPromptMs = 10;
        config.monitor.nBootDelayMs = 50;
        config.transfer.strIp = "127.0.0.1";
        config.transfer.nPort = 0;
        config.transfer.strStoreDir = strStore;
        m_pBoard = std::make_unique<CVirtualBoard>(config);
        std::string strError;
        EXPECT_TRUE(m_pBoard->Start(strError)) << strError;
        const std::string strTty = m_pBoard->TtyPath();
        auto fnResolve = [strTty](int nPort) { return nPort == BOARD_COM ? strTty : std::string(); };
        At91BackendFactory fnFactory = [strTty, fnResolve]() -> std::unique_ptr<IAt91Backend> {
            auto fnScan = [strTty] { return std::vector<ComPortEntry>{{BOARD_COM, strTty}}; };
            return std::make_unique<CMonitorBackend>(fnResolve, fnScan, SystemClock());
        };
        m_pJob = std::make_unique<CJob>(m_Recorder, fnFactory);
        m_Request.strDevice = "COM9";
        m_Request.port = {BOARD_COM, strTty};
        m_Request.transfer.strBoardIp = "127.0.0.1";
        m_Request.transfer.nBoardPort = m_pBoard->UdpPort();
        m_Request.transfer.nLocalPort = 0;
        m_Request.transfer.nSettleMs = 0;
    }

    std::unique_ptr<CVirtualBoard> m_pBoard;
    CJobRecorder m_Recorder;
    std::unique_ptr<CJob> m_pJob;
    JobRequest m_Request;
};

}  // namespace

TEST(JobEngine, TwoJobsRunSideBySideAndBothInstall)
{
    CTempDir dir;
    dir.Write("tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin", std::string(3000, 'a'));
    dir.Write("tcl_lib/at91sam9x25-ek/VarroBoot.bin", std::string(5000, 'b'));
    dir.Write("images/one.bin", std::string(70000, '1'));
    dir.Write("images/two.bin", std::string(1500, '2'));
    std::vector<std::unique_ptr<CBoardAndJob>> lines;
    for (const char* szStore : {"store-a", "store-b"})
        lines.push_back(std::make_unique<CBoardAndJob>(dir.MakeDir(szStore)));
    for (auto& pLine : lines) {
        pLine->m_Request.strWorkDir = dir.Path();
        pLine->m_Request.images = {{0, 1, "one.bin", dir.Path() + "/images/one.bin", -1, -1},
                                   {1, 2, "two.bin", dir.Path() + "/images/two.bin", -1, -1}};
        std::string strWhy;
        ASSERT_TRUE(pLine->m_pJob->Start(pLine->m_Request, strWhy)) << strWhy;
    }
    for (auto& pLine : lines) {
        std::optional<JobResult> result = pLine->m_Recorder.Wait(60000);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->verdict, JobVerdict::Installed) << pLine->m_Recorder.Log();
        EXPECT_EQ(result->nChipId, 0x819A05A1u);
        ASSERT_EQ(result->images.size(), 2u);
        EXPECT_TRUE(result->images[0].bStored && result->images[1].bStored);
    }
    for (const char* szStore : {"store-a", "store-b"}) {
        EXPECT_EQ(dir.Read(std::string(szStore) + "/1.bin"), std::string(70000, '1')) << szStore;
        EXPECT_EQ(dir.Read(std::string(szStore) + "/2.bin"), std::string(1500, '2')) << szStore;
    }
}

TEST(JobEngine, BoardThatRefusesTheStoreFailsTheJob)
{
    CTempDir dir;
    dir.Write("tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin", std::string(300, 'a'));
    dir.Write("tcl_lib/at91sam9x25-ek/VarroBoot.bin", std::string(500, 'b'));
    dir.Write("images/one.bin", std::string(1500, '1'));
    CBoardAndJob line(dir.MakeDir("store"), true);
    line.m_Request.strWorkDir = dir.Path();
    line.m_Request.images = {{0, 1, "one.bin", dir.Path() + "/images/one.bin", -1, -1}};
    std::string strWhy;
    ASSERT_TRUE(line.m_pJob->Start(line.m_Request, strWhy)) << strWhy;
    std::optional<JobResult> result = line.m_Recorder.Wait(60000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::Failed) << line.m_Recorder.Log();
    EXPECT_EQ(result->stage, JobStage::Transfer);
    EXPECT_EQ(result->strReason, "one.bin was not stored");
    ASSERT_EQ(result->images.size(), 1u);
    EXPECT_FALSE(result->images[0].bStored);
}

TEST(JobEngine, StopWhileTheBootMonitorConnectsLogsOnlyTheStop)
{
    // The line stays silent and the connect would wait a minute: only the stop can end it.
    CPtyPeer silent;
    ASSERT_TRUE(silent.IsOpen());
    std::atomic<int> bConnectSent{0};
    silent.Start([&](const std::string& strIn) {
        if (strIn.find('N') != std::string::npos)
            bConnectSent = 1;
        return std::string();
    });
    const std::string strTty = silent.SlavePath();
    At91BackendFactory fnFactory = [strTty]() -> std::unique_ptr<IAt91Backend> {
        MonitorLimits limits;
        limits.nConnectMs = 60000;
        return std::make_unique<CMonitorBackend>([strTty](int) { return strTty; },
                                                 [] { return std::vector<ComPortEntry>{}; }, SystemClock(), nullptr,
                                                 limits);
    };
    CJobRecorder recorder;
    CJob job(recorder, fnFactory);
    JobRequest request;
    request.strDevice = "COM9";
    request.port = {BOARD_COM, strTty};
    std::string strWhy;
    ASSERT_TRUE(job.Start(request, strWhy)) << strWhy;
    ASSERT_TRUE(WaitUntil([&] { return bConnectSent.load() != 0; }));
    job.Stop();
    std::optional<JobResult> result = recorder.Wait();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::Stopped);
    EXPECT_EQ(result->stage, JobStage::BringUp);
    EXPECT_EQ(recorder.Log(), "终止下载!\r\n");
}

TEST(JobEngine, ABoardStillAtItsBootMonitorAnswersNoDatagram)
{
    CTempDir dir;
    dir.Write("images/one.bin", std::string(1500, '1'));
    CBoardAndJob line(dir.MakeDir("store"));
    line.m_Request.strWorkDir = dir.Path();
    line.m_Request.bBringUp = false;
    line.m_Request.transfer.nTries = 2;
    line.m_Request.transfer.nReplyTimeoutMs = 50;
    line.m_Request.images = {{0, 1, "one.bin", dir.Path() + "/images/one.bin", -1, -1}};
    std::string strWhy;
    ASSERT_TRUE(line.m_pJob->Start(line.m_Request, strWhy)) << strWhy;
    std::optional<JobResult> result = line.m_Recorder.Wait(60000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::Failed) << line.m_Recorder.Log();
    EXPECT_FALSE(dir.Exists("store/1.bin"));
}
