#include <gtest/gtest.h>

#include <set>

#include "ui/serial_setup_check.h"

namespace {

// A machine as a test describes it.
class CFakeSetupProbe : public ISerialSetupProbe {
public:
    bool IsRoot() const override { return bRoot; }
    std::string UserName() const override { return "alice"; }
    bool HoldsGroup(const std::string& strGroup) const override { return held.count(strGroup) > 0; }
    bool ListedInGroup(const std::string& strGroup) const override { return listed.count(strGroup) > 0; }
    bool IsRunning(const std::string& strProgram) const override { return running.count(strProgram) > 0; }
    bool Exists(const std::string& strPath) const override { return files.count(strPath) > 0; }
    bool IsPseudoTerminal(const std::string& strPath) const override { return strPath.rfind("/dev/pts/", 0) == 0; }

    bool bRoot = false;
    std::set<std::string> held, listed, running, files;
};

class SerialSetupCheck : public ::testing::Test {
protected:
    // The report's line for one check, "PASS  name: detail".
    std::string Line(const std::vector<std::string>& devices, const std::string& strName)
    {
        CCheckReport report;
        CheckSerialSetup(m_Probe, devices, report);
        const std::string strText = report.Text();
        const size_t nAt = strText.find("  " + strName + ": ");
        return nAt == std::string::npos ? "" : strText.substr(nAt - 4, strText.find('\n', nAt) - nAt + 4);
    }

    CFakeSetupProbe m_Probe;
    const std::vector<std::string> m_usb = {"/dev/pts/3", "/dev/ttyACM0"};
};

}  // namespace

TEST_F(SerialSetupCheck, AUserOutsideDialoutIsToldTheCommandOnlyWhenARealDeviceIsUsed)
{
    EXPECT_EQ(Line(m_usb, "serial access"),
              "FAIL  serial access: user alice is not in dialout and cannot open /dev/ttyACM0; "
              "mend: sudo usermod -aG dialout alice (then log in again)");
    EXPECT_EQ(Line({"/dev/pts/3"}, "serial access").substr(0, 4), "PASS");
    m_Probe.listed.insert("dialout");
    EXPECT_EQ(Line(m_usb, "serial access"),
              "FAIL  serial access: user alice is in dialout from the next login on; mend: log out and in again");
    m_Probe.held.insert("dialout");
    EXPECT_EQ(Line(m_usb, "serial access"), "PASS  serial access: user alice is in dialout");
    m_Probe.held.clear();
    m_Probe.bRoot = true;
    EXPECT_EQ(Line(m_usb, "serial access"), "PASS  serial access: root opens every serial device");
}

TEST_F(SerialSetupCheck, TheMissingRuleFailsForARealDeviceAndIsFoundInAnyRulesFolder)
{
    EXPECT_EQ(Line(m_usb, "udev rule").substr(0, 4), "FAIL");
    EXPECT_NE(Line(m_usb, "udev rule").find("mend: sudo apt-get install --reinstall ./tovar_*.deb"), std::string::npos);
    EXPECT_EQ(Line({}, "udev rule"),
              "PASS  udev rule: no 60-tovar.rules in /usr/lib/udev/rules.d; no serial device is checked");
    m_Probe.files.insert("/lib/udev/rules.d/60-tovar.rules");
    EXPECT_EQ(Line(m_usb, "udev rule"), "PASS  udev rule: /lib/udev/rules.d/60-tovar.rules");
    m_Probe.files.insert("/etc/udev/rules.d/60-tovar.rules");
    EXPECT_EQ(Line(m_usb, "udev rule"), "PASS  udev rule: /etc/udev/rules.d/60-tovar.rules");
}

TEST_F(SerialSetupCheck, ModemManagerFailsOnlyWhenItRunsWithoutTheRule)
{
    EXPECT_EQ(Line(m_usb, "ModemManager"), "PASS  ModemManager: not running");
    m_Probe.running.insert("ModemManager");
    EXPECT_EQ(Line(m_usb, "ModemManager"),
              "FAIL  ModemManager: running without the udev rule, it may hold /dev/ttyACM0 for seconds as a board "
              "comes up; mend: sudo systemctl disable --now ModemManager");
    EXPECT_EQ(Line({"/dev/pts/3"}, "ModemManager"),
              "PASS  ModemManager: running without the udev rule; the ports checked are pseudo-terminals");
    m_Probe.files.insert("/usr/lib/udev/rules.d/60-tovar.rules");
    EXPECT_EQ(Line(m_usb, "ModemManager").substr(0, 4), "PASS");
}
