#pragma once
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "line/gang_observer.h"
#include "record/line_counts.h"

// What a gang front end asks of the station, on the front end's own thread: the slots it has,
// and each slot started and stopped by itself, again after it ended.
class IGangControl {
public:
    virtual ~IGangControl() = default;
    // Each planned slot's number and port as configured, in the order of tovar.cfg.
    virtual std::vector<std::pair<int, std::string>> PlannedSlots() const = 0;
    // Slot nSlot takes its next board; with bLoop the boards after it too, until stopped. False,
    // with strWhy, for an unknown slot or one still running.
    virtual bool StartSlot(int nSlot, bool bLoop, std::string& strWhy) = 0;
    // The slot's running job stops (recorded as stopped) and it takes no more boards.
    virtual bool StopSlot(int nSlot) = 0;
    virtual void Stop() = 0;
    // True once every started slot has ended, waiting at most nMs.
    virtual bool WaitEnded(int nMs) = 0;
    // False when slot nSlot's port is missing or cannot be opened now (for an idle slot's tile).
    virtual bool SlotPortUsable(int nSlot) const { (void)nSlot; return true; }
    // The bound of the wait for the boot loader's console, in seconds (0: none).
    virtual int ConsoleBoundS() const { return 0; }
    // The station's counts of the shift going on, from the record (false: there is none, or it
    // does not answer within its time limit).
    virtual bool ShiftCounts(LineCounts& counts) { (void)counts; return false; }
};

// Makes the station a front end drives, reporting to the front end's observer.
using GangControlFactory = std::function<std::unique_ptr<IGangControl>(IGangObserver& observer)>;
