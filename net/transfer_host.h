#pragma once
#include <string>

#include "net/transfer_image.h"

// What the image transfer reports to its owner, on the transfer's thread.
class ITransferHost {
public:
    virtual ~ITransferHost() = default;
    // Appends text (UTF-8, lines end in "\r\n") at the end of the log.
    virtual void AppendLog(const std::string& strText) = 0;
    // Lines for the detailed log only (resends, time-outs, ignored datagrams).
    virtual void AppendDetail(const std::string& strText) { (void)strText; }
    virtual void OnProgress(const TransferProgress& progress) { (void)progress; }
};
