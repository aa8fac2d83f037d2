#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "record/identity_guard.h"

// Keeps the holds of running jobs alive: every interval each claim is renewed through fnRenew.
// A claim that the record says is no longer held is marked lost; one the record could not be
// asked about is tried again at the next interval. Its own thread; Remove tells whether a claim
// was lost while it ran.
class CHoldRenewer {
public:
    // fnRenew: true when the record answered, with bHeld whether the claim still holds its values.
    using RenewFn = std::function<bool(const IdentityClaim& claim, bool& bHeld)>;

    CHoldRenewer(RenewFn fnRenew, int64_t nIntervalMs);
    ~CHoldRenewer();
    CHoldRenewer(const CHoldRenewer&) = delete;
    CHoldRenewer& operator=(const CHoldRenewer&) = delete;

    void Add(const IdentityClaim& claim);
    // Ends the renewal of a claim; true when it was lost while its job ran.
    bool Remove(const IdentityClaim& claim);

private:
    void Run();

    RenewFn m_fnRenew;
    int64_t m_nIntervalMs;
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    std::map<std::string, std::pair<IdentityClaim, bool>> m_Claims;   // token: claim, lost
    bool m_bQuit = false;
    std::thread m_Thread;
};
