#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "job/job_result.h"
#include "record/sql_connection.h"

// Where and how often a station writes its heartbeats.
struct HeartbeatSettings {
    std::string strUrl;            // the record: postgresql://... or an SQLite file
    std::string strStation;
    std::string strToolVersion;
    int nIntervalMs = 3000;
    int nBusyTimeoutMs = 1000;     // a busy or slow record costs this heartbeat at most about this long
};

// One slot's state as the line view shows it. Slot 0 is a station with a single board.
struct SlotBeat {
    std::string strPort;
    std::string strStage = "idle";   // idle, waiting, prepare, bring-up, console, transfer, ended
    JobIdentity identity;
    int nPercent = 0;
    int64_t nStageMs = 0;            // when the stage began (wall clock)
    int64_t nProgressMs = 0;         // when the stage or the percent last moved
    std::string strLastVerdict;
    std::string strLastReason;
};

// A station's heartbeats: the front ends set each slot's state (cheap, any thread), a thread of its
// own writes every slot once per interval in one transaction, upserting one row per slot. A record
// that is away or slow costs the heartbeat only: no call here waits for the database.
class CHeartbeat {
public:
    explicit CHeartbeat(HeartbeatSettings settings, std::function<int64_t()> fnNowMs = {});
    ~CHeartbeat();
    CHeartbeat(const CHeartbeat&) = delete;
    CHeartbeat& operator=(const CHeartbeat&) = delete;

    // Starts the writing thread; Stop (or the destructor) writes once more and ends it.
    void Start();
    void Stop();

    void SetPort(int nSlot, const std::string& strPort);
    void SetStage(int nSlot, const std::string& strStage);
    void SetBoard(int nSlot, const JobIdentity& identity);
    void SetPercent(int nSlot, int nPercent);
    // The job's end: its verdict and reason stay as the slot's last; the slot is idle again.
    void SetResult(int nSlot, const JobResult& result);
    SlotBeat Slot(int nSlot) const;

    // Writes every slot now on the caller's thread (the writing thread's step); false with strError
    // when the record did not take it. Opens the connection (and the schema) when there is none.
    bool WriteNow(std::string& strError);
    int64_t Written() const { return m_nWritten.load(); }

private:
    void Run();
    int64_t Now() const;
    SlotBeat& At(int nSlot);   // under m_Mutex
    void Moved(SlotBeat& beat);

    HeartbeatSettings m_Settings;
    std::function<int64_t()> m_fnNowMs;
    mutable std::mutex m_Mutex;            // the slots' state
    std::map<int, SlotBeat> m_Slots;
    std::mutex m_WriteMutex;               // the connection
    std::unique_ptr<ISqlConnection> m_pDb;
    std::condition_variable m_Cond;
    bool m_bStop = false;
    std::thread m_Thread;
    std::atomic<int64_t> m_nWritten{0};
};
