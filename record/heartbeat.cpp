#include "record/heartbeat.h"

#include <chrono>
#include <vector>

#include "base/wall_clock.h"
#include "record/record_schema.h"
#include "record/record_sql.h"

namespace {

constexpr const char* kUpsert =
    "INSERT INTO heartbeats (station, slot, port, stage, mac, factory, reg, percent, stage_ms, progress_ms, seen_ms, "
    "last_verdict, last_reason, tool_version) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14) "
    "ON CONFLICT (station, slot) DO UPDATE SET port = excluded.port, stage = excluded.stage, mac = excluded.mac, "
    "factory = excluded.factory, reg = excluded.reg, percent = excluded.percent, stage_ms = excluded.stage_ms, "
    "progress_ms = excluded.progress_ms, seen_ms = excluded.seen_ms, last_verdict = excluded.last_verdict, "
    "last_reason = excluded.last_reason, tool_version = excluded.tool_version";

}  // namespace

CHeartbeat::CHeartbeat(HeartbeatSettings settings, std::function<int64_t()> fnNowMs)
    : m_Settings(std::move(settings)), m_fnNowMs(std::move(fnNowMs))
{
}

CHeartbeat::~CHeartbeat() { Stop(); }

int64_t CHeartbeat::Now() const { return m_fnNowMs ? m_fnNowMs() : WallNowMs(); }

void CHeartbeat::Start()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_Thread.joinable())
        m_Thread = std::thread(&CHeartbeat::Run, this);
}

void CHeartbeat::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bStop = true;
        m_Cond.notify_all();
    }
    if (m_Thread.joinable())
        m_Thread.join();
}

void CHeartbeat::Run()
{
    std::string strError;
    for (bool bLast = false; !bLast;) {
        WriteNow(strError);
        std::unique_lock<std::mutex> lock(m_Mutex);
        bLast = m_Cond.wait_for(lock, std::chrono::milliseconds(m_Settings.nIntervalMs), [this] { return m_bStop; });
    }
    WriteNow(strError);   // the state at the end (ended slots), once
}

SlotBeat& CHeartbeat::At(int nSlot)
{
    auto it = m_Slots.find(nSlot);
    if (it == m_Slots.end()) {
        it = m_Slots.emplace(nSlot, SlotBeat{}).first;
        it->second.nStageMs = it->second.nProgressMs = Now();
    }
    return it->second;
}

void CHeartbeat::Moved(SlotBeat& beat) { beat.nProgressMs = Now(); }

void CHeartbeat::SetPort(int nSlot, const std::string& strPort)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    At(nSlot).strPort = strPort;
}

void CHeartbeat::SetStage(int nSlot, const std::string& strStage)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SlotBeat& beat = At(nSlot);
    if (beat.strStage == strStage)
        return;
    beat.strStage = strStage;
    beat.nStageMs = Now();
    if (strStage == "idle" || strStage == "waiting" || strStage == "ended")
        beat.nPercent = 0;
    Moved(beat);
}

void CHeartbeat::SetBoard(int nSlot, const JobIdentity& identity)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SlotBeat& beat = At(nSlot);
    beat.identity = identity;
    beat.nPercent = 0;
    Moved(beat);
}

void CHeartbeat::SetPercent(int nSlot, int nPercent)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SlotBeat& beat = At(nSlot);
    if (beat.nPercent != nPercent) {
        beat.nPercent = nPercent;
        Moved(beat);
    }
}

void CHeartbeat::SetResult(int nSlot, const JobResult& result)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SlotBeat& beat = At(nSlot);
    beat.strLastVerdict = VerdictName(result.verdict);
    beat.strLastReason = result.strReason;
    if (beat.strStage != "ended") {
        beat.strStage = "idle";
        beat.nStageMs = Now();
    }
    beat.nPercent = 0;
    Moved(beat);
}

SlotBeat CHeartbeat::Slot(int nSlot) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_Slots.find(nSlot);
    return it == m_Slots.end() ? SlotBeat{} : it->second;
}

bool CHeartbeat::WriteNow(std::string& strError)
{
    std::map<int, SlotBeat> slots;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Slots.empty())
            At(0);
        slots = m_Slots;
    }
    std::lock_guard<std::mutex> lock(m_WriteMutex);
    SqlError error;
    if (!m_pDb) {
        m_pDb = OpenSqlConnection(m_Settings.strUrl, m_Settings.nBusyTimeoutMs, error);
        if (!m_pDb || !MigrateRecord(*m_pDb, strError)) {
            strError = m_pDb ? strError : error.strText;
            m_pDb.reset();
            return false;
        }
    }
    const std::string strNow = std::to_string(Now());
    // A plain transaction: the heartbeat never takes the writers' lock the jobs' records use.
    const bool bSqlite = m_pDb->GetDialect() == ISqlConnection::Dialect::Sqlite;
    bool bOk = m_pDb->ExecScript(bSqlite ? "BEGIN IMMEDIATE" : "BEGIN", error);
    for (auto it = slots.begin(); bOk && it != slots.end(); ++it) {
        const SlotBeat& beat = it->second;
        bOk = m_pDb->Exec(kUpsert,
                          {m_Settings.strStation, std::to_string(it->first), beat.strPort, beat.strStage,
                           beat.identity.strMac, beat.identity.strFactory, beat.identity.strReg,
                           std::to_string(beat.nPercent), std::to_string(beat.nStageMs),
                           std::to_string(beat.nProgressMs), strNow, beat.strLastVerdict, beat.strLastReason,
                           m_Settings.strToolVersion},
                          nullptr, error);
    }
    if (bOk)
        bOk = m_pDb->ExecScript("COMMIT", error);
    if (!bOk) {
        strError = error.strText;
        m_pDb->Rollback();
        if (error.bLost)
            m_pDb.reset();
        return false;
    }
    ++m_nWritten;
    return true;
}
