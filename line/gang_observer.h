#pragma once
#include <string>

#include "job/job_result.h"
#include "record/line_counts.h"
#include "net/transfer_image.h"

// What the slots of a gang station report, each on its slot's own thread (several at once). Front
// ends pass the calls on to their own thread. nSlot is N of [slotN].
class IGangObserver {
public:
    virtual ~IGangObserver() = default;
    // A log line of the slot's job or of the slot itself (UTF-8, "\r\n" line ends as a job gives them).
    virtual void OnSlotLog(int nSlot, const std::string& strText) = 0;
    virtual void OnSlotDetail(int nSlot, const std::string& strText) { (void)nSlot, (void)strText; }
    // The slot waits for its next board's boot monitor (true), or that wait ended (false).
    virtual void OnSlotWaiting(int nSlot, bool bWaiting) { (void)nSlot, (void)bWaiting; }
    // The identity the slot's next board gets, before it is guarded.
    virtual void OnSlotBoard(int nSlot, const JobIdentity& identity) { (void)nSlot, (void)identity; }
    // The running job's stage; Prepare when the slot starts on a board.
    virtual void OnSlotStage(int nSlot, JobStage stage) { (void)nSlot, (void)stage; }
    virtual void OnSlotProgress(int nSlot, const TransferProgress& progress) { (void)nSlot, (void)progress; }
    // One board's result, refused ones included, once it is recorded.
    virtual void OnSlotResult(int nSlot, const JobResult& result) = 0;
    // The slot failed nFailures boards in a row and stops (before OnSlotEnded): check its fixture.
    virtual void OnSlotAlarm(int nSlot, int nFailures) { (void)nSlot, (void)nFailures; }
    // The station's counts of the shift going on, as the record holds them (every slot's boards,
    // and those of earlier runs), after each board's result.
    virtual void OnShiftCounts(const LineCounts& counts) { (void)counts; }
    // The slot takes no more boards; strWhy says why ("3 boards", "stopped", the refusal...).
    virtual void OnSlotEnded(int nSlot, const std::string& strWhy) { (void)nSlot, (void)strWhy; }
};
