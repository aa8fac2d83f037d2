#pragma once
#include <string>
#include <vector>

#include "station/serial_setup_probe.h"
#include "ui/check_report.h"

// The udev rule the package installs, and the folders udev reads rules from (first wins).
constexpr char TOVAR_UDEV_RULE[] = "60-tovar.rules";
const std::vector<std::string>& UdevRuleFolders();

// The machine's serial set-up, for the serial devices a job would open (devices; pseudo-terminals
// such as a virtual board's need none of it): the user may open them (dialout), the package's udev
// rule is there, and ModemManager does not run without it. Each failure names the one command that
// mends it.
void CheckSerialSetup(const ISerialSetupProbe& probe, const std::vector<std::string>& devices, CCheckReport& report);
