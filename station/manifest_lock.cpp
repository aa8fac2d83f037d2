#include "station/manifest_lock.h"

#include <unistd.h>

#include <utility>

CManifestLock::~CManifestLock()
{
    Release();
}

CManifestLock::CManifestLock(CManifestLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

CManifestLock& CManifestLock::operator=(CManifestLock&& other) noexcept
{
    if (this != &other) {
        Release();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

void CManifestLock::Release()
{
    // close() releases the flock even when it reports an error, so it is not retried.
    if (m_fd >= 0)
        close(std::exchange(m_fd, -1));
}
