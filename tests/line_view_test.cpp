#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <thread>

#include "line/gang_heartbeat.h"
#include "record/heartbeat.h"
#include "record/line_counts.h"
#include "record/production_record.h"
#include "record/record_sql.h"
#include "station/station_config.h"
#include "support/temp_dir.h"
#include "web/line_server.h"

namespace {

constexpr int64_t kHourMs = 3600 * 1000;

CountedJob Job(const char* szStation, const char* szVerdict, const char* szStage, const char* szFactory, int64_t nMs)
{
    return {szStation, szVerdict, szStage, szFactory, nMs};
}

// A record file with jobs written as a station writes them.
class LineRecord {
public:
    LineRecord() : m_strUrl(m_Dir.Path() + "/tovar.db")
    {
        SqlError error;
        m_pRecord = std::make_unique<CProductionRecord>(OpenSqlConnection(m_strUrl, 5000, error), "test 1.0");
        std::string strError;
        EXPECT_TRUE(m_pRecord->Open(strError)) << strError;
    }

    void Add(const std::string& strFactory, JobVerdict verdict, JobStage stage, const std::string& strReason = {})
    {
        JobResult result;
        result.verdict = verdict;
        result.stage = stage;
        result.strReason = strReason;
        const int n = ++m_nBoards;
        char szMac[32];
        std::snprintf(szMac, sizeof szMac, "^5876750100%02X^5876750101%02X", n, n);
        result.identity = {szMac, strFactory, "5A3C" + strFactory.substr(strFactory.size() - 4)};
        result.strStation = "st1";
        result.nComPort = 3;
        result.strStartTime = result.strEndTime = IsoTimeNow();
        result.images.push_back({0, 1, "boot.bin", 3, std::string(64, 'b'), 1, 0, verdict == JobVerdict::Installed});
        std::string strError;
        EXPECT_TRUE(m_pRecord->Finish(result, IdentityClaim{}, strError)) << strError;
    }

    CTempDir m_Dir;
    std::string m_strUrl;
    std::unique_ptr<CProductionRecord> m_pRecord;
    int m_nBoards = 0;
};

}  // namespace

TEST(LineCountsTest, EachBoardCountsOnceADayByItsFirstJobAndStationFaultsStandApart)
{
    const int64_t nDay = LocalMidnightMs(1767225600000LL) + 10 * kHourMs;  // a day at 10:00
    std::vector<CountedJob> jobs = {
        Job("st1", "failed", "transfer", "A", nDay - 2 * kHourMs),   // before the span: A's first job today
        Job("st1", "installed", "transfer", "A", nDay + 1),           // A again: no first pass
        Job("st1", "stopped", "console", "B", nDay + 2),              // stopped: left out
        Job("st2", "installed", "transfer", "B", nDay + 3),           // B's first counted job: passed
        Job("st2", "failed", "prepare", "C", nDay + 4),               // a station fault: not the board's
        Job("st2", "refused", "prepare", "C", nDay + 5),
        Job("st2", "installed", "transfer", "C", nDay + 6),           // C's first counted job: passed
        Job("st2", "chip-rejected", "bring-up", "D", nDay + 7),       // D's: failed
    };
    std::map<std::string, LineCounts> byStation;
    LineCounts line;
    CountJobs(jobs, {nDay, nDay + kHourMs}, byStation, line);
    EXPECT_EQ(line.nInstalled, 3);
    EXPECT_EQ(line.nFailed, 1);
    EXPECT_EQ(line.nStopped, 1);
    EXPECT_EQ(line.nRefused, 1);
    EXPECT_EQ(line.nStationFaults, 1);
    EXPECT_EQ(line.nFirstBoards, 3);   // B, C and D; A's first job lies before the span
    EXPECT_EQ(line.nFirstPassed, 2);
    EXPECT_NEAR(line.YieldPercent(), 66.67, 0.01);
    EXPECT_EQ(byStation["st2"].nFirstPassed, 2);
    EXPECT_EQ(byStation["st1"].nFirstBoards, 0);

    // The next day the same board counts again.
    std::vector<CountedJob> next = {Job("st1", "installed", "transfer", "A", nDay + 24 * kHourMs)};
    LineCounts nextLine;
    CountJobs(next, {nDay + 23 * kHourMs, nDay + 25 * kHourMs}, byStation, nextLine);
    EXPECT_EQ(nextLine.nFirstPassed, 1);
}

TEST(ShiftPlanTest, ShiftsRunFromOneStartToTheNextAcrossMidnight)
{
    CShiftPlan plan;
    std::string strWhy;
    ASSERT_TRUE(plan.Parse("20:00, 08:00", strWhy)) << strWhy;
    EXPECT_EQ(plan.Count(), 2u);
    const int64_t nMidnight = LocalMidnightMs(1767225600000LL);
    TimeSpan night = plan.ShiftAt(nMidnight + 7 * kHourMs);
    EXPECT_EQ(night.nStartMs, LocalMidnightMs(nMidnight, -1) + 20 * kHourMs);
    EXPECT_EQ(night.nEndMs, nMidnight + 8 * kHourMs);
    TimeSpan day;
    ASSERT_TRUE(plan.ShiftOfDay(nMidnight, 1, day));
    EXPECT_EQ(day.nStartMs, nMidnight + 8 * kHourMs);
    EXPECT_EQ(day.nEndMs, nMidnight + 20 * kHourMs);
    EXPECT_FALSE(plan.ShiftOfDay(nMidnight, 3, day));

    CShiftPlan whole;
    ASSERT_TRUE(whole.Parse("", strWhy));
    EXPECT_EQ(whole.ShiftAt(nMidnight + kHourMs).nStartMs, nMidnight);
    for (const char* szBad : {"8:00", "24:00", "08:00,08:00", "08:00;20:00", "x"})
        EXPECT_FALSE(plan.Parse(szBad, strWhy)) << szBad;
}

TEST(HeartbeatTest, EachSlotIsOneRowUpdatedInPlace)
{
    LineRecord record;
    int64_t nNow = 1000000;
    CHeartbeat beat({record.m_strUrl, "st1", "test 1.0", 3000, 1000}, [&nNow] { return nNow; });
    beat.SetPort(1, "COM3");
    beat.SetPort(2, "COM4");
    beat.SetBoard(1, {"^587675010001^587675010002", "20260001", "5A3C0001"});
    beat.SetStage(1, "transfer");
    beat.SetPercent(1, 40);
    std::string strError;
    ASSERT_TRUE(beat.WriteNow(strError)) << strError;
    nNow += 3000;
    JobResult result;
    result.verdict = JobVerdict::Failed;
    result.strReason = "store failed";
    beat.SetResult(1, result);
    ASSERT_TRUE(beat.WriteNow(strError)) << strError;

    SqlError error;
    auto pDb = OpenSqlConnection(record.m_strUrl, 1000, error);
    std::vector<SqlRow> rows;
    ASSERT_TRUE(RunSql(*pDb, "SELECT slot, port, stage, percent, seen_ms, last_verdict, last_reason FROM heartbeats "
                             "ORDER BY slot", {}, &rows, strError));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(TextOf(rows[0][1]), "COM3");
    EXPECT_EQ(TextOf(rows[0][2]), "idle");
    EXPECT_EQ(NumberOf(rows[0][3]), 0);
    EXPECT_EQ(NumberOf(rows[0][4]), 1003000);
    EXPECT_EQ(TextOf(rows[0][5]), "failed");
    EXPECT_EQ(TextOf(rows[0][6]), "store failed");
    EXPECT_EQ(TextOf(rows[1][2]), "idle");
}

TEST(HeartbeatTest, ARecordThatIsAwayCostsOnlyTheHeartbeat)
{
    CTempDir dir;
    CHeartbeat beat({dir.Path() + "/no/such/folder/tovar.db", "st1", "test", 3000, 100});
    beat.SetStage(0, "transfer");
    std::string strError;
    EXPECT_FALSE(beat.WriteNow(strError));
    EXPECT_FALSE(strError.empty());
    EXPECT_EQ(beat.Slot(0).strStage, "transfer");
    EXPECT_EQ(beat.Written(), 0);
}

TEST(LineValuesTest, LookupValuesAndTimesAreCheckedBeforeTheRecord)
{
    EXPECT_TRUE(LookupValueAccepted("587675010203"));
    EXPECT_TRUE(LookupValueAccepted("x' OR '1'='1"));
    EXPECT_FALSE(LookupValueAccepted(""));
    EXPECT_FALSE(LookupValueAccepted(std::string("a\0b", 3)));
    EXPECT_FALSE(LookupValueAccepted(std::string(65, 'a')));
    EXPECT_EQ(LocalTimeMs("2026-03-01"), LocalMidnightMs(LocalTimeMs("2026-03-01 12:00")));
    EXPECT_EQ(LocalTimeMs("2026-03-01T08:30") - LocalTimeMs("2026-03-01"), 8 * kHourMs + 30 * 60 * 1000);
    for (const char* szBad : {"2026-3-1", "2026-03-01 8:00", "2026-13-01", "yesterday", "2026-03-01x"})
        EXPECT_EQ(LocalTimeMs(szBad), -1) << szBad;
}

// The server on a loopback port over a record file, stopped at the end.
class LineServerTest : public ::testing::Test {
protected:
    void Start()
    {
        LineServerSettings settings;
        settings.strRecordUrl = m_Record.m_strUrl;
        settings.nPort = 0;
        // The jobs the test added lie before the server's now, however slowly they were written.
        m_nNowMs = std::max(m_nNowMs.load(), WallNowMs() + 1000);
        m_pServer = std::make_unique<CLineServer>(settings, [this] { return m_nNowMs.load(); });
        std::string strWhy;
        ASSERT_TRUE(m_pServer->Listen(strWhy)) << strWhy;
        m_Thread = std::thread([this] { m_pServer->Serve(m_bStop); });
        m_pClient = std::make_unique<httplib::Client>("127.0.0.1", m_pServer->Port());
        m_pClient->set_read_timeout(5, 0);
    }
    void TearDown() override
    {
        m_bStop = 1;
        if (m_Thread.joinable())
            m_Thread.join();
    }
    nlohmann::json Get(const std::string& strPath, int nStatus)
    {
        auto res = m_pClient->Get(strPath);
        EXPECT_TRUE(res) << strPath;
        if (!res)
            return {};
        EXPECT_EQ(res->status, nStatus) << strPath << ": " << res->body;
        return nlohmann::json::parse(res->body, nullptr, false);
    }

    LineRecord m_Record;
    std::atomic<int64_t> m_nNowMs{WallNowMs()};
    std::atomic<int> m_bStop{0};
    std::unique_ptr<CLineServer> m_pServer;
    std::thread m_Thread;
    std::unique_ptr<httplib::Client> m_pClient;
};

TEST_F(LineServerTest, NowShowsTheSlotsTheShiftsCountsAndAStationThatWentQuietAsOffline)
{
    m_Record.Add("20260001", JobVerdict::Installed, JobStage::Transfer);
    m_Record.Add("20260002", JobVerdict::Failed, JobStage::Transfer, "store failed");
    CHeartbeat beat({m_Record.m_strUrl, "st1", "test 1.0", 3000, 1000}, [this] { return m_nNowMs.load(); });
    beat.SetPort(1, "COM3");
    beat.SetStage(1, "transfer");
    std::string strError;
    ASSERT_TRUE(beat.WriteNow(strError)) << strError;
    Start();

    nlohmann::json now = Get("/api/now", 200);
    ASSERT_EQ(now["stations"].size(), 1u);
    EXPECT_EQ(now["stations"][0]["station"], "st1");
    EXPECT_EQ(now["stations"][0]["slots"][0]["stage"], "transfer");
    EXPECT_EQ(now["stations"][0]["slots"][0]["state"], "running");
    EXPECT_EQ(now["line"]["installed"], 1);
    EXPECT_EQ(now["line"]["failed"], 1);
    EXPECT_DOUBLE_EQ(now["line"]["yield"].get<double>(), 50.0);
    EXPECT_EQ(now["last_hour"]["installed"], 1);

    m_nNowMs += 16000;
    now = Get("/api/now", 200);
    EXPECT_EQ(now["stations"][0]["offline"], true);
    EXPECT_EQ(now["stations"][0]["slots"][0]["state"], "offline");
}

TEST_F(LineServerTest, ABoardIsFoundByAnyOfItsValuesAndBadValuesAreRefusedCleanly)
{
    m_Record.Add("20260001", JobVerdict::Failed, JobStage::Transfer, "store failed");
    m_Record.Add("20260001", JobVerdict::Installed, JobStage::Transfer);
    Start();
    for (const char* szValue : {"20260001", "5A3C0001", "587675010001", "58:76:75:01:01:01"}) {
        nlohmann::json board = Get(std::string("/api/board/") + szValue, 200);
        ASSERT_EQ(board["jobs"].size(), szValue[0] == '5' && szValue[1] == '8' ? 1u : 2u) << szValue;
    }
    nlohmann::json board = Get("/api/board/20260001", 200);
    EXPECT_EQ(board["jobs"][0]["reason"], "store failed");
    EXPECT_EQ(board["jobs"][0]["images"][0]["sha256"], std::string(64, 'b'));
    EXPECT_FALSE(board["installed"].empty());

    EXPECT_EQ(Get("/api/board/x'%20OR%20'1'='1", 404)["error"].is_string(), true);
    Get("/api/board/%22%3B%20DROP%20TABLE%20jobs%3B--", 404);
    Get("/api/board/a%00b", 400);
    Get("/api/board/" + std::string(1000, 'a'), 400);
    auto res = m_pClient->Get("/board/" + std::string(10000, 'a'));   // past the longest request line
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 414);
    EXPECT_NE(res->body.find("<!DOCTYPE html>"), std::string::npos);
    res = m_pClient->Get("/board/a%00b");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    res = m_pClient->Get("/no/such/page");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    EXPECT_EQ(res->body.find("sqlite"), std::string::npos);
    EXPECT_EQ(Get("/api/board/20260001", 200)["jobs"].size(), 2u);   // the table is still there
}

TEST_F(LineServerTest, TheExportIsTheRecordListsCsvAndABadSpanIsRefused)
{
    m_Record.Add("20260001", JobVerdict::Failed, JobStage::Transfer, "store failed, \"slot 2\"");
    m_Record.Add("20260002", JobVerdict::Installed, JobStage::Transfer);
    Start();
    auto res = m_pClient->Get("/export.csv");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
    EXPECT_EQ(res->body.rfind("id,start,end,station,port,verdict,stage,reason,mac,factory,reg,reflash\n1,", 0), 0u)
        << res->body;
    EXPECT_NE(res->body.find(",st1,COM3,failed,transfer,\"store failed, \"\"slot 2\"\"\",^587675010001^587675010101,"
                             "20260001,5A3C0001,0\n"),
              std::string::npos)
        << res->body;
    EXPECT_NE(res->body.find("\n2,"), std::string::npos);
    res = m_pClient->Get("/export.csv?since=2026-03-01&until=2026-03-05");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
}

TEST_F(LineServerTest, APortInUseIsRefusedWithTheReason)
{
    Start();
    LineServerSettings settings;
    settings.strRecordUrl = m_Record.m_strUrl;
    settings.nPort = m_pServer->Port();
    CLineServer second(settings);
    std::string strWhy;
    EXPECT_FALSE(second.Listen(strWhy));
    EXPECT_NE(strWhy.find("in use"), std::string::npos) << strWhy;
}

namespace {

// Counts what reaches the front end's own observer.
class CountingGangObserver : public IGangObserver {
public:
    void OnSlotLog(int, const std::string&) override { ++nLogs; }
    void OnSlotStage(int, JobStage) override { ++nStages; }
    void OnSlotResult(int, const JobResult&) override { ++nResults; }
    void OnSlotEnded(int, const std::string&) override { ++nEnded; }
    void OnSlotAlarm(int, int) override { ++nAlarms; }
    void OnShiftCounts(const LineCounts&) override { ++nCounts; }
    int nLogs = 0, nStages = 0, nResults = 0, nEnded = 0, nAlarms = 0, nCounts = 0;
};

}  // namespace

TEST(HeartbeatTest, TheGangsReportsReachTheFrontEndAndSetEachSlotsState)
{
    CHeartbeat beat({"unused.db", "gang1", "test", 3000, 100});
    CountingGangObserver inner;
    CGangHeartbeat reports(inner, &beat);
    GangSlotSetup setup;
    setup.nSlot = 2;
    setup.strPort = "/dev/ttyUSB1";
    reports.AddSlots({setup});
    reports.OnSlotWaiting(2, true);
    EXPECT_EQ(beat.Slot(2).strStage, "waiting");
    reports.OnSlotBoard(2, {"^587675010001^587675010002", "20260001", "5A3C0001"});
    reports.OnSlotStage(2, JobStage::Transfer);
    TransferProgress progress;
    progress.nBytesDone = 30;
    progress.nBytesTotal = 120;
    reports.OnSlotProgress(2, progress);
    SlotBeat running = beat.Slot(2);
    EXPECT_EQ(running.strPort, "/dev/ttyUSB1");
    EXPECT_EQ(running.strStage, "transfer");
    EXPECT_EQ(running.nPercent, 25);
    EXPECT_EQ(running.identity.strFactory, "20260001");
    JobResult result;
    result.verdict = JobVerdict::Installed;
    reports.OnSlotResult(2, result);
    EXPECT_EQ(beat.Slot(2).strStage, "idle");
    EXPECT_EQ(beat.Slot(2).strLastVerdict, "installed");
    reports.OnSlotEnded(2, "3 boards");
    EXPECT_EQ(beat.Slot(2).strStage, "ended");
    reports.OnSlotLog(2, "x\r\n");
    reports.OnSlotAlarm(2, 3);
    reports.OnShiftCounts(LineCounts{});
    EXPECT_EQ(inner.nAlarms, 1);
    EXPECT_EQ(inner.nCounts, 1);
    EXPECT_EQ(inner.nStages, 1);
    EXPECT_EQ(inner.nResults, 1);
    EXPECT_EQ(inner.nEnded, 1);
    EXPECT_EQ(inner.nLogs, 1);

    // Without a heartbeat the reports only pass on.
    CGangHeartbeat plain(inner, nullptr);
    plain.OnSlotResult(1, result);
    EXPECT_EQ(inner.nResults, 2);
}

TEST(LineSettingsTest, TheLineSectionOfTovarCfgIsReadAndItsBadValuesNamed)
{
    CTempDir dir;
    dir.Write("tovar.cfg", "[line]\nshifts=08:00,20:00\npool-warn=50\nheartbeat-s=2\noffline-s=9\nstuck-s=30\n");
    StationSettings settings;
    settings.strWorkDir = dir.Path();
    std::string strError;
    ASSERT_TRUE(ApplyStationConfig(settings, {}, strError)) << strError;
    EXPECT_EQ(settings.strShifts, "08:00,20:00");
    EXPECT_EQ(settings.nPoolWarn, 50);
    EXPECT_EQ(settings.nHeartbeatS, 2);
    EXPECT_EQ(settings.nOfflineS, 9);
    EXPECT_EQ(settings.nStuckS, 30);
    for (const char* szBad : {"shifts=25:00", "heartbeat-s=0", "offline-s=x", "colour=red"}) {
        dir.Write("tovar.cfg", std::string("[line]\n") + szBad + "\n");
        StationSettings other;
        other.strWorkDir = dir.Path();
        EXPECT_FALSE(ApplyStationConfig(other, {}, strError)) << szBad;
        EXPECT_NE(strError.find(std::string("[line] ") + szBad), std::string::npos) << strError;
    }
}
