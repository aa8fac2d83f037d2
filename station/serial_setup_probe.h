#pragma once
#include <string>

// What the machine says about its serial set-up: the user's groups, the programs running, the
// files present. The checks of tovar check ask through this, so tests give the answers.
class ISerialSetupProbe {
public:
    virtual ~ISerialSetupProbe() = default;
    virtual bool IsRoot() const = 0;
    virtual std::string UserName() const = 0;
    // This process holds the group (primary or supplementary).
    virtual bool HoldsGroup(const std::string& strGroup) const = 0;
    // The user is a member in the group database (from the next login on, if not held yet).
    virtual bool ListedInGroup(const std::string& strGroup) const = 0;
    // A process with this name runs on the machine.
    virtual bool IsRunning(const std::string& strProgram) const = 0;
    virtual bool Exists(const std::string& strPath) const = 0;
    // The device is a pseudo-terminal (such as a virtual board's), whatever link names it.
    virtual bool IsPseudoTerminal(const std::string& strPath) const = 0;
};
