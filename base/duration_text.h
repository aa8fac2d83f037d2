#pragma once
#include <cstdint>
#include <string>

// A span of whole seconds as a clock shows it: "m:ss" below an hour, "h:mm:ss" from an hour on.
// nMinuteDigits pads the minutes below an hour ("05:07" with 2, "5:07" with 1).
std::string DurationText(int64_t nSeconds, int nMinuteDigits);
