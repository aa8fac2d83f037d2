#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "serial/com_port_map.h"
#include "serial/com_port_scan.h"

namespace fs = std::filesystem;

namespace {

// A fake /dev and /sys/class/tty in a temporary folder.
class ComPortMapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char szDir[] = "/tmp/tovar_ports_XXXXXX";
        ASSERT_NE(mkdtemp(szDir), nullptr);
        m_Root = szDir;
        fs::create_directories(m_Root / "dev");
        fs::create_directories(m_Root / "sys");
        m_Map.SetRoots(Dev(), (m_Root / "sys").string());
    }
    void TearDown() override { fs::remove_all(m_Root); }

    std::string Dev() const { return (m_Root / "dev").string(); }
    std::string DevPath(const std::string& strName) const { return Dev() + "/" + strName; }

    void AddDevice(const std::string& strName) { std::ofstream(DevPath(strName)).put('\0'); }
    void RemoveDevice(const std::string& strName) { fs::remove(DevPath(strName)); }

    // A ttyS node with its sysfs entry; nType < 0 leaves the "type" attribute out.
    void AddUart(int n, int nType, bool bDriver = true)
    {
        const std::string strName = "ttyS" + std::to_string(n);
        AddDevice(strName);
        fs::path sys = m_Root / "sys" / strName;
        fs::create_directories(bDriver ? sys / "device" / "driver" : sys / "device");
        if (nType >= 0)
            std::ofstream(sys / "type") << nType << "\n";
    }

    std::vector<std::pair<int, std::string>> Listed() const
    {
        std::vector<std::pair<int, std::string>> listed;
        for (const ComPortEntry& entry : m_Map.ListPorts())
            listed.emplace_back(entry.nPort, entry.strPath);
        return listed;
    }

    fs::path m_Root;
    CComPortMap m_Map;
};

using Listing = std::vector<std::pair<int, std::string>>;

} // namespace

TEST_F(ComPortMapTest, NumbersDevicesByTheFixedRule)
{
    AddUart(0, 4);
    AddUart(1, 0);              // node without a UART behind it
    AddUart(2, 4, false);       // no driver bound
    AddUart(4, -1);             // driver, no type attribute
    AddUart(19, 4);
    AddUart(20, 4);             // past the ttyS range
    AddDevice("ttyUSB0");
    AddDevice("ttyUSB3");
    AddDevice("ttyUSB39");
    AddDevice("ttyUSB40");
    AddDevice("ttyACM0");
    AddDevice("ttyACM38");
    AddDevice("ttyACM39");
    AddDevice("ttyUSB01");      // leading zero: would collide with ttyUSB1
    AddDevice("ttyUSBx");
    AddDevice("tty0");
    AddDevice("ttyAMA0");

    const Listing expected = {
        {1, DevPath("ttyS0")},    {5, DevPath("ttyS4")},     {20, DevPath("ttyS19")},
        {21, DevPath("ttyUSB0")}, {24, DevPath("ttyUSB3")},  {60, DevPath("ttyUSB39")},
        {61, DevPath("ttyACM0")}, {99, DevPath("ttyACM38")},
    };
    EXPECT_EQ(Listed(), expected);
    for (const auto& [nPort, strPath] : expected)
        EXPECT_EQ(m_Map.PathForPort(nPort), strPath);
    for (int nPort : {-1, 0, 2, 3, 22, 62, 100, 101})
        EXPECT_EQ(m_Map.PathForPort(nPort), "") << nPort;
}

TEST_F(ComPortMapTest, NumbersStayPutWhenDevicesComeAndGo)
{
    AddDevice("ttyUSB0");
    AddDevice("ttyUSB1");
    AddDevice("ttyACM2");
    const Listing before = Listed();
    EXPECT_EQ(Listed(), before);

    RemoveDevice("ttyUSB0");
    AddDevice("ttyACM0");
    const Listing after = {{22, DevPath("ttyUSB1")}, {61, DevPath("ttyACM0")}, {63, DevPath("ttyACM2")}};
    EXPECT_EQ(Listed(), after);
    EXPECT_EQ(m_Map.PathForPort(21), "");
}

TEST_F(ComPortMapTest, EveryPossibleDeviceGetsADistinctNumberUpTo99)
{
    for (int n = 0; n < 64; n++) {
        AddUart(n, 4);
        AddDevice("ttyUSB" + std::to_string(n));
        AddDevice("ttyACM" + std::to_string(n));
    }
    std::set<int> seen;
    for (const auto& [nPort, strPath] : Listed()) {
        EXPECT_TRUE(seen.insert(nPort).second) << nPort;
        EXPECT_GE(nPort, 1);
        EXPECT_LE(nPort, 99);
        EXPECT_EQ(m_Map.PathForPort(nPort), strPath);
    }
    EXPECT_EQ(seen.size(), 99u);
}

TEST_F(ComPortMapTest, ExplicitEntriesWinOverTheRule)
{
    AddUart(2, 4);
    AddDevice("ttyUSB0");
    AddDevice("ttyUSB3");
    AddDevice("ttyACM0");
    fs::create_directories(m_Root / "by-id");
    fs::create_symlink("../dev/ttyUSB0", m_Root / "by-id" / "usb-adapter");
    const std::string strLink = (m_Root / "by-id" / "usb-adapter").string();

    EXPECT_EQ(m_Map.AddEntries({{" com3 ", "ttyUSB3"},          // bare name: under the device root
                                {"COM21", DevPath("ttyACM0")},  // takes the rule's number of ttyUSB0
                                {"COM7", strLink},              // a link to ttyUSB0
                                {"COM50", "/nonexistent/ttyX"}}),
              4);

    const Listing expected = {{3, DevPath("ttyUSB3")}, {7, strLink}, {21, DevPath("ttyACM0")}};
    EXPECT_EQ(Listed(), expected);  // ttyS2 lost COM3; no device appears twice
    EXPECT_EQ(m_Map.PathForPort(3), DevPath("ttyUSB3"));
    EXPECT_EQ(m_Map.PathForPort(24), "");
    EXPECT_EQ(m_Map.PathForPort(61), "");
    EXPECT_EQ(m_Map.PathForPort(50), "/nonexistent/ttyX");  // named, so opened and refused there
}

TEST_F(ComPortMapTest, RefusesBadEntries)
{
    EXPECT_TRUE(m_Map.AddEntry("COM3", "/dev/ttyUSB0"));
    EXPECT_FALSE(m_Map.AddEntry("com3", "/dev/ttyUSB1"));  // first one stays
    for (const char* szKey : {"COM0", "COM100", "COM", "COM07", "COM1x", "LPT1", "", "COM-1", "COM 4"})
        EXPECT_FALSE(m_Map.AddEntry(szKey, "/dev/ttyUSB2")) << szKey;
    EXPECT_FALSE(m_Map.AddEntry("COM4", "  "));
    EXPECT_TRUE(m_Map.AddEntry(99, "/dev/ttyACM0"));
    EXPECT_FALSE(m_Map.AddEntry(100, "/dev/ttyACM1"));
    EXPECT_EQ(m_Map.Entries().size(), 2u);
    EXPECT_EQ(m_Map.PathForPort(3), "/dev/ttyUSB0");

    EXPECT_EQ(CComPortMap::PortFromName("\tcom12 "), 12);
    EXPECT_EQ(CComPortMap::PortFromName("COM123"), 0);
}

TEST_F(ComPortMapTest, FormatsSelectorEntriesAndScanReport)
{
    EXPECT_EQ(FormatScan(m_Map), "no serial devices found\n");
    AddDevice("ttyUSB0");
    AddUart(0, 4);
    EXPECT_EQ(FormatScan(m_Map), "COM1  " + DevPath("ttyS0") + "\nCOM21  " + DevPath("ttyUSB0") + "\n");
    EXPECT_EQ(CComPortMap::FormatEntry({3, "/dev/ttyUSB0"}), "COM3 (/dev/ttyUSB0)");
}

TEST(ComPortMapDefault, MissingDeviceRootListsNothing)
{
    CComPortMap map;
    map.SetRoots("/nonexistent/dev", "/nonexistent/sys");
    EXPECT_TRUE(map.ListPorts().empty());
    EXPECT_EQ(map.PathForPort(1), "");
}

TEST(ComPortMapNames, ParsesTheSelectorsEntryText)
{
    ComPortEntry entry;
    ASSERT_TRUE(CComPortMap::ParseEntry(CComPortMap::FormatEntry({12, "/dev/ttyUSB0"}), entry));
    EXPECT_EQ(entry.nPort, 12);
    EXPECT_EQ(entry.strPath, "/dev/ttyUSB0");
    ASSERT_TRUE(CComPortMap::ParseEntry("com7", entry));
    EXPECT_EQ(entry.nPort, 7);
    EXPECT_EQ(entry.strPath, "");
    ASSERT_TRUE(CComPortMap::ParseEntry("COM3 (/dev/very/long/pa", entry));  // cut to the selector's width
    EXPECT_EQ(entry.strPath, "/dev/very/long/pa");
    for (const char* szText : {"COM", "TTY3", "COM123", "COM7x", "COM7 junk", ""})
        EXPECT_FALSE(CComPortMap::ParseEntry(szText, entry)) << szText;
}
