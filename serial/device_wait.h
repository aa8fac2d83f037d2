#pragma once
#include <atomic>
#include <functional>
#include <string>

#include "base/clock.h"

struct udev;
struct udev_monitor;

// Waits for a device to appear: fnFind gives its path now (empty while it is not there). Wakes on
// the kernel's tty events through libudev where the build has it and the system lets it listen;
// looks again every nPollMs in any case, as symbolic links and pseudo-terminals send no events.
// The deadline is on the given clock; the cancel flag ends the wait within one look.
class CDeviceWait {
public:
    enum Result { WAIT_FOUND, WAIT_TIMEOUT, WAIT_CANCELLED };
    static constexpr int DEFAULT_POLL_MS = 50;

    // bEvents false: only the periodic look, with the clock's sleeps (for tests on a fake clock).
    CDeviceWait(IClock& clock, const std::atomic<int>* pCancel, int nPollMs = DEFAULT_POLL_MS, bool bEvents = true);
    ~CDeviceWait();
    CDeviceWait(const CDeviceWait&) = delete;
    CDeviceWait& operator=(const CDeviceWait&) = delete;

    Result Wait(const std::function<std::string()>& fnFind, int nWaitMs, std::string& strPath);
    // True when tty events wake the wait.
    bool UsesEvents() const { return m_pMonitor != nullptr; }

private:
    // Returns after a tty event or nMs.
    void Pause(int nMs);

    IClock& m_clock;
    const std::atomic<int>* m_pCancel;
    int m_nPollMs;
    udev* m_pUdev = nullptr;
    udev_monitor* m_pMonitor = nullptr;
};
