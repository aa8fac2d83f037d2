#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/board_config.h"

// The boot loader's console on the serial line: every burst that holds a letter Y is answered with
// the banner, unless the console is silent or the burst is one of the first nAnswerAfter.
class CBoardConsole {
public:
    explicit CBoardConsole(const MonitorConfig& config) : m_config(config) {}

    // One burst: the bytes of one read from the line.
    void Receive(const uint8_t* pData, size_t nLength, std::string& strOut);
    int Bursts() const { return m_nBursts; }
    int Answers() const { return m_nAnswers; }

private:
    const MonitorConfig& m_config;
    int m_nBursts = 0;
    int m_nAnswers = 0;
};
