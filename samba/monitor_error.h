#pragma once
#include <cstdint>

// Error words of the serial boot-monitor backend; 0 is success. Each cause has its own word, so a
// log line or a test can tell a silent board from a garbled answer or a lost line.
constexpr int32_t MON_ERR_BAD_HANDLE = 0x7E000001;        // no open device has this handle
constexpr int32_t MON_ERR_TIMEOUT = 0x7E000002;           // the monitor did not answer in time
constexpr int32_t MON_ERR_BAD_ANSWER = 0x7E000003;        // the answer is not what the protocol expects
constexpr int32_t MON_ERR_LINE_LOST = 0x7E000004;         // the line failed or was hung up
constexpr int32_t MON_ERR_CANCELLED = 0x7E000005;         // the cancel flag ended the wait
constexpr int32_t MON_ERR_MONITOR_AREA = 0x7E000006;      // the block (with padding) would reach 0x306000..0x307FFF
constexpr int32_t MON_ERR_BAD_ARGUMENT = 0x7E000007;      // negative size or missing buffer
constexpr int32_t MON_ERR_TOO_MANY_NAKS = 0x7E000008;     // XMODEM: a block was refused too often
constexpr int32_t MON_ERR_XMODEM_CANCELLED = 0x7E000009;  // XMODEM: the board cancelled the transfer
constexpr int32_t MON_ERR_NO_DEVICE = 0x7E00000A;         // the name maps to no device, or it cannot be opened

// A short English description of an error word, for log lines and messages.
const char* MonitorErrorText(int32_t nError);
