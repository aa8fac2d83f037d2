#pragma once

// What a slot's port shows of a board.
enum class BoardPresence {
    Absent,   // no device at the port's path (a USB device that is unplugged)
    Silent,   // a device, but no boot monitor answers (no board, or one that booted its own software)
    Monitor,  // a board's boot monitor answers
};

// One look at a slot's port, bounded in time.
class IBoardProbe {
public:
    virtual ~IBoardProbe() = default;
    virtual BoardPresence Probe() = 0;
};
