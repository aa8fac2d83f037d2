#include "ui/serial_setup_check.h"

namespace {

constexpr char kGroup[] = "dialout";
constexpr char kModemManager[] = "ModemManager";

}  // namespace

const std::vector<std::string>& UdevRuleFolders()
{
    static const std::vector<std::string> folders = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d",
                                                     "/lib/udev/rules.d"};
    return folders;
}

void CheckSerialSetup(const ISerialSetupProbe& probe, const std::vector<std::string>& devices, CCheckReport& report)
{
    std::string strDevice;   // the first serial device that is no pseudo-terminal
    for (const std::string& strPath : devices)
        if (!probe.IsPseudoTerminal(strPath)) {
            strDevice = strPath;
            break;
        }
    const bool bNeeded = !strDevice.empty();
    const std::string strNotNeeded = devices.empty() ? "no serial device is checked" : "the ports checked are pseudo-terminals";

    const std::string strUser = probe.UserName();
    const std::string strAddUser = "sudo usermod -aG " + std::string(kGroup) + " " + strUser;
    if (probe.IsRoot())
        report.Add("serial access", true, "root opens every serial device");
    else if (probe.HoldsGroup(kGroup))
        report.Add("serial access", true, "user " + strUser + " is in " + kGroup);
    else if (probe.ListedInGroup(kGroup))
        report.Add("serial access", !bNeeded,
                   "user " + strUser + " is in " + kGroup + " from the next login on; mend: log out and in again");
    else if (bNeeded)
        report.Add("serial access", false,
                   "user " + strUser + " is not in " + kGroup + " and cannot open " + strDevice + "; mend: " +
                       strAddUser + " (then log in again)");
    else
        report.Add("serial access", true,
                   strNotNeeded + " (user " + strUser + " is not in " + kGroup + ", for serial devices: " + strAddUser + ")");

    std::string strRule;
    for (const std::string& strFolder : UdevRuleFolders())
        if (probe.Exists(strFolder + "/" + TOVAR_UDEV_RULE)) {
            strRule = strFolder + "/" + TOVAR_UDEV_RULE;
            break;
        }
    const std::string strInstall = "sudo apt-get install --reinstall ./tovar_*.deb (in the package's folder)";
    if (!strRule.empty())
        report.Add("udev rule", true, strRule);
    else
        report.Add("udev rule", !bNeeded,
                   "no " + std::string(TOVAR_UDEV_RULE) + " in " + UdevRuleFolders()[2] +
                       (bNeeded ? "; without it ModemManager may open the boot monitor's port and /dev/tovar/ has "
                                  "no links; mend: " + strInstall
                                : "; " + strNotNeeded));

    if (!probe.IsRunning(kModemManager))
        report.Add(kModemManager, true, "not running");
    else if (!strRule.empty())
        report.Add(kModemManager, true, "running; the udev rule keeps it off the boot monitor and the adapters");
    else
        report.Add(kModemManager, !bNeeded,
                   "running without the udev rule" +
                       (bNeeded ? ", it may hold " + strDevice + " for seconds as a board comes up; mend: "
                                  "sudo systemctl disable --now ModemManager"
                                : "; " + strNotNeeded));
}
