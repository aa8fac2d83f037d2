// What the production record and the identity guard add to each job, and how fast the pool hands
// out identities to 8 processes at once. Prints figures for SQLite and, when TOVAR_TEST_PG_URL is
// set (scripts/pg-test-cluster run -- ...), for PostgreSQL.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "record/production_record.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

std::unique_ptr<CProductionRecord> Open(const std::string& strUrl)
{
    SqlError error;
    auto pDb = OpenSqlConnection(strUrl, 10000, error);
    if (!pDb) {
        std::fprintf(stderr, "%s\n", error.strText.c_str());
        std::exit(1);
    }
    auto pRecord = std::make_unique<CProductionRecord>(std::move(pDb), "bench");
    std::string strError;
    if (!pRecord->Open(strError)) {
        std::fprintf(stderr, "%s\n", strError.c_str());
        std::exit(1);
    }
    return pRecord;
}

void Reset(const std::string& strUrl)
{
    SqlError error;
    auto pDb = OpenSqlConnection(strUrl, 10000, error);
    if (pDb && pDb->GetDialect() == ISqlConnection::Dialect::Postgres)
        pDb->ExecScript("DROP TABLE IF EXISTS tovar_schema, jobs, job_images, identities, holds, pools, pool_free, "
                        "pool_taken, heartbeats CASCADE",
                        error);
}

// Guard (claim) plus record (finish) of one installed job with four images, per job.
void PerJob(const std::string& strName, const std::string& strUrl, int nJobs)
{
    auto pRecord = Open(strUrl);
    std::vector<double> times;
    for (int i = 0; i < nJobs; ++i) {
        char szMac1[16], szMac2[16], szFactory[16];
        std::snprintf(szMac1, sizeof szMac1, "5876750%05X", i * 2);
        std::snprintf(szMac2, sizeof szMac2, "5876750%05X", i * 2 + 1);
        std::snprintf(szFactory, sizeof szFactory, "%08d", 10000000 + i);
        IdentityValues values{szMac1, szMac2, szFactory, szFactory};
        JobResult result;
        result.verdict = JobVerdict::Installed;
        result.identity = {"^" + values.strMac1 + "^" + values.strMac2, values.strFactory, values.strReg};
        result.strStation = "bench";
        result.strStartTime = result.strEndTime = IsoTimeNow();
        for (int k = 0; k < 4; ++k)
            result.images.push_back({k, k + 1, "image.bin", 1 << 20, std::string(64, 'a'), 1025, 0, true});
        Clock::time_point t0 = Clock::now();
        IdentityClaim claim;
        std::string strWhy;
        std::string strError;
        if (!pRecord->Claim(values, "bench", "COM1", 30 * 60000, claim, strWhy) ||
            !pRecord->Finish(result, claim, strError)) {
            std::fprintf(stderr, "%s%s\n", strWhy.c_str(), strError.c_str());
            std::exit(1);
        }
        times.push_back(MsSince(t0));
    }
    std::sort(times.begin(), times.end());
    std::printf("%-10s guard + record per job: median %.2f ms, 90th percentile %.2f ms (%d jobs)\n", strName.c_str(),
                times[times.size() / 2], times[times.size() * 9 / 10], nJobs);
}

// 8 processes, each taking nEach identities from one pool.
void PoolTakes(const std::string& strName, const std::string& strUrl, int nEach)
{
    {
        auto pRecord = Open(strUrl);
        std::string strError;
        pRecord->AddPool("macs", "58:76:76:00:00:00", 100000, strError);
        pRecord->AddPool("factory", "40000000", 100000, strError);
        pRecord->AddPool("reg", "40000000", 100000, strError);
    }
    Clock::time_point t0 = Clock::now();
    std::vector<pid_t> children;
    for (int p = 0; p < 8; ++p) {
        pid_t pid = fork();
        if (pid == 0) {
            auto pRecord = Open(strUrl);
            for (int i = 0; i < nEach; ++i) {
                PoolIdentity taken;
                std::string strError;
                if (!pRecord->TakeIdentity("bench", 30 * 60000, taken, strError))
                    _exit(1);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    int nFailed = 0;
    for (pid_t pid : children) {
        int nStatus = 0;
        waitpid(pid, &nStatus, 0);
        nFailed += !(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    }
    double dMs = MsSince(t0);
    std::printf("%-10s pool takes under 8 processes: %.0f identities/s (%d in %.0f ms%s)\n", strName.c_str(),
                8.0 * nEach * 1000.0 / dMs, 8 * nEach, dMs, nFailed ? ", some processes FAILED" : "");
}

}  // namespace

int main()
{
    char szDir[] = "/tmp/tovar-record-bench-XXXXXX";
    if (!mkdtemp(szDir))
        return 1;
    const std::string strSqlite = std::string(szDir) + "/tovar.db";
    PerJob("SQLite", strSqlite, 300);
    PoolTakes("SQLite", strSqlite, 100);
    std::filesystem::remove_all(szDir);
    if (const char* szPg = std::getenv("TOVAR_TEST_PG_URL")) {
        Reset(szPg);
        PerJob("PostgreSQL", szPg, 300);
        PoolTakes("PostgreSQL", szPg, 100);
    } else {
        std::printf("PostgreSQL: not measured (run under scripts/pg-test-cluster run -- ...)\n");
    }
    return 0;
}
