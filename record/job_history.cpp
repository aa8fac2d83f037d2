#include "record/job_history.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "base/wall_clock.h"
#include "record/record_sql.h"

bool CJobHistory::Add(const JobResult& result, bool bReflash, const std::string& strSpoolId, std::string& strJobId,
                      std::string& strError, SqlError* pError)
{
    const JobIdentity& id = result.identity;
    char szChip[16];
    std::snprintf(szChip, sizeof szChip, "0x%08x", result.nChipId);
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db,
                "INSERT INTO jobs (verdict, stage, reason, mac, factory, reg, station, port, device, chip_id, "
                "started_at, ended_at, started_ms, ended_ms, bringup_ms, console_ms, transfer_ms, tool_version, "
                "reflash, flags, spool_id, cause) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, "
                "$15, $16, $17, $18, $19, $20, $21, $22) RETURNING id",
                {VerdictName(result.verdict), StageName(result.stage), result.strReason, id.strMac, id.strFactory,
                 id.strReg, result.strStation, result.nComPort > 0 ? "COM" + std::to_string(result.nComPort) : "",
                 result.strDevicePath, result.bChipIdRead ? SqlText(szChip) : SqlText(), result.strStartTime,
                 result.strEndTime, std::to_string(IsoTimeMs(result.strStartTime)),
                 std::to_string(IsoTimeMs(result.strEndTime)), std::to_string(result.nBringUpMs),
                 std::to_string(result.nConsoleMs), std::to_string(result.nTransferMs), m_strToolVersion,
                 bReflash ? "1" : "0", FlagsText(result.flags), strSpoolId.empty() ? SqlText() : SqlText(strSpoolId),
                 CauseCodeOf(result)},
                &rows, strError, pError))
        return false;
    strJobId = rows.empty() ? std::string() : TextOf(rows[0][0]);
    for (const TransferImageResult& image : result.images)
        if (!RunSql(m_Db,
                    "INSERT INTO job_images (job_id, slot, file_id, name, size, sha256, frames, resends, stored) "
                    "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9)",
                    {strJobId, std::to_string(image.nSlot), std::to_string(image.nId), image.strName,
                     std::to_string(image.nSize), image.strSha256, std::to_string(image.nFrames),
                     std::to_string(image.nResends), image.bStored ? "1" : "0"},
                    nullptr, strError, pError))
            return false;
    return true;
}

bool CJobHistory::AddToReason(const std::string& strJobId, const std::string& strNote, std::string& strError,
                              SqlError* pError)
{
    return RunSql(m_Db, "UPDATE jobs SET reason = CASE WHEN reason = '' THEN CAST($2 AS TEXT) ELSE reason || '; ' || CAST($2 AS TEXT) END WHERE id = $1",
                  {strJobId, strNote}, nullptr, strError, pError);
}

bool CJobHistory::AddFlag(const std::string& strJobId, std::vector<std::string> flags, const char* szFlag,
                          std::string& strError, SqlError* pError)
{
    JobResult flagged;
    flagged.flags = std::move(flags);
    ::AddFlag(flagged, szFlag);
    return RunSql(m_Db, "UPDATE jobs SET flags = $2 WHERE id = $1", {strJobId, FlagsText(flagged.flags)}, nullptr,
                  strError, pError);
}

bool CJobHistory::List(const RecordFilter& filter, std::vector<RecordedJob>& jobs, std::string& strError)
{
    std::vector<SqlRow> rows;
    std::string strMacLike = filter.strMac.empty() ? std::string() : "%" + filter.strMac + "%";
    if (!RunSql(m_Db,
                "SELECT id, verdict, stage, reason, mac, factory, reg, station, port, device, chip_id, started_at, "
                "ended_at, bringup_ms, console_ms, transfer_ms, tool_version, reflash, flags, spool_id, cause FROM jobs WHERE started_ms >= $1 "
                "AND started_ms < $5 AND ($2 = '' OR station = $2) AND ($3 = '' OR UPPER(mac) LIKE $3) AND "
                "($4 = '' OR factory = $4) ORDER BY id",
                {std::to_string(filter.nSinceMs), filter.strStation, strMacLike, filter.strFactory,
                 std::to_string(filter.nUntilMs)},
                &rows, strError))
        return false;
    jobs.clear();
    for (const SqlRow& row : rows) {
        RecordedJob job;
        job.nId = NumberOf(row[0]);
        JobResult& r = job.result;
        VerdictFromName(TextOf(row[1]), r.verdict);  // a text this Tovar does not know leaves the defaults
        StageFromName(TextOf(row[2]), r.stage);
        r.strReason = TextOf(row[3]);
        r.identity = {TextOf(row[4]), TextOf(row[5]), TextOf(row[6])};
        r.strStation = TextOf(row[7]);
        const std::string strPort = TextOf(row[8]);
        r.nComPort = strPort.size() > 3 ? std::atoi(strPort.c_str() + 3) : 0;
        r.strDevicePath = TextOf(row[9]);
        r.bChipIdRead = row[10].has_value();
        r.nChipId = r.bChipIdRead ? static_cast<uint32_t>(std::strtoul(row[10]->c_str(), nullptr, 16)) : 0;
        r.strStartTime = TextOf(row[11]);
        r.strEndTime = TextOf(row[12]);
        r.nBringUpMs = NumberOf(row[13]);
        r.nConsoleMs = NumberOf(row[14]);
        r.nTransferMs = NumberOf(row[15]);
        job.strToolVersion = TextOf(row[16]);
        job.bReflash = NumberOf(row[17]) != 0;
        r.flags = FlagsFromText(TextOf(row[18]));
        job.bFromSpool = row[19].has_value();
        if (!CauseFromCode(TextOf(row[20]), r.cause) || r.cause == JobCause::Partial)
            r.cause = JobCause::None;
        std::vector<SqlRow> images;
        if (!RunSql(m_Db,
                    "SELECT slot, file_id, name, size, sha256, frames, resends, stored FROM job_images WHERE job_id = "
                    "$1 ORDER BY slot",
                    {std::to_string(job.nId)}, &images, strError))
            return false;
        for (const SqlRow& image : images)
            r.images.push_back({static_cast<int>(NumberOf(image[0])), static_cast<int32_t>(NumberOf(image[1])),
                                TextOf(image[2]), static_cast<uint64_t>(NumberOf(image[3])), TextOf(image[4]),
                                static_cast<uint32_t>(NumberOf(image[5])), static_cast<uint32_t>(NumberOf(image[6])),
                                NumberOf(image[7]) != 0});
        jobs.push_back(std::move(job));
    }
    return true;
}
