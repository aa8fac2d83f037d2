#pragma once
#include <cstdint>

// Serial line settings: the four members the console sets for its port.
struct DCB {
    uint32_t BaudRate = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;    // 0 = none
    uint8_t StopBits = 0;  // 0 = one stop bit
};
