// The line view's answer times over a large record, and what the heartbeat costs a station.
// Fills a record with --jobs jobs (default 20000; the figures in README.md use 1000000) over
// --stations stations and a year, then times each page's JSON or CSV through the HTTP server on
// loopback. SQLite always; PostgreSQL too when TOVAR_TEST_PG_URL is set
// (scripts/pg-test-cluster run -- build/bench/line_bench ...).
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "record/heartbeat.h"
#include "record/production_record.h"
#include "record/record_sql.h"
#include "web/line_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kDayMs = 24LL * 3600 * 1000;

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

void Check(bool bOk, const std::string& strWhat)
{
    if (!bOk) {
        std::fprintf(stderr, "line_bench: %s\n", strWhat.c_str());
        std::exit(1);
    }
}

std::string Iso(int64_t nMs)
{
    const std::time_t t = static_cast<std::time_t>(nMs / 1000);
    std::tm parts {};
    gmtime_r(&t, &parts);
    char szText[40];
    std::strftime(szText, sizeof szText, "%Y-%m-%dT%H:%M:%S", &parts);
    return std::string(szText) + ".000Z";
}

const char* kReasons[] = {"boot.bin was not stored", "no answer from the board after 5 tries",
                          "the console did not answer", "the boot monitor did not answer", "chip id 0x819A05A0"};

// Jobs spread evenly over the year up to now, one image each; a few failed or stopped.
void Fill(const std::string& strUrl, int64_t nJobs, int nStations, int64_t nNowMs)
{
    SqlError error;
    auto pDb = OpenSqlConnection(strUrl, 60000, error);
    Check(pDb != nullptr, error.strText);
    if (pDb->GetDialect() == ISqlConnection::Dialect::Postgres)
        pDb->ExecScript("DROP TABLE IF EXISTS tovar_schema, jobs, job_images, identities, holds, pools, pool_free, "
                        "pool_taken, heartbeats CASCADE",
                        error);
    {
        CProductionRecord record(OpenSqlConnection(strUrl, 60000, error), "bench");
        std::string strError;
        Check(record.Open(strError), strError);
    }
    const int64_t nStartMs = nNowMs - 365 * kDayMs;
    const int64_t nStepMs = std::max<int64_t>(1, 365 * kDayMs / nJobs);
    constexpr int kBatch = 200;
    std::string strError;
    Check(pDb->ExecScript("BEGIN", error), error.strText);
    for (int64_t i = 0; i < nJobs; i += kBatch) {
        std::string strJobs = "INSERT INTO jobs (id, verdict, stage, reason, mac, factory, reg, station, port, device, "
                              "chip_id, started_at, ended_at, started_ms, ended_ms, bringup_ms, console_ms, "
                              "transfer_ms, tool_version, reflash) VALUES ";
        std::string strImages = "INSERT INTO job_images (job_id, slot, file_id, name, size, sha256, frames, resends, "
                                "stored) VALUES ";
        for (int64_t j = i; j < std::min(nJobs, i + kBatch); ++j) {
            const int64_t nMs = nStartMs + j * nStepMs;
            const int nKind = static_cast<int>(j % 100);
            const char* szVerdict = nKind < 95 ? "installed" : nKind < 99 ? "failed" : "stopped";
            const char* szStage = nKind < 95 ? "transfer" : nKind == 95 ? "bring-up" : nKind == 96 ? "console" : "transfer";
            const std::string strReason = nKind < 95 ? "" : kReasons[j % 5];
            char szMac[64], szFactory[32], szReg[32];
            std::snprintf(szMac, sizeof szMac, "^58%010llX^58%010llX", static_cast<long long>(j * 2),
                          static_cast<long long>(j * 2 + 1));
            std::snprintf(szFactory, sizeof szFactory, "%08lld", static_cast<long long>(j));
            std::snprintf(szReg, sizeof szReg, "%08llX", static_cast<long long>(j));
            const std::string strId = std::to_string(j + 1);
            strJobs += std::string(j > i ? "," : "") + "(" + strId + ",'" + szVerdict + "','" + szStage + "','" +
                       strReason + "','" + szMac + "','" + szFactory + "','" + szReg + "','st" +
                       std::to_string(j % nStations + 1) + "','COM" + std::to_string(j % 4 + 3) +
                       "','/dev/ttyUSB0','0x819a05a1','" + Iso(nMs) + "','" + Iso(nMs + 60000) + "'," +
                       std::to_string(nMs) + "," + std::to_string(nMs + 60000) + ",3000,2000,55000,'bench',0)";
            strImages += std::string(j > i ? "," : "") + "(" + strId + ",0,1,'boot.bin',400000,'" +
                         std::string(64, 'a') + "',391,0," + (nKind < 95 ? "1" : "0") + ")";
        }
        Check(RunSql(*pDb, strJobs, {}, nullptr, strError) && RunSql(*pDb, strImages, {}, nullptr, strError), strError);
    }
    if (pDb->GetDialect() == ISqlConnection::Dialect::Postgres)
        Check(RunSql(*pDb, "SELECT setval('jobs_id_seq', $1)", {std::to_string(nJobs)}, nullptr, strError), strError);
    Check(pDb->ExecScript("COMMIT", error), error.strText);
    Check(pDb->ExecScript("ANALYZE", error), error.strText);
    // Every station's four slots are heard from now.
    for (int s = 1; s <= nStations; ++s) {
        CHeartbeat beat({strUrl, "st" + std::to_string(s), "bench", 3000, 5000}, [nNowMs] { return nNowMs; });
        for (int k = 1; k <= 4; ++k) {
            beat.SetPort(k, "COM" + std::to_string(k + 2));
            beat.SetStage(k, "transfer");
        }
        Check(beat.WriteNow(strError), strError);
    }
}

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void TimePages(const char* szName, const std::string& strUrl, int64_t nJobs, int64_t nNowMs)
{
    LineServerSettings settings;
    settings.strRecordUrl = strUrl;
    settings.nPort = 0;
    settings.view.nOfflineS = 1000000000;
    CLineServer server(settings, [nNowMs] { return nNowMs; });
    std::string strWhy;
    Check(server.Listen(strWhy), strWhy);
    std::atomic<int> bStop{0};
    std::thread serving([&] { server.Serve(bStop); });
    httplib::Client client("127.0.0.1", server.Port());
    client.set_read_timeout(60, 0);
    // A day in the middle of the year, a board from that day.
    const int64_t nDayMs = nNowMs - 180 * kDayMs;
    const std::time_t t = static_cast<std::time_t>(nDayMs / 1000);
    std::tm parts {};
    localtime_r(&t, &parts);
    char szDay[16];
    std::strftime(szDay, sizeof szDay, "%Y-%m-%d", &parts);
    char szMac[16];
    std::snprintf(szMac, sizeof szMac, "58%010llX", static_cast<long long>(nJobs / 2 * 2));
    const std::string pages[][2] = {{"/ (api/now)", "/api/now"},
                                    {"/board/<mac>", std::string("/api/board/") + szMac},
                                    {"/board/<factory>", "/api/board/" + std::string(8 - std::to_string(nJobs / 3).size(), '0') +
                                                             std::to_string(nJobs / 3)},
                                    {"/failures (a day)", std::string("/api/failures?day=") + szDay},
                                    {"/export.csv (a day)", std::string("/export.csv?since=") + szDay}};
    for (const auto& page : pages) {
        std::vector<double> times;
        size_t nBytes = 0;
        for (int i = 0; i < 15; ++i) {
            const auto t0 = Clock::now();
            auto res = client.Get(page[1]);
            times.push_back(MsSince(t0));
            Check(res && res->status == 200, page[1] + ": " + (res ? std::to_string(res->status) + " " + res->body : "no answer"));
            nBytes = res->body.size();
        }
        std::printf("%-10s %-22s median %8.2f ms  max %8.2f ms  %8zu bytes\n", szName, page[0].c_str(), Median(times),
                    *std::max_element(times.begin(), times.end()), nBytes);
    }
    bStop = 1;
    serving.join();
}

// The station's side of the heartbeat: the state calls a job makes in one interval (a stage
// change, the board, a hundred progress reports, the result) on four slots; the write itself runs
// on the heartbeat's own thread.
void TimeHeartbeat(const char* szName, const std::string& strUrl)
{
    CHeartbeat beat({strUrl, "bench-station", "bench", 3000, 5000});
    const int kIntervals = 200;
    const auto t0 = Clock::now();
    for (int n = 0; n < kIntervals; ++n) {
        for (int k = 1; k <= 4; ++k) {
            beat.SetStage(k, "transfer");
            beat.SetBoard(k, {"^587675010001^587675010002", "20260001", "5A3C0001"});
            for (int p = 0; p < 100; ++p)
                beat.SetPercent(k, p);
            JobResult result;
            result.verdict = JobVerdict::Installed;
            beat.SetResult(k, result);
        }
    }
    const double dStationMs = MsSince(t0) / kIntervals;
    std::vector<double> writes;
    std::string strError;
    for (int n = 0; n < 30; ++n) {
        const auto t1 = Clock::now();
        Check(beat.WriteNow(strError), strError);
        writes.push_back(MsSince(t1));
    }
    std::printf("%-10s heartbeat: station time %.4f ms per interval (4 slots), the writer's upsert of 4 rows "
                "median %.2f ms (its own thread)\n",
                szName, dStationMs, Median(writes));
}

}  // namespace

int main(int argc, char** argv)
{
    int64_t nJobs = 20000;
    int nStations = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--jobs") == 0)
            nJobs = std::max(1000LL, std::atoll(argv[i + 1]));
        else if (std::strcmp(argv[i], "--stations") == 0)
            nStations = std::max(1, std::atoi(argv[i + 1]));
    }
    const int64_t nNowMs = WallNowMs();
    const std::string strDir = std::filesystem::temp_directory_path() / ("line_bench." + std::to_string(getpid()));
    std::filesystem::create_directories(strDir);
    std::vector<std::pair<const char*, std::string>> records = {{"sqlite", strDir + "/tovar.db"}};
    if (const char* szPg = std::getenv("TOVAR_TEST_PG_URL"))
        records.emplace_back("postgres", szPg);
    std::printf("%lld jobs over %d stations and a year\n", static_cast<long long>(nJobs), nStations);
    for (const auto& [szName, strUrl] : records) {
        const auto t0 = Clock::now();
        Fill(strUrl, nJobs, nStations, nNowMs);
        std::printf("%-10s filled in %.1f s\n", szName, MsSince(t0) / 1000.0);
        TimePages(szName, strUrl, nJobs, nNowMs);
        TimeHeartbeat(szName, strUrl);
    }
    std::filesystem::remove_all(strDir);
    return 0;
}
