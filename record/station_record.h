#pragma once
#include <memory>
#include <mutex>
#include <string>

#include "record/production_record.h"

// Where a station keeps its record and how it uses it.
struct RecordSettings {
    bool bEnabled = true;
    std::string strUrl;            // postgresql://... or an SQLite file; empty: tovar.db in the working folder
    std::string strWorkDir = ".";
    std::string strStation;        // empty: the host name
    int nHoldMinutes = 30;
    std::string strToolVersion;
};

// A station's use of the production record: the identity guard before a job, the record of every
// job after it, and the pools. A result the record could not take is kept in a spool folder
// (record-spool/ in the working folder) and written at the next start; an entry that cannot be read
// is moved to record-spool/bad/. Safe from any thread.
class CStationRecord {
public:
    // Opens the record and writes what the spool holds; false, with strWhy, when it cannot be used.
    // strWarning gets one log line for each spooled entry that was moved aside or could not be written.
    bool Open(const RecordSettings& settings, std::string& strWhy, std::string& strWarning);
    // The same; the spool's warnings wait for TakeWarnings.
    bool Open(const RecordSettings& settings, std::string& strWhy);
    // The warnings of the last Open without a warning text, once.
    std::string TakeWarnings();
    bool Enabled() const { return m_pRecord != nullptr; }
    const std::string& Station() const { return m_strStation; }

    // The form of the identity, then (with a record) its uniqueness and a hold for the job. False,
    // with the operator's log lines in strWhy, when the job must not start.
    bool Guard(const JobIdentity& identity, const std::string& strPort, IdentityClaim& claim, std::string& strWhy);
    // Records the job and releases its claim; a record that is gone gets it later from the spool.
    // strWarning says so when it happened.
    void Record(const JobResult& result, const IdentityClaim& claim, std::string& strWarning);
    // The next identity from the pools.
    bool TakeNext(JobIdentity& identity, std::string& strWhy);
    // This station's counts of a span (a shift), by the line's counting rules.
    bool ShiftCounts(const TimeSpan& span, LineCounts& counts);

    // For the record and pool commands; null without a record.
    CProductionRecord* Record() { return m_pRecord.get(); }

private:
    bool Spool(const JobResult& result, const IdentityClaim& claim, std::string& strWhy);
    void FlushSpool(std::string& strWarning);
    void MoveAside(const std::string& strFile, std::string& strWarning);

    mutable std::mutex m_Mutex;
    std::unique_ptr<CProductionRecord> m_pRecord;
    std::string m_strStation;
    std::string m_strSpoolDir;
    int m_nHoldMinutes = 30;
    std::string m_strWarnings;
};
