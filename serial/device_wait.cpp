#include "serial/device_wait.h"

#include <poll.h>

#include <algorithm>

#ifdef TOVAR_HAVE_LIBUDEV
#include <libudev.h>
#endif

CDeviceWait::CDeviceWait(IClock& clock, const std::atomic<int>* pCancel, int nPollMs, bool bEvents)
    : m_clock(clock), m_pCancel(pCancel), m_nPollMs(std::max(nPollMs, 1))
{
#ifdef TOVAR_HAVE_LIBUDEV
    if (!bEvents)
        return;
    m_pUdev = udev_new();
    if (m_pUdev)
        m_pMonitor = udev_monitor_new_from_netlink(m_pUdev, "udev");
    if (m_pMonitor && (udev_monitor_filter_add_match_subsystem_devtype(m_pMonitor, "tty", nullptr) < 0 ||
                       udev_monitor_enable_receiving(m_pMonitor) < 0)) {
        udev_monitor_unref(m_pMonitor);
        m_pMonitor = nullptr;
    }
#else
    (void)bEvents;
#endif
}

CDeviceWait::~CDeviceWait()
{
#ifdef TOVAR_HAVE_LIBUDEV
    if (m_pMonitor)
        udev_monitor_unref(m_pMonitor);
    if (m_pUdev)
        udev_unref(m_pUdev);
#endif
}

void CDeviceWait::Pause(int nMs)
{
#ifdef TOVAR_HAVE_LIBUDEV
    if (m_pMonitor) {
        pollfd pfd {udev_monitor_get_fd(m_pMonitor), POLLIN, 0};
        if (::poll(&pfd, 1, nMs) > 0) {
            // Every event only wakes the look; what it says is read from the device's path.
            while (udev_device* pDevice = udev_monitor_receive_device(m_pMonitor))
                udev_device_unref(pDevice);
        }
        return;
    }
#endif
    m_clock.SleepMs(nMs);
}

CDeviceWait::Result CDeviceWait::Wait(const std::function<std::string()>& fnFind, int nWaitMs, std::string& strPath)
{
    const uint64_t nDeadline = m_clock.NowMs() + static_cast<uint64_t>(std::max(nWaitMs, 0));
    for (;;) {
        if (m_pCancel && m_pCancel->load())
            return WAIT_CANCELLED;
        strPath = fnFind ? fnFind() : std::string();
        if (!strPath.empty())
            return WAIT_FOUND;
        const uint64_t nNow = m_clock.NowMs();
        if (nNow >= nDeadline)
            return WAIT_TIMEOUT;
        Pause(static_cast<int>(std::min<uint64_t>(nDeadline - nNow, static_cast<uint64_t>(m_nPollMs))));
    }
}
