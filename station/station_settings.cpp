#include "station/station_settings.h"

std::string JobLogDir(const StationSettings& station)
{
    return station.strLogDir.empty() ? station.strWorkDir + "/logs" : station.strLogDir;
}

TransferSettings TransferOf(const StationSettings& station)
{
    TransferSettings transfer;
    if (!station.strBoardIp.empty())
        transfer.strBoardIp = station.strBoardIp;
    transfer.nBoardPort = station.nBoardPort;
    transfer.nLocalPort = station.nLocalPort;
    transfer.nSettleMs = station.nSettleMs;
    transfer.nReplyTimeoutMs = station.nReplyTimeoutMs;
    transfer.nStoreTimeoutMs = station.nStoreTimeoutMs;
    transfer.nTries = station.nTries;
    transfer.strBind = station.strBind;
    return transfer;
}
