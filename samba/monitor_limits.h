#pragma once

// Time limits of the serial boot-monitor protocol, in milliseconds unless said otherwise.
struct MonitorLimits {
    int nDrainQuietMs = 30;     // a drain ends once the line has been quiet this long
    int nDrainMaxMs = 300;      // ...or after this long in all (a chattering line)
    int nConnectMs = 300;       // the answer to N# at connect
    int nReplyMs = 200;         // the 1, 2 or 4 bytes of a read
    int nWriteMs = 1000;        // handing one command or packet to the line
    int nXmodemStartMs = 8000;  // the receiver's first C
    int nXmodemAckMs = 1000;    // the answer to a packet or EOT; also the byte wait when receiving
    int nXmodemRetries = 10;    // NAKs taken for one packet before giving up
    int nJumpAckMs = 5000;      // the applet's 0x06 after G (applets set up clocks and RAM)
};
