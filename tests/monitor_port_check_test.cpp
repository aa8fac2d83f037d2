#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "ui/monitor_port_check.h"

namespace {

// A PC with the monitor's USB port at position 1-2.4 as ttyACM3 (COM61 by the rule) and a [ports]
// entry COM70 on a udev link.
class MonitorPortCheck : public ::testing::Test {
protected:
    MonitorPortCheck()
    {
        m_Dir.MakeDir("sys/bus/usb/devices/1-2.4:1.0/tty/ttyACM3");
        m_strAcm = m_Dir.Write("dev/ttyACM3", "");
        m_strLink = m_Dir.Path() + "/dev/tovar-link";
        m_Map.AddEntry(70, m_strLink);
    }

    std::string Run(const std::vector<MonitorPortUse>& uses)
    {
        CMonitorPortPath path([&](int nPort) { return nPort == 61 ? m_strAcm : m_Map.PathForPort(nPort); },
                              m_Dir.Path() + "/sys", m_Dir.Path() + "/dev");
        m_Devices.clear();
        m_Report = CCheckReport();
        CheckMonitorPorts(uses, m_Map, path, m_Devices, m_Report);
        return m_Report.Text();
    }

    CTempDir m_Dir;
    CComPortMap m_Map;
    std::string m_strAcm, m_strLink;
    std::vector<std::string> m_Devices;
    CCheckReport m_Report;
};

}  // namespace

TEST_F(MonitorPortCheck, NamesTheKindAndPresenceAnAbsentPortIsANote)
{
    EXPECT_EQ(Run({{"slot1", "usb:1-2.4"}, {"slot2", "usb:1-2.5"}, {"", "COM70"}, {"", "ttyACM0"}}),
              "PASS  slot1 monitor-port usb:1-2.4: a USB position, present now: " + m_strAcm + "\n"
              "NOTE  slot2 monitor-port usb:1-2.5: a USB position, not present now: it appears only while a board "
              "sits in its ROM monitor\n"
              "NOTE  monitor-port COM70: a COM name, not present now: it appears only while a board sits in its ROM "
              "monitor\n"
              "FAIL  monitor-port ttyACM0: not a name COM1 to COM99, a device path or usb:<bus>-<port path>\n");
    EXPECT_EQ(m_Devices, std::vector<std::string>{m_strAcm});
    EXPECT_NE(m_Report.Json().find("\"note\": true"), std::string::npos);
    Run({{"slot2", "usb:1-2.5"}});
    EXPECT_TRUE(m_Report.AllPassed());  // a note is no failure
}

TEST_F(MonitorPortCheck, TwoSlotsOnOneDeviceFailUnderAnyOfItsNames)
{
    // A COM name and the path of its [ports] entry; the position and the COM name of its device now.
    EXPECT_NE(Run({{"slot1", "COM70"}, {"slot2", m_strLink}}).find(
                  "FAIL  slot2 monitor-port " + m_strLink + ": the same device as slot1's monitor-port COM70"),
              std::string::npos);
    EXPECT_NE(Run({{"slot1", "usb:1-2.4"}, {"slot3", "COM61"}}).find(
                  "FAIL  slot3 monitor-port COM61: the same device as slot1's monitor-port usb:1-2.4"),
              std::string::npos);
    // The window may offer a slot's port: it runs one board at a time.
    Run({{"slot1", "usb:1-2.4"}, {"", "COM61"}});
    EXPECT_TRUE(m_Report.AllPassed()) << m_Report.Text();
}
