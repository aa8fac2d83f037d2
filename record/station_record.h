#pragma once
#include <memory>
#include <mutex>
#include <string>

#include "record/hold_renewer.h"
#include "record/production_record.h"

// Where a station keeps its record and how it uses it.
struct RecordSettings {
    bool bEnabled = true;
    std::string strUrl;            // postgresql://... or an SQLite file; empty: tovar.db in the working folder
    std::string strWorkDir = ".";
    std::string strStation;        // empty: the host name
    int nHoldMinutes = 30;
    std::string strToolVersion;
    int nTimeoutMs = 5000;         // the bound of every call to the record
    int64_t nHoldMs = 0;           // a hold's length; 0: nHoldMinutes
    int64_t nRenewMs = 0;          // how often a running job renews its hold; 0: a quarter of it, at most 60 s
};

// A station's use of the production record: the identity guard before a job, the hold renewed
// while it runs, the record of every job after it, and the pools. A result the record could not
// take is kept in a spool folder (record-spool/ in the working folder) and written back, checked
// like any other, once the record answers again (the next job's end, or the next start); each
// spooled file is claimed by one process and written once. An entry that cannot be read is moved
// to record-spool/bad/. A connection that was lost is opened again at the next call. Safe from
// any thread.
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
    // result gets the flags of what happened (hold-lost, conflict, spooled, unrecorded) and
    // strWarning the log lines that say so, with what the spool gave back meanwhile.
    void Record(JobResult& result, const IdentityClaim& claim, std::string& strWarning);
    // The next identity from the pools.
    bool TakeNext(JobIdentity& identity, std::string& strWhy);
    // The last Guard or TakeNext failed because the record did not answer (not a refusal).
    bool Away() const;
    // This station's counts of a span (a shift), by the line's counting rules.
    bool ShiftCounts(const TimeSpan& span, LineCounts& counts);
    // The same for the shift that holds nNowMs, by the shift starts of [line] shifts= (none: the day).
    bool ShiftCountsAt(const std::string& strShifts, int64_t nNowMs, LineCounts& counts);

    // For the record and pool commands; null without a record.
    CProductionRecord* Record() { return m_pRecord.get(); }

private:
    bool Spool(const JobResult& result, const IdentityClaim& claim, std::string& strWhy);
    void FlushSpool(std::string& strWarning);
    void ReclaimAbandoned();
    void MoveAside(const std::string& strFile, const std::string& strName, std::string& strWarning);
    bool Connect(std::string& strWhy);
    void Reconnect();
    void CheckReachable();
    bool Renew(const IdentityClaim& claim, bool& bHeld);

    mutable std::mutex m_Mutex;
    RecordSettings m_Settings;
    std::unique_ptr<CProductionRecord> m_pRecord;
    std::unique_ptr<CHoldRenewer> m_pRenewer;
    std::string m_strStation;
    std::string m_strSpoolDir;
    int64_t m_nHoldMs = 30 * 60000;
    bool m_bReconnect = false;     // the connection was lost: open it again at the next call
    bool m_bAway = false;
    std::string m_strWarnings;
};
