#pragma once
#include <string>

// What the image transfer needs from its owner: the log pane, the three buttons and the progress
// bar. Called on the transfer's thread; the owner passes the calls on to its window thread.
class ITransferHost {
public:
    virtual ~ITransferHost() = default;
    // Appends text (UTF-8, lines end in "\r\n") at the end of the log.
    virtual void AppendLog(const std::string& strText) = 0;
    // Enables the download, Exit and Stop buttons, in that order. Only at the end of a full run.
    virtual void EnableButtons() = 0;
    // Share of the run's bytes acknowledged, 0 to 100; a few times a second at most.
    virtual void SetProgress(int nPercent) { (void)nPercent; }
};
