#pragma once
#include <string>

#include "net/image_transfer.h"
#include "net/transfer_frame.h"
#include "serial/com_port_map.h"

// A station's settings: its working folder, the transfer's endpoints and time limits, its record
// and its log folder, and its port map. Plain values; tovar.cfg and the command line fill them.
struct StationSettings {
    std::string strWorkDir = ".";
    std::string strBoardIp = BOARD_IP;
    int nBoardPort = 1000;
    int nLocalPort = 1000;
    int nSettleMs = 10000;
    int nReplyTimeoutMs = 500;
    int nStoreTimeoutMs = 60000;
    int nTries = 5;
    int nConsoleTimeoutS = 60;     // the console wait after a bring-up that broke off
    std::string strMonitorPort;    // the boot monitor's USB port (COMn, a path, usb:<bus>-<ports>); empty: on the board's port
    int nMonitorWaitS = 10;        // how long a bring-up waits for that port to appear
    std::string strBind;           // empty: all interfaces; an interface name or a local IPv4 address
    std::string strPortsFile;
    std::string strLogDir;         // the boards' log files; empty: logs/ in the working folder
    CComPortMap portMap;           // the station's [ports] map
    std::string strRecord;         // the production record: postgresql://... or an SQLite file; empty: tovar.db
    bool bNoRecord = false;
    std::string strStation;        // empty: the host name
    int nHoldMinutes = 30;
    int nRecordTimeoutMs = 5000;   // the bound of each call to the record
    std::string strToolVersion;    // version and commit of this program, "1.0 (commit ...)"
    int nSlotAlarm = 0;            // [line] slot-alarm: a gang slot stops after this many failures in a row (0: never)
    // [line]: the line view's and the heartbeat's settings.
    std::string strShifts;         // shift starts, local "08:00,20:00"; empty: one shift a day from midnight
    int nPoolWarn = 500;           // a pool with fewer values left is shown as a warning
    int nHeartbeatS = 3;           // a station writes its heartbeat this often
    int nOfflineS = 15;            // a station unheard for longer is offline
    int nStuckS = 120;             // a running slot whose stage and percent stand still longer is stuck
    std::string strEngineerPin;    // [line] engineer-pin: the salted digest (engineer_pin.h); empty: no lock
};

// The folder of the boards' log files: strLogDir, or logs/ in the working folder.
std::string JobLogDir(const StationSettings& station);

// The image transfer's endpoints and time limits.
TransferSettings TransferOf(const StationSettings& station);
