#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/usage_error.h"
#include "record/production_record.h"
#include "record/sql_connection.h"
#include "support/temp_dir.h"

namespace {

// The whole command line as main builds it, run in the test's process.
struct CommandLine {
    CLI::App app{"tovar"};
    CommonOptions options;
    std::vector<CommandRunner> runners;
    std::string strOut, strErr;

    CommandLine() { RegisterCommands(app, options, runners); }

    // The exit status; what the command printed is in strOut and strErr.
    int Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "tovar");
        std::vector<const char*> argv;
        for (const std::string& strArg : args)
            argv.push_back(strArg.c_str());
        std::ostringstream out, err;
        std::optional<int> nStatus = ParseCommandLine(app, static_cast<int>(argv.size()), argv.data(), out, err);
        if (!nStatus) {
            std::streambuf* pOld = std::cout.rdbuf(out.rdbuf());
            for (CommandRunner& runner : runners)
                if (runner.pCommand->parsed())
                    nStatus = runner.fnRun();
            std::cout.rdbuf(pOld);
        }
        strOut = out.str();
        strErr = err.str();
        return nStatus.value_or(-1);
    }
};

std::string Help(const std::vector<std::string>& command)
{
    CommandLine line;
    std::vector<std::string> args = command;
    args.push_back("--help");
    EXPECT_EQ(line.Run(args), 0);
    return line.strOut;
}

std::string UsageError(const std::vector<std::string>& args)
{
    CommandLine line;
    EXPECT_EQ(line.Run(args), 2) << line.strErr;
    return line.strErr;
}

// TZ for one test, put back after it.
class ScopedTz {
public:
    explicit ScopedTz(const char* szTz)
    {
        const char* szOld = std::getenv("TZ");
        m_bHad = szOld != nullptr;
        m_strOld = szOld ? szOld : "";
        setenv("TZ", szTz, 1);
        tzset();
    }
    ~ScopedTz()
    {
        if (m_bHad)
            setenv("TZ", m_strOld.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_bHad = false;
    std::string m_strOld;
};

}  // namespace

TEST(CliHelp, EachCommandListsOnlyItsOwnOptionsWithAnExampleAndExitStatuses)
{
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"scan"}, {"pool", "add"}, {"pool", "status"}, {"record", "list"}, {"record", "stats"}}) {
        const std::string strHelp = Help(command);
        for (const char* szOption : {"--board-ip", "--settle-ms", "--tries", "--bind", "--monitor-wait-s", "--log-dir",
                                     "--no-record", "--hold-minutes"})
            EXPECT_EQ(strHelp.find(szOption), std::string::npos) << command[0] << " lists " << szOption;
        EXPECT_NE(strHelp.find("--workdir"), std::string::npos) << command[0];
        EXPECT_NE(strHelp.find("Example:\n  tovar " + command[0]), std::string::npos) << strHelp;
        EXPECT_NE(strHelp.find("Exit status:\n  0  "), std::string::npos) << strHelp;
        EXPECT_NE(strHelp.find("\n  2  refused"), std::string::npos) << strHelp;
    }
    const std::string strScan = Help({"scan"});
    EXPECT_NE(strScan.find("--ports"), std::string::npos);
    EXPECT_EQ(strScan.find("--record"), std::string::npos);
    const std::string strFlash = Help({"flash"});
    for (const char* szOption : {"--board-ip", "--settle-ms", "--monitor-wait-s", "--ports", "--record", "--hold-minutes",
                                 "--no-record", "--log-dir"})
        EXPECT_NE(strFlash.find(szOption), std::string::npos) << szOption;
    for (const char* szStatus : {"\n  1  failed", "\n  3  stopped", "\n  4  stored, but set aside"})
        EXPECT_NE(strFlash.find(szStatus), std::string::npos) << szStatus;
    EXPECT_EQ(Help({"transfer"}).find("--monitor-wait-s"), std::string::npos);
    EXPECT_NE(Help({"pool", "take"}).find("--station"), std::string::npos);  // a taken identity is held for a station
}

TEST(CliUsageError, NamesTheOptionTheValueAndTheRule)
{
    const std::vector<std::string> flash = {"flash", "--port", "COM3", "--mac", "^587675010202^587675010203",
                                            "--factory", "1", "--reg", "2"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = flash;
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    };
    EXPECT_EQ(UsageError(with({"--board-port", "99999"})), "tovar flash: --board-port 99999: not a whole number 1 to 65535\n");
    EXPECT_EQ(UsageError(with({"--board-ip", "10.0.0.999"})), "tovar flash: --board-ip 10.0.0.999: not a dotted IPv4 address\n");
    EXPECT_EQ(UsageError(with({"--select", "0,7"})), "tovar flash: --select 7: not a whole number 0 to 4\n");
    EXPECT_EQ(UsageError(with({"--board-port"})),
              "tovar flash: --board-port given without its value: it takes a whole number 1 to 65535\n");
    EXPECT_EQ(UsageError({"flash", "--mac", "x"}),
              "tovar flash: --port not given: it is required (Serial port of the board, as COMn)\n");
    EXPECT_EQ(UsageError({"flash", "--port", "LPT1"}), "tovar flash: --port LPT1: not a name COM1 to COM99\n");
    EXPECT_EQ(UsageError({"scan", "--board-ip", "1.2.3.4"}),
              "tovar scan: --board-ip 1.2.3.4: not an option of tovar scan (tovar scan --help lists what it takes)\n");
    EXPECT_EQ(UsageError({"pool", "add", "macs", "58:76:75:01:03:00", "0"}),
              "tovar pool add: COUNT 0: not a whole number 1 to 100000000\n");
    EXPECT_EQ(UsageError({"pool", "add", "mice", "1", "1"}), "tovar pool add: KIND mice: not macs, factory or reg\n");
    EXPECT_EQ(UsageError({"record"}), "tovar record: no subcommand given: list, stats or release\n");
    EXPECT_EQ(UsageError({"record", "stats", "--shift", "--since", "2026-12-09"}),
              "tovar record stats: --since and --shift: not together, one or the other\n");
    EXPECT_EQ(UsageError({"record", "list", "--since", "2026-13-45"}),
              "tovar record list: --since 2026-13-45: not a local date YYYY-MM-DD or date and time YYYY-MM-DD "
              "HH:MM[:SS]\n");
    EXPECT_EQ(UsageError({"record", "list", "--until", "2026-12-09 18:00 tomorrow"}),
              "tovar record list: --until \"2026-12-09 18:00 tomorrow\": not a local date YYYY-MM-DD or date and time "
              "YYYY-MM-DD HH:MM[:SS]\n");
}

// A record with four jobs of two stations (in the past, so "until now" takes them all), read by
// record list and record stats in Shanghai time.
class RecordCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SqlError error;
        auto pDb = OpenSqlConnection(m_Dir.Path() + "/tovar.db", 10000, error);
        ASSERT_TRUE(pDb) << error.strText;
        CProductionRecord record(std::move(pDb), "test 1.0");
        std::string strError;
        ASSERT_TRUE(record.Open(strError)) << strError;
        m_Dir.Write("KX30T/config.cfg", "[COUNT]\ncount=0\n");  // a station's working folder
        auto add = [&](const char* szStation, JobVerdict verdict, const char* szStart, const char* szEnd,
                       const char* szFactory) {
            JobResult result;
            result.verdict = verdict;
            result.stage = JobStage::Transfer;
            result.strStation = szStation;
            result.identity.strFactory = szFactory;
            result.strStartTime = szStart;
            result.strEndTime = szEnd;
            IdentityClaim claim;
            ASSERT_TRUE(record.Finish(result, claim, strError)) << strError;
        };
        add("st1", JobVerdict::Installed, "2025-12-09T10:01:02.000Z", "2025-12-09T10:02:02.000Z", "1001");
        add("st1", JobVerdict::Failed, "2025-12-09T15:59:59.000Z", "2025-12-09T16:00:30.000Z", "1002");
        add("st2", JobVerdict::Installed, "2025-12-09T16:00:00.000Z", "2025-12-09T16:00:40.000Z", "1003");
        add("st1", JobVerdict::Installed, "2025-12-10T01:00:00.000Z", "2025-12-10T01:01:40.000Z", "1004");
    }

    CTempDir m_Dir;
    ScopedTz m_Tz{"Asia/Shanghai"};
};

TEST_F(RecordCommandTest, ListShowsLocalTimesAndTakesALocalSpan)
{
    CommandLine line;
    // 2025-12-09 local runs to 16:00 UTC; the third job started on the 10th, Shanghai time.
    ASSERT_EQ(line.Run({"record", "list", "--workdir", m_Dir.Path(), "--until", "2025-12-09"}), 0) << line.strErr;
    EXPECT_NE(line.strOut.find("  2025-12-09 18:01:02 +08:00  st1  "), std::string::npos) << line.strOut;
    EXPECT_NE(line.strOut.find("  2025-12-09 23:59:59 +08:00  st1  "), std::string::npos) << line.strOut;
    EXPECT_EQ(line.strOut.find("st2"), std::string::npos) << line.strOut;
    EXPECT_EQ(line.strOut.find("1004"), std::string::npos) << line.strOut;
    CommandLine since;
    ASSERT_EQ(since.Run({"record", "list", "--workdir", m_Dir.Path(), "--since", "2025-12-09T23:59:59", "--csv"}), 0);
    EXPECT_EQ(since.strOut.find("1001"), std::string::npos) << since.strOut;
    EXPECT_NE(since.strOut.find(",2025-12-09T15:59:59.000Z,"), std::string::npos) << since.strOut;  // CSV stays UTC
    EXPECT_NE(since.strOut.find(",2025-12-09T16:00:00.000Z,"), std::string::npos) << since.strOut;
}

TEST_F(RecordCommandTest, StatsGivesTheTableFiguresAsJsonAndCsv)
{
    CommandLine table, json, csv, until;
    ASSERT_EQ(table.Run({"record", "stats", "--workdir", m_Dir.Path(), "--until", "2025-12-10 12:00"}), 0)
        << table.strErr;
    EXPECT_NE(table.strOut.find("\nst1  2  0  1  66.7%  100.0  0  0\n"), std::string::npos) << table.strOut;
    EXPECT_NE(table.strOut.find("\nst2  1  0  0  100.0%  40.0  0  0\n"), std::string::npos) << table.strOut;
    EXPECT_NE(table.strOut.find("\n(line)  3  0  1  75.0%  0.0  0  0\n"), std::string::npos) << table.strOut;
    ASSERT_EQ(json.Run({"record", "stats", "--workdir", m_Dir.Path(), "--json"}), 0) << json.strErr;
    const nlohmann::json stats = nlohmann::json::parse(json.strOut);
    ASSERT_EQ(stats["stations"].size(), 2u) << json.strOut;
    EXPECT_EQ(stats["stations"][0]["station"], "st1");
    EXPECT_EQ(stats["stations"][0]["installed"], 2);
    EXPECT_EQ(stats["stations"][0]["failed"], 1);
    EXPECT_DOUBLE_EQ(stats["stations"][0]["yield_percent"].get<double>(), 66.7);
    EXPECT_DOUBLE_EQ(stats["stations"][0]["median_s"].get<double>(), 100.0);
    EXPECT_DOUBLE_EQ(stats["line"]["yield_percent"].get<double>(), 75.0);
    EXPECT_EQ(stats["line"]["installed"], 3);
    ASSERT_EQ(csv.Run({"record", "stats", "--workdir", m_Dir.Path(), "--csv", "--since", "2025-12-10"}), 0);
    EXPECT_EQ(csv.strOut, "station,installed,partial,failed,yield_percent,median_s,stopped,station_faults\n"
                          "st1,1,0,0,100.0,100.0,0,0\nst2,1,0,0,100.0,40.0,0,0\n(line),2,0,0,100.0,0.0,0,0\n");
    // The median, too, is of the span only.
    ASSERT_EQ(until.Run({"record", "stats", "--workdir", m_Dir.Path(), "--csv", "--until", "2025-12-09"}), 0);
    EXPECT_EQ(until.strOut, "station,installed,partial,failed,yield_percent,median_s,stopped,station_faults\n"
                            "st1,1,0,1,50.0,60.0,0,0\n");
}
