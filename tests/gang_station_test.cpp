#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "line/gang_station.h"
#include "sim/virtual_board.h"
#include "support/temp_dir.h"

namespace {

// Keeps the results a gang reports; waits are bounded.
class CGangRecorder : public IGangObserver {
public:
    void OnSlotLog(int, const std::string& strText) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_strLog += strText;
    }
    void OnSlotResult(int, const JobResult& result) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Results.push_back(result);
        m_Cond.notify_all();
    }
    void OnSlotAlarm(int, int nFailures) override { m_nAlarm = nFailures; }
    void OnSlotEnded(int, const std::string& strWhy) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_strEndWhy = strWhy;
    }
    std::string EndWhy()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_strEndWhy;
    }
    std::atomic<int> m_nAlarm{0};
    bool WaitResults(size_t nCount, int nMs)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Cond.wait_for(lock, std::chrono::milliseconds(nMs), [&] { return m_Results.size() >= nCount; });
    }
    JobResult Result(size_t n)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Results.at(n);
    }
    std::string Log()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_strLog;
    }

private:
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    std::string m_strLog;
    std::string m_strEndWhy;
    std::vector<JobResult> m_Results;
};

// A virtual board behind a fixed link path and UDP port, as a USB board that is plugged in.
std::unique_ptr<CVirtualBoard> PlugBoard(const std::string& strLink, int nUdpPort, const std::string& strStore)
{
    BoardConfig config;
    config.monitor.nPromptMs = 10;
    config.monitor.nBootDelayMs = 50;
    config.transfer.strIp = "127.0.0.1";
    config.transfer.nPort = nUdpPort;
    config.transfer.strStoreDir = strStore;
    config.strLinkPath = strLink;
    auto pBoard = std::make_unique<CVirtualBoard>(config);
    std::string strError;
    EXPECT_TRUE(pBoard->Start(strError)) << strError;
    return pBoard;
}

}  // namespace

TEST(GangStation, InALoopTheSlotTakesTheNextBoardByItselfWithTheNextIdentity)
{
    CTempDir dir;
    dir.Write("KX30T/config.cfg", "[COUNT]\r\ncount=2\r\n[Startup]\r\nid=1\r\nname=boot.bin\r\n"
                                  "[Download]\r\nid=2\r\nname=ins.txt\r\n");
    dir.Write("KX30T/系统安装/boot.bin", std::string(40000, 'b'));
    dir.Write("KX30T/系统安装/ins.txt", std::string(600, 't'));
    dir.Write("tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin", std::string(3000, 'a'));
    dir.Write("tcl_lib/at91sam9x25-ek/VarroBoot.bin", std::string(5000, 'v'));
    CStationRecord record;
    RecordSettings recordSettings;
    recordSettings.strWorkDir = dir.Path();
    recordSettings.strStation = "gang";
    std::string strWhy;
    ASSERT_TRUE(record.Open(recordSettings, strWhy)) << strWhy;
    ASSERT_TRUE(record.Record()->AddPool("macs", "58:76:75:01:06:00", 5, strWhy)) << strWhy;
    ASSERT_TRUE(record.Record()->AddPool("factory", "20260201", 5, strWhy)) << strWhy;
    ASSERT_TRUE(record.Record()->AddPool("reg", "5A3C0300", 5, strWhy)) << strWhy;

    const std::string strLink = dir.Path() + "/ttyBoard";
    auto pBoard = PlugBoard(strLink, 0, dir.MakeDir("first"));
    const int nUdpPort = pBoard->UdpPort();
    StationSettings station;
    station.strWorkDir = dir.Path();
    station.strBoardIp = "127.0.0.1";
    StationSlot slot;
    slot.nSlot = 1;
    slot.strPort = strLink;
    slot.nBoardPort = nUdpPort;
    slot.nLocalPort = 0;
    slot.nSettleMs = 0;
    std::vector<GangSlotSetup> setups;
    ASSERT_TRUE(CGangStation::PlanSlots(station, {slot}, setups, strWhy)) << strWhy;
    GangSettings settings;
    settings.bLoop = true;
    settings.nCount = 2;
    settings.nPollMs = 20;

    CGangRecorder recorder;
    CGangStation gang(recorder, record);
    ASSERT_TRUE(gang.Start(setups, settings, strWhy)) << strWhy;
    ASSERT_TRUE(recorder.WaitResults(1, 30000)) << recorder.Log();
    EXPECT_EQ(recorder.Result(0).verdict, JobVerdict::Installed) << recorder.Log();
    // The installed board runs its boot loader: the slot waits. Unplug it and plug in the next.
    pBoard.reset();
    pBoard = PlugBoard(strLink, nUdpPort, dir.MakeDir("second"));
    ASSERT_TRUE(recorder.WaitResults(2, 30000)) << recorder.Log();
    EXPECT_EQ(recorder.Result(1).verdict, JobVerdict::Installed) << recorder.Log();
    EXPECT_TRUE(gang.WaitEnded(10000));

    EXPECT_EQ(recorder.Result(0).identity.strFactory, "20260201");
    EXPECT_EQ(recorder.Result(1).identity.strFactory, "20260202");
    EXPECT_EQ(dir.Read("first/2.bin").substr(4, 8), "20260201");
    EXPECT_EQ(dir.Read("second/2.bin").substr(4, 8), "20260202");
    EXPECT_EQ(dir.Read("second/1.bin"), std::string(40000, 'b'));
}

// Two slots that reach one board address need a link each; one bind= of their own each will do.
TEST(GangPlan, SlotsThatReachTheSameBoardNeedTheirOwnLinks)
{
    StationSettings station;
    station.strBoardIp = "10.0.0.2";
    StationSlot one;
    one.nSlot = 1;
    one.strPort = "COM3";
    StationSlot two = one;
    two.nSlot = 2;
    two.strPort = "COM4";
    std::vector<GangSlotSetup> setups;
    std::string strWhy;
    EXPECT_FALSE(CGangStation::PlanSlots(station, {one, two}, setups, strWhy));
    EXPECT_NE(strWhy.find("[slot1] and [slot2] both reach the board at 10.0.0.2:1000"), std::string::npos) << strWhy;
    one.strBind = "eth1";
    two.strBind = "eth2";
    EXPECT_TRUE(CGangStation::PlanSlots(station, {one, two}, setups, strWhy)) << strWhy;
}

// A board that comes and goes at every look, as a fixture that keeps being loaded.
class CComingAndGoing : public IBoardProbe {
public:
    BoardPresence Probe() override { return (m_nLooks++ % 2) ? BoardPresence::Monitor : BoardPresence::Absent; }

private:
    int m_nLooks = 0;
};

// A slot that fails board after board in a loop stops at the alarm's count and says so.
TEST(GangStation, AfterTheAlarmsCountOfFailuresInARowTheSlotStopsItsLoop)
{
    CTempDir dir;
    dir.Write("KX30T/config.cfg", "[COUNT]\r\ncount=1\r\n[Startup]\r\nid=1\r\nname=boot.bin\r\n");
    dir.Write("KX30T/系统安装/boot.bin", std::string(400, 'b'));
    dir.Write("KX30T/系统安装/ins.txt", std::string(600, 't'));
    dir.Write("tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin", std::string(3000, 'a'));
    dir.Write("tcl_lib/at91sam9x25-ek/VarroBoot.bin", std::string(5000, 'v'));
    CStationRecord record;
    RecordSettings recordSettings;
    recordSettings.strWorkDir = dir.Path();
    std::string strWhy;
    ASSERT_TRUE(record.Open(recordSettings, strWhy)) << strWhy;
    ASSERT_TRUE(record.Record()->AddPool("macs", "58:76:75:01:07:00", 9, strWhy)) << strWhy;
    ASSERT_TRUE(record.Record()->AddPool("factory", "20260301", 9, strWhy)) << strWhy;
    ASSERT_TRUE(record.Record()->AddPool("reg", "5A3C0400", 9, strWhy)) << strWhy;

    BoardConfig config;
    config.monitor.nPromptMs = 10;
    config.monitor.nChipId = 0x12345678;   // every board is refused by its chip: a failure each time
    config.bTransfer = false;
    config.strLinkPath = dir.Path() + "/ttyBoard";
    CVirtualBoard board(config);
    ASSERT_TRUE(board.Start(strWhy)) << strWhy;
    StationSettings station;
    station.strWorkDir = dir.Path();
    station.nSlotAlarm = 2;
    StationSlot slot;
    slot.nSlot = 1;
    slot.strPort = config.strLinkPath;
    std::vector<GangSlotSetup> setups;
    ASSERT_TRUE(CGangStation::PlanSlots(station, {slot}, setups, strWhy)) << strWhy;
    GangSettings settings;
    settings.bLoop = true;
    settings.nCount = 0;
    settings.nPollMs = 1;
    GangHooks hooks;
    hooks.fnProbe = [](const GangSlotSetup&, const std::atomic<int>*) { return std::make_unique<CComingAndGoing>(); };

    CGangRecorder recorder;
    CGangStation gang(recorder, record, hooks);
    ASSERT_TRUE(gang.Start(setups, settings, strWhy)) << strWhy;
    ASSERT_TRUE(gang.WaitEnded(30000)) << recorder.Log();
    ASSERT_TRUE(recorder.WaitResults(2, 1000)) << recorder.EndWhy() << "\n" << recorder.Log();
    EXPECT_FALSE(recorder.WaitResults(3, 0));
    EXPECT_EQ(recorder.Result(1).verdict, JobVerdict::ChipRejected);
    EXPECT_EQ(recorder.m_nAlarm.load(), 2);
    EXPECT_EQ(recorder.EndWhy(), "2 failures in a row");
}
