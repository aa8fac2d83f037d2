#pragma once
#include "station/serial_setup_probe.h"

// The probe of this machine: credentials, the group database, /proc and the file system.
class CSystemSerialSetupProbe : public ISerialSetupProbe {
public:
    bool IsRoot() const override;
    std::string UserName() const override;
    bool HoldsGroup(const std::string& strGroup) const override;
    bool ListedInGroup(const std::string& strGroup) const override;
    bool IsRunning(const std::string& strProgram) const override;
    bool Exists(const std::string& strPath) const override;
    bool IsPseudoTerminal(const std::string& strPath) const override;
};
