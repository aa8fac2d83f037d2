#pragma once
#include <chrono>
#include <functional>
#include <thread>

// Waits for another thread to make a condition true; bounded so a broken test fails instead of hanging.
inline bool WaitUntil(const std::function<bool()>& fnDone, int nTimeoutMs = 10000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (!fnDone()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}
