#pragma once
#include <termios.h>

#include "serial/dcb.h"

// Puts the four line settings into tio and makes the line raw: no line editing, echo,
// signals, translation, software or CTS flow control; reads return what is there at once.
// Members it does not name (HUPCL, for one) keep their value. Returns false, leaving tio
// alone, for a rate without a standard speed code, ByteSize outside 5..8, Parity outside
// 0..4 (none, odd, even, mark, space) or StopBits other than 0 (one), 2 (two) and 1 (one
// and a half, which the line can do only with 5 data bits).
bool DcbToTermios(const DCB& settings, termios& tio);
// The same without the rate: the speed stays as it is (a USB CDC port, whose bytes run at the
// bus's own pace). BaudRate is not looked at.
bool DcbFramingToTermios(const DCB& settings, termios& tio);
