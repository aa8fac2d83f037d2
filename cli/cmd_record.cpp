#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/local_time.h"
#include "base/wall_clock.h"
#include "cli/commands.h"
#include "cli/stats_output.h"
#include "line/record_options.h"
#include "record/job_csv.h"
#include "station/shift_plan.h"
#include "station/station_config.h"

namespace {

struct RecordCommandOptions {
    std::string strSince;
    std::string strUntil;
    std::string strStation;
    std::string strMac;
    std::string strFactory;
    bool bJson = false;
    bool bCsv = false;
    bool bShift = false;
    std::string strValue;
    std::string strKind;
    std::string strFirst;
    int64_t nCount = 0;
    bool bForce = false;
};

// Opens the record for a command; prints why not and returns false.
bool OpenFor(CommonOptions& options, CStationRecord& record)
{
    std::string strWhy;
    if (!ApplyStationConfig(options, strWhy)) {
        std::cerr << "tovar: " << strWhy << "\n";
        return false;
    }
    if (options.bNoRecord) {
        std::cerr << "tovar: this command needs the production record (drop --no-record)\n";
        return false;
    }
    if (!OpenStationRecord(options, record, strWhy)) {
        std::cerr << "tovar: " << strWhy << "\n";
        return false;
    }
    std::cerr << CliText(record.TakeWarnings());
    return true;
}

// The span --since and --until give, in milliseconds since the epoch (the record's started_ms is UTC).
// A date alone in --until takes in the whole of that day. The values were checked when parsed.
TimeSpan SpanOf(const RecordCommandOptions& opts, int64_t nOpenEndMs)
{
    TimeSpan span{0, nOpenEndMs};
    LocalTimeRead time;
    if (!opts.strSince.empty() && ReadLocalTime(opts.strSince, time))
        span.nStartMs = time.nMs;
    if (!opts.strUntil.empty() && ReadLocalTime(opts.strUntil, time))
        span.nEndMs = time.bDateOnly ? time.nNextDayMs : time.nMs;
    return span;
}

// The time a job started, as local time with its offset; the stored text when it cannot be read.
std::string ShownStart(const JobResult& result)
{
    const int64_t nMs = IsoTimeMs(result.strStartTime);
    return nMs > 0 ? LocalTimeText(nMs) : result.strStartTime;
}

// Adds --since and --until to a command.
CLI::Option* AddSpanOptions(CLI::App& cmd, RecordCommandOptions& opts)
{
    CLI::Option* pSince =
        cmd.add_option("--since", opts.strSince,
                       "Jobs started at or after this local time, YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS]")
            ->check(LocalDateTime())
            ->type_name("TIME");
    cmd.add_option("--until", opts.strUntil,
                   "Jobs started before this local time, YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS] (a date alone: to the "
                   "end of that day)")
        ->check(LocalDateTime())
        ->type_name("TIME");
    return pSince;
}

int RunList(CommonOptions& options, const RecordCommandOptions& list)
{
    CStationRecord record;
    if (!OpenFor(options, record))
        return 2;
    const TimeSpan span = SpanOf(list, INT64_MAX);
    RecordFilter filter{span.nStartMs, span.nEndMs, list.strStation, {}, list.strFactory};
    uint64_t nMac = 0;
    if (!list.strMac.empty())
        filter.strMac = ParseMac(list.strMac, nMac) ? MacText(nMac) : list.strMac;
    std::vector<RecordedJob> jobs;
    std::string strError;
    if (!record.Record()->ListJobs(filter, jobs, strError)) {
        std::cerr << "tovar: " << strError << "\n";
        return 1;
    }
    if (list.bCsv)
        std::cout << JobCsvHeader();
    for (const RecordedJob& job : jobs) {
        const JobResult& r = job.result;
        const std::string strPort = r.nComPort > 0 ? "COM" + std::to_string(r.nComPort) : "-";
        if (list.bJson) {
            nlohmann::ordered_json line = nlohmann::ordered_json::parse(JobResultToJson(r));
            line["id"] = job.nId;
            line["reflash"] = job.bReflash;
            line["tool_version"] = job.strToolVersion;
            std::cout << line.dump() << "\n";
        } else if (list.bCsv) {
            const std::vector<std::string> fields = {
                std::to_string(job.nId), r.strStartTime, r.strEndTime, r.strStation, strPort,
                VerdictName(r.verdict), StageName(r.stage), r.strReason, r.identity.strMac,
                r.identity.strFactory, r.identity.strReg, job.bReflash ? "1" : "0"};
            std::cout << CsvLine(fields);
        } else {
            std::cout << job.nId << "  " << ShownStart(r) << "  " << r.strStation << "  " << strPort << "  "
                      << VerdictName(r.verdict) << (job.bReflash ? " (re-flash)" : "") << "  " << r.identity.strMac
                      << "  " << r.identity.strFactory << "  " << r.identity.strReg
                      << (r.strReason.empty() ? "" : "  " + r.strReason) << "\n";
        }
    }
    return 0;
}

int RunStats(CommonOptions& options, const RecordCommandOptions& stats)
{
    CStationRecord record;
    if (!OpenFor(options, record))
        return 2;
    // The span: --since/--until (or ever), or the shift going on ([line] shifts=).
    TimeSpan span = SpanOf(stats, WallNowMs() + 1);
    if (stats.bShift) {
        CShiftPlan shifts;
        std::string strWhy;
        if (!shifts.Parse(options.strShifts, strWhy)) {
            std::cerr << "tovar: [line] shifts=" << options.strShifts << ": " << strWhy << "\n";
            return 2;
        }
        span = shifts.ShiftAt(WallNowMs());
    }
    std::vector<StationStats> stations;
    std::map<std::string, LineCounts> counts;
    LineCounts line;
    std::string strError;
    if (!record.Record()->Stats(span, stations, strError) || !record.Record()->Counts(span, counts, line, strError)) {
        std::cerr << "tovar: " << strError << "\n";
        return 1;
    }
    std::vector<StatsRow> rows;
    int64_t nLinePartial = 0;
    for (const auto& [strStation, one] : counts) {
        StatsRow row{strStation, one, 0, 0, false};
        for (const StationStats& station : stations)
            if (station.strStation == strStation) {
                row.nMedianMs = station.nMedianMs;
                row.nPartial = station.nPartial;
            }
        nLinePartial += row.nPartial;
        if (one.nInstalled + one.nFailed + one.nStopped + one.nStationFaults > 0)
            rows.push_back(row);
    }
    // The table names the line apart only when it has several stations; JSON always has it.
    if (counts.size() > 1 || stats.bJson)
        rows.push_back({"(line)", line, nLinePartial, 0, true});
    std::cout << (stats.bJson ? StatsJson(rows) : stats.bCsv ? StatsCsv(rows) : StatsTable(rows));
    return 0;
}

int RunRelease(CommonOptions& options, const RecordCommandOptions& release)
{
    CStationRecord record;
    if (!OpenFor(options, record))
        return 2;
    HoldHolder holder;
    std::string strError;
    if (!record.Record()->ReleaseHold(release.strKind, release.strValue, release.bForce, holder, strError)) {
        std::cerr << "tovar record release: " << strError << "\n";
        return 1;
    }
    std::cout << "released " << holder.strValue << ", held by station " << holder.strStation << " (" << holder.strPort
              << ") since " << holder.strSince
              << (holder.nExpiresInMs > 0 ? " and still renewed by its job" : ", its job no longer renewing it") << "\n";
    return 0;
}

int RunPoolTaken(CommonOptions& options, const RecordCommandOptions& pool)
{
    CStationRecord record;
    if (!OpenFor(options, record))
        return 2;
    std::vector<TakenValue> taken;
    std::string strError;
    if (!record.Record()->ListTaken(taken, strError)) {
        std::cerr << "tovar pool taken: " << strError << "\n";
        return 1;
    }
    for (const TakenValue& one : taken) {
        if (pool.bJson)
            std::cout << nlohmann::ordered_json{{"kind", one.strKind},     {"value", one.strValue},
                                                {"station", one.strStation}, {"age_s", one.nAgeMs / 1000},
                                                {"held", one.bHeld}}
                             .dump()
                      << "\n";
        else
            std::cout << one.strKind << " " << one.strValue << "  station " << one.strStation << ", "
                      << one.nAgeMs / 1000 << " s ago" << (one.bHeld ? ", held by a running job" : "") << "\n";
    }
    return 0;
}

int RunPoolReturn(CommonOptions& options, const RecordCommandOptions& pool)
{
    CStationRecord record;
    if (!OpenFor(options, record))
        return 2;
    std::string strReturned;
    std::string strError;
    if (!record.Record()->ReturnTaken(pool.strKind, pool.strValue, strReturned, strError)) {
        std::cerr << "tovar pool return: " << strError << "\n";
        return 1;
    }
    std::cout << "returned " << strReturned << " to its pool\n";
    return 0;
}

int RunPoolAdd(CommonOptions& options, const RecordCommandOptions& pool)
{
    CStationRecord record;
    if (!OpenFor(options, record))
        return 2;
    std::string strError;
    if (!record.Record()->AddPool(pool.strKind, pool.strFirst, pool.nCount, strError)) {
        std::cerr << "tovar pool add: " << strError << "\n";
        return 2;
    }
    std::cout << "added " << pool.nCount << " to the " << pool.strKind << " pool from " << pool.strFirst << "\n";
    return 0;
}

int RunPoolStatus(CommonOptions& options, const RecordCommandOptions& pool)
{
    CStationRecord record;
    if (!OpenFor(options, record))
        return 2;
    std::vector<PoolStatus> statuses;
    std::string strError;
    if (!record.Record()->PoolStatuses(statuses, strError)) {
        std::cerr << "tovar: " << strError << "\n";
        return 1;
    }
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    for (const PoolStatus& status : statuses) {
        if (pool.bJson)
            json[status.strKind] = {{"left", status.nLeft}, {"taken", status.nTaken}, {"next", status.strNext}};
        else
            std::cout << status.strKind << ": " << status.nLeft << " left, " << status.nTaken << " taken"
                      << (status.strNext.empty() ? "" : ", next " + status.strNext) << "\n";
    }
    if (pool.bJson)
        std::cout << json.dump() << "\n";
    return 0;
}

int RunPoolTake(CommonOptions& options, const RecordCommandOptions& pool)
{
    CStationRecord record;
    if (!OpenFor(options, record))
        return 2;
    JobIdentity identity;
    std::string strError;
    if (!record.TakeNext(identity, strError)) {
        std::cerr << "tovar pool take: " << strError << "\n";
        return 1;
    }
    if (pool.bJson)
        std::cout << nlohmann::ordered_json{{"mac", identity.strMac}, {"factory", identity.strFactory},
                                            {"reg", identity.strReg}}
                         .dump()
                  << "\n";
    else
        std::cout << identity.strMac << " " << identity.strFactory << " " << identity.strReg << "\n";
    return 0;
}

}  // namespace

void AddRecordCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto opts = std::make_shared<RecordCommandOptions>();
    CLI::App* pRecord = app.add_subcommand("record", "Read the production record; release a held value");
    pRecord->require_subcommand(1);
    CLI::App* pList = pRecord->add_subcommand("list", "Every recorded job, oldest first");
    AddSpanOptions(*pList, *opts);
    pList->add_option("--station", opts->strStation, "Only this station");
    pList->add_option("--mac", opts->strMac, "Only jobs with this MAC address");
    pList->add_option("--factory", opts->strFactory, "Only this factory number");
    auto* pJson = pList->add_flag("--json", opts->bJson, "One JSON object per line");
    pList->add_flag("--csv", opts->bCsv, "Comma-separated values with a header")->excludes(pJson);
    AddCommonOptions(*pList, options, kRecordOptions);
    SetHelpFooter(*pList, "tovar record list --since 2026-12-01 --station line1-a --csv",
                  {{0, "done"}, {1, "the record refused the query"}, {2, "refused: a usage error, or tovar.cfg or the record cannot be used"}});
    runners.push_back({pList, [&options, opts] { return RunList(options, *opts); }});
    CLI::App* pStats = pRecord->add_subcommand("stats", "Per station: installed, failed, yield, median time per board");
    CLI::Option* pSince = AddSpanOptions(*pStats, *opts);
    pStats->add_flag("--shift", opts->bShift, "The shift going on ([line] shifts= of tovar.cfg; none: today)")
        ->excludes(pSince)
        ->excludes(pStats->get_option("--until"));
    auto* pStatsJson = pStats->add_flag("--json", opts->bJson, "The same figures as one JSON object");
    pStats->add_flag("--csv", opts->bCsv, "The same figures as comma-separated values with a header")->excludes(pStatsJson);
    AddCommonOptions(*pStats, options, kRecordOptions);
    SetHelpFooter(*pStats, "tovar record stats --since \"2026-12-09 08:00\"",
                  {{0, "done"}, {1, "the record refused the query"}, {2, "refused: a usage error, or tovar.cfg or the record cannot be used"}});
    runners.push_back({pStats, [&options, opts] { return RunStats(options, *opts); }});
    CLI::App* pRelease = pRecord->add_subcommand("release", "Free a value held by a job whose station went away");
    pRelease->add_option("KIND", opts->strKind, "mac, factory or reg")
        ->required()
        ->check(OneOf({"mac", "factory", "reg"}));
    pRelease->add_option("VALUE", opts->strValue, "The MAC address, factory or registration number")->required();
    pRelease->add_flag("--force", opts->bForce, "Also when its job still renews the hold (the station is running)");
    AddCommonOptions(*pRelease, options, kRecordOptions);
    SetHelpFooter(*pRelease, "tovar record release mac 58:76:75:01:02:02",
                  {{0, "released"}, {1, "not released: not held, or held by a running job (see --force)"},
                   {2, "refused: a usage error, or tovar.cfg or the record cannot be used"}});
    runners.push_back({pRelease, [&options, opts] { return RunRelease(options, *opts); }});

    CLI::App* pPool = app.add_subcommand("pool", "Identity pools: add ranges, see what is left, take the next identity");
    pPool->require_subcommand(1);
    CLI::App* pAdd = pPool->add_subcommand("add", "Add a range: macs FIRST COUNT (boards, two addresses each), "
                                                  "factory FIRST COUNT (decimal), reg FIRST COUNT (hexadecimal)");
    pAdd->add_option("KIND", opts->strKind, "macs, factory or reg")->required()->check(OneOf({"macs", "factory", "reg"}));
    pAdd->add_option("FIRST", opts->strFirst, "The first value")->required();
    pAdd->add_option("COUNT", opts->nCount, "How many boards")->required()->check(WholeNumber(1, 100000000));
    AddCommonOptions(*pAdd, options, kRecordOptions);
    SetHelpFooter(*pAdd, "tovar pool add macs 58:76:75:01:03:00 1000",
                  {{0, "added"}, {2, "refused: a usage error, a range the record does not take, or tovar.cfg or the record cannot be used"}});
    runners.push_back({pAdd, [&options, opts] { return RunPoolAdd(options, *opts); }});
    CLI::App* pStatus = pPool->add_subcommand("status", "What is left in each pool");
    pStatus->add_flag("--json", opts->bJson, "As JSON");
    AddCommonOptions(*pStatus, options, kRecordOptions);
    SetHelpFooter(*pStatus, "tovar pool status --json", {{0, "done"}, {1, "the record refused the query"}, {2, "refused: a usage error, or tovar.cfg or the record cannot be used"}});
    runners.push_back({pStatus, [&options, opts] { return RunPoolStatus(options, *opts); }});
    CLI::App* pTake = pPool->add_subcommand("take", "Reserve and print the next identity (for a label printer)");
    pTake->add_flag("--json", opts->bJson, "As JSON");
    AddCommonOptions(*pTake, options, kRecordOptions | kHoldOptions);
    SetHelpFooter(*pTake, "tovar pool take --json",
                  {{0, "an identity was taken"}, {1, "none taken: a pool is empty or the record refused"},
                   {2, "refused: a usage error, or tovar.cfg or the record cannot be used"}});
    runners.push_back({pTake, [&options, opts] { return RunPoolTake(options, *opts); }});
    CLI::App* pTaken = pPool->add_subcommand("taken", "Values handed out and neither installed nor given back");
    pTaken->add_flag("--json", opts->bJson, "One JSON object per line");
    AddCommonOptions(*pTaken, options, kRecordOptions);
    SetHelpFooter(*pTaken, "tovar pool taken --json", {{0, "done"}, {1, "the record refused the query"}, {2, "refused: a usage error, or tovar.cfg or the record cannot be used"}});
    runners.push_back({pTaken, [&options, opts] { return RunPoolTaken(options, *opts); }});
    CLI::App* pReturn = pPool->add_subcommand("return", "Give one taken value back to its pool");
    pReturn->add_option("VALUE", opts->strValue, "A MAC address of the pair, a factory or registration number")
        ->required();
    pReturn->add_option("--kind", opts->strKind, "The pool, when the value could name two: macs, factory or reg")
        ->check(OneOf({"macs", "factory", "reg"}));
    AddCommonOptions(*pReturn, options, kRecordOptions);
    SetHelpFooter(*pReturn, "tovar pool return 20260001 --kind factory",
                  {{0, "given back"}, {1, "not given back: not taken, or the record refused"},
                   {2, "refused: a usage error, or tovar.cfg or the record cannot be used"}});
    runners.push_back({pReturn, [&options, opts] { return RunPoolReturn(options, *opts); }});
}
