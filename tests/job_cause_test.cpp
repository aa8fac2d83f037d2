#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "job/job_result.h"
#include "record/production_record.h"
#include "record/sql_connection.h"
#include "support/temp_dir.h"
#include "cli/cli_job.h"
#include "station/station_config.h"
#include "ui/stage_clock.h"
#include "ui/tovardlg.h"

// One table: every cause but None has its name, its English text and the operator's two texts,
// each row stands at its cause's place, and its code names it again.
TEST(CauseTable, EveryCauseHasBothTextsAndItsOwnName)
{
    std::set<std::string> names;
    for (size_t i = 0; i < CauseTable().size(); ++i) {
        const JobCauseText& row = CauseTable()[i];
        EXPECT_EQ(static_cast<size_t>(row.cause), i);
        if (row.cause == JobCause::None)
            continue;
        EXPECT_STRNE(row.szName, "");
        EXPECT_STRNE(row.szEnglish, "") << row.szName;
        EXPECT_STRNE(row.szOperator, "") << row.szName;
        EXPECT_STRNE(row.szNextStep, "") << row.szName;
        // The operator's texts are Chinese: they hold bytes beyond ASCII.
        for (const char* szText : {row.szOperator, row.szNextStep})
            EXPECT_TRUE(std::any_of(szText, szText + std::strlen(szText),
                                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
                << row.szName;
        EXPECT_TRUE(names.insert(row.szName).second) << row.szName;
        JobCause back = JobCause::None;
        ASSERT_TRUE(CauseFromCode(CauseCode("console", row.cause), back)) << row.szName;
        EXPECT_EQ(back, row.cause);
    }
    EXPECT_EQ(CauseCode("prepare", JobCause::Port), "prepare.port");
}

TEST(CauseTable, TheJsonKeepsTheCodeBothTextsAndThePartialFlag)
{
    JobResult result;
    result.verdict = JobVerdict::Failed;
    result.stage = JobStage::Console;
    result.cause = JobCause::Console;
    const std::string strJson = JobResultToJson(result);
    EXPECT_NE(strJson.find("\"cause\":\"console.console\""), std::string::npos) << strJson;
    EXPECT_NE(strJson.find("\"cause_text\":\"the boot loader's console did not answer\""), std::string::npos);
    EXPECT_NE(strJson.find(CauseText(JobCause::Console).szNextStep), std::string::npos);
    JobResult back;
    ASSERT_TRUE(JobResultFromJson(strJson, back));
    EXPECT_EQ(back.cause, JobCause::Console);

    JobResult partial;
    partial.verdict = JobVerdict::Installed;
    partial.stage = JobStage::Transfer;
    AddFlag(partial, kFlagPartial);
    ASSERT_TRUE(JobResultFromJson(JobResultToJson(partial), back));
    EXPECT_TRUE(HasFlag(back, kFlagPartial));
    EXPECT_EQ(back.cause, JobCause::None);
    EXPECT_EQ(CauseCodeOf(partial), "transfer.partial");
}

// The four looks come from the verdicts: refused amber, failed red with its next step, stopped
// grey, an install short of images amber; a plain install green.
TEST(VerdictLooks, EachVerdictHasItsLookAndTheOperatorsWords)
{
    JobResult result;
    std::string strText;
    result.verdict = JobVerdict::Refused;
    result.cause = JobCause::Port;
    EXPECT_EQ(CTovarDlg::VerdictOf(result, strText), VerdictLook::Refused);
    EXPECT_EQ(strText, "未开始 — 串口不可用\n请检查串口线是否插好, 并选择正确的 COM 口");
    result.verdict = JobVerdict::Failed;
    result.cause = JobCause::NotStored;
    EXPECT_EQ(CTovarDlg::VerdictOf(result, strText), VerdictLook::Failure);
    EXPECT_EQ(strText, std::string("失败 — 镜像存储失败\n") + CauseText(JobCause::NotStored).szNextStep);
    result.verdict = JobVerdict::ChipRejected;
    result.cause = JobCause::ChipRejected;
    EXPECT_EQ(CTovarDlg::VerdictOf(result, strText), VerdictLook::Failure);
    EXPECT_NE(strText.find("请将电路板放到不良品区"), std::string::npos);
    result.verdict = JobVerdict::Stopped;
    result.cause = JobCause::Stopped;
    EXPECT_EQ(CTovarDlg::VerdictOf(result, strText), VerdictLook::Stopped);
    EXPECT_EQ(strText.rfind("已终止 — ", 0), 0u);
    result.verdict = JobVerdict::Installed;
    result.cause = JobCause::None;
    AddFlag(result, kFlagPartial);
    EXPECT_EQ(CTovarDlg::VerdictOf(result, strText), VerdictLook::Partial);
    EXPECT_EQ(strText.rfind("部分安装 — ", 0), 0u);
    result.flags.clear();
    EXPECT_EQ(CTovarDlg::VerdictOf(result, strText), VerdictLook::Success);
    EXPECT_EQ(strText, "成功");
}

TEST(StageClock, CountsTheConsoleDownToItsBoundAndThenSaysWhatToCheck)
{
    CStageClock clock;
    EXPECT_EQ(clock.Text(0), "");
    clock.SetConsoleBoundS(60);
    clock.Enter(JobStage::BringUp, 1000);
    EXPECT_EQ(clock.Text(6000), "启动  0:05");
    clock.Enter(JobStage::Console, 10000);
    EXPECT_EQ(clock.Text(52000), "控制台  0:42  还剩 18 秒");
    EXPECT_EQ(clock.Text(70000), "控制台  1:00  超时: 请检查串口线和电源, 然后按终止");
    clock.End();
    EXPECT_EQ(clock.Text(80000), "");
}

// The record keeps a job's cause and its partial flag; the stats count partial installs apart.
TEST(CauseRecord, APartialInstallIsRecordedAndCountedApart)
{
    CTempDir dir;
    SqlError error;
    auto pDb = OpenSqlConnection(dir.Path() + "/tovar.db", 10000, error);
    ASSERT_TRUE(pDb) << error.strText;
    CProductionRecord record(std::move(pDb), "test 1.0");
    std::string strError;
    ASSERT_TRUE(record.Open(strError)) << strError;
    auto add = [&](JobVerdict verdict, JobCause cause, bool bPartial) {
        JobResult result;
        result.verdict = verdict;
        result.stage = JobStage::Transfer;
        result.cause = cause;
        if (bPartial)
            AddFlag(result, kFlagPartial);
        result.strStation = "st1";
        result.strStartTime = result.strEndTime = IsoTimeNow();
        IdentityClaim claim;
        ASSERT_TRUE(record.Finish(result, claim, strError)) << strError;
    };
    add(JobVerdict::Installed, JobCause::None, true);
    add(JobVerdict::Installed, JobCause::None, false);
    add(JobVerdict::Failed, JobCause::TransferBroken, false);
    std::vector<RecordedJob> jobs;
    ASSERT_TRUE(record.ListJobs({}, jobs, strError)) << strError;
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_TRUE(HasFlag(jobs[0].result, kFlagPartial));
    EXPECT_FALSE(HasFlag(jobs[1].result, kFlagPartial));
    EXPECT_EQ(jobs[2].result.cause, JobCause::TransferBroken);
    std::vector<StationStats> stats;
    ASSERT_TRUE(record.Stats({0, INT64_MAX}, stats, strError)) << strError;
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_EQ(stats[0].nInstalled, 1);
    EXPECT_EQ(stats[0].nPartial, 1);
    EXPECT_EQ(stats[0].nFailed, 1);
}

TEST(FlashSummary, OneLineWithVerdictStageCauseTimeAndLogFile)
{
    JobResult result;
    result.verdict = JobVerdict::Failed;
    result.stage = JobStage::Console;
    result.cause = JobCause::Console;
    result.nBringUpMs = 4200;
    result.nConsoleMs = 60000;
    EXPECT_EQ(SummaryLine("flash", result, "logs/2026-12-09/061000_COM9_1.log"),
              "tovar flash: failed, stage console, cause console.console, 64.2 s, log logs/2026-12-09/061000_COM9_1.log");
    result.verdict = JobVerdict::Installed;
    result.stage = JobStage::Transfer;
    result.cause = JobCause::None;
    AddFlag(result, kFlagPartial);
    EXPECT_EQ(SummaryLine("flash", result, ""), "tovar flash: installed (partial), stage transfer, cause transfer.partial, 64.2 s, log none");
}

// tovar.cfg: [line] slot-alarm is read; a section Tovar does not read is refused like an unknown key.
TEST(StationConfigSections, SlotAlarmIsReadAndAnUnknownSectionIsRefused)
{
    CTempDir dir;
    dir.Write("tovar.cfg", "[line]\nslot-alarm=3\n");
    StationSettings station;
    station.strWorkDir = dir.Path();
    std::string strError;
    ASSERT_TRUE(ApplyStationConfig(station, {}, strError)) << strError;
    EXPECT_EQ(station.nSlotAlarm, 3);
    dir.Write("tovar.cfg", "[line]\nslot-alarm=-1\n");
    EXPECT_FALSE(ApplyStationConfig(station, {}, strError));
    EXPECT_NE(strError.find("[line] slot-alarm=-1: not a whole number 0 to 1000"), std::string::npos) << strError;
    dir.Write("tovar.cfg", "[nett]\nboard-ip=10.0.0.2\n[slot1]\nport=COM3\n");
    EXPECT_FALSE(ApplyStationConfig(station, {}, strError));
    EXPECT_EQ(strError, dir.Path() + "/tovar.cfg: [nett]: unknown section (net, record, line, log, ports, slotN)");
}
