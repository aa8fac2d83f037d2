#pragma once

// Holds the exclusive flock on a working folder's ins.txt: the open descriptor that carries the
// lock. The lock lasts as long as the object (or what it was moved into) holds the descriptor;
// releasing closes it. Move-only.
class CManifestLock {
public:
    CManifestLock() = default;
    // Takes ownership of fd, which already holds the flock.
    explicit CManifestLock(int fd) : m_fd(fd) {}
    ~CManifestLock();
    CManifestLock(CManifestLock&& other) noexcept;
    CManifestLock& operator=(CManifestLock&& other) noexcept;
    CManifestLock(const CManifestLock&) = delete;
    CManifestLock& operator=(const CManifestLock&) = delete;

    bool IsHeld() const { return m_fd >= 0; }
    // Closes the descriptor and with it the lock; nothing when none is held.
    void Release();

private:
    int m_fd = -1;
};
