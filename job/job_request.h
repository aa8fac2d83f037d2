#pragma once
#include <string>
#include <vector>

#include "job/job_result.h"
#include "net/image_transfer.h"
#include "serial/com_port_map.h"

// One board's job, fixed when the operator presses the button.
struct JobRequest {
    JobIdentity identity;
    std::string strStation;
    std::string strDevice;             // the boot monitor's name of the port ("COM5")
    ComPortEntry port;                 // the same port as {number, device path}
    std::string strMonitorPort;        // the boot monitor's USB port (COMn, a path, usb:<bus>-<ports>);
                                       // empty: the monitor is on port, as the console is
    int nMonitorWaitMs = 10000;        // how long the bring-up waits for that port to appear
    std::string strWorkDir;            // the board files are found below it
    std::vector<TransferImage> images; // the selected files, in order
    int nConfiguredImages = 0;         // the files the configuration names; more than images: partial
    TransferSettings transfer;
    bool bBringUp = true;              // false: the boot loader already runs; only the transfer
    int nConsoleTimeoutMs = 0;         // 0: the console phase waits until stopped
    int nConsoleFallbackMs = 60000;    // console wait after a bring-up that broke off (0: none), then it fails
    std::string strEarlierLog;         // the board's log lines before its job started (for its log file)
};
