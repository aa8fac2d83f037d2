#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "job/job_result.h"

// Where a running job is and for how long: the stage in the operator's words, the time in it, and
// while the console is awaited the time left to its bound. Enter and End from any thread; Text
// from the window's.
class CStageClock {
public:
    // The console's bound in seconds (0: none); at the bound the text says what to check.
    void SetConsoleBoundS(int nBoundS) { m_nConsoleBoundS = nBoundS; }
    void Enter(JobStage stage, uint64_t nNowMs);
    void End();
    bool Running() const { return m_bRunning.load(); }
    // "控制台  0:42  还剩 18 秒"; empty when no job runs.
    std::string Text(uint64_t nNowMs) const;

    static const char* StageWord(JobStage stage);   // 准备, 启动, 控制台, 下载

private:
    std::atomic<int> m_nConsoleBoundS{0};
    std::atomic<int> m_eStage{0};
    std::atomic<uint64_t> m_nSinceMs{0};
    std::atomic<bool> m_bRunning{false};
};
