#include <gtest/gtest.h>

#include "station/station_slots.h"

namespace {

const std::string kFile = "/station/tovar.cfg";

// Parses a station file's text; the slots, or the error.
bool Parse(const std::string& strText, std::vector<StationSlot>& slots, std::string& strError)
{
    CIniReader reader("");
    reader.LoadText(strText.data(), strText.size());
    return ParseStationSlots(reader, kFile, slots, strError);
}

std::string ErrorOf(const std::string& strText)
{
    std::vector<StationSlot> slots;
    std::string strError;
    EXPECT_FALSE(Parse(strText, slots, strError)) << strText;
    return strError;
}

}  // namespace

TEST(StationSlots, EachSlotSetsItsOwnValuesAndSharesTheRest)
{
    std::vector<StationSlot> slots;
    std::string strError;
    ASSERT_TRUE(Parse("[net]\nsettle-ms=700\n[Slot3]\nport=/dev/serial/by-path/pci-0:1.2\nbind=eth2\n"
                      "[slot1]\nport=com4\nboard-ip=10.0.0.2\nboard-port=2000\nlocal-port=0\nsettle-ms=50\n",
                      slots, strError))
        << strError;
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[0].nSlot, 1);
    EXPECT_EQ(slots[1].nSlot, 3);
    EXPECT_EQ(slots[1].strPort, "/dev/serial/by-path/pci-0:1.2");
    EXPECT_EQ(slots[1].strBind, "eth2");

    StationSettings shared;
    shared.strBoardIp = "192.168.1.100";
    shared.nBoardPort = 1000;
    shared.nLocalPort = 1000;
    shared.nSettleMs = 700;
    StationSettings own = SlotOptions(shared, slots[0]);
    EXPECT_EQ(own.strBoardIp, "10.0.0.2");
    EXPECT_EQ(own.nBoardPort, 2000);
    EXPECT_EQ(own.nLocalPort, 0);
    EXPECT_EQ(own.nSettleMs, 50);
    StationSettings plain = SlotOptions(shared, slots[1]);
    EXPECT_EQ(plain.strBoardIp, "192.168.1.100");
    EXPECT_EQ(plain.nBoardPort, 1000);
    EXPECT_EQ(plain.nSettleMs, 700);
}

TEST(StationSlots, ABadValueIsNamedWithFileSectionKeyAndValue)
{
    EXPECT_EQ(ErrorOf("[slot2]\nport=COM3\nboard-port=abc\n"), kFile + ": [slot2] board-port=abc: not a whole number");
    EXPECT_EQ(ErrorOf("[slot2]\nport=COM3\nboard-port=70000\n").rfind(kFile + ": [slot2] board-port=70000: ", 0), 0u);
    EXPECT_EQ(ErrorOf("[slot2]\nport=COM3\nboard-ip=999.1.1.1\n").rfind(kFile + ": [slot2] board-ip=999.1.1.1: ", 0), 0u);
    EXPECT_EQ(ErrorOf("[slot1]\nport=ttyUSB0\n"),
              kFile + ": [slot1] port=ttyUSB0: not a name COM1 to COM99 or a device path");
    EXPECT_EQ(ErrorOf("[slot1]\nport=COM3\nspeed=9\n").rfind(kFile + ": [slot1] speed=9: unknown key", 0), 0u);
    EXPECT_EQ(ErrorOf("[slot0]\nport=COM3\n"), kFile + ": [slot0]: not a slot section slot1 to slot99");
}

TEST(StationSlots, EverySlotHasAPortOfItsOwn)
{
    EXPECT_EQ(ErrorOf("[slot1]\nboard-port=1000\n"), kFile + ": [slot1]: no port (port=COMn or a device path)");
    EXPECT_EQ(ErrorOf("[slot1]\nport=COM3\n[slot2]\nport=com3\n"),
              kFile + ": [slot2] port=com3: also the port of [slot1]");
}

// A slot's monitor port is its own: a valid name, not its console's port, no other slot's port.
TEST(StationSlots, AMonitorPortIsASlotsOwnAndReachesItsOptions)
{
    std::vector<StationSlot> slots;
    std::string strError;
    ASSERT_TRUE(Parse("[slot1]\nport=COM3\nmonitor-port=usb:1-2.4\n[slot2]\nport=COM4\n", slots, strError)) << strError;
    EXPECT_EQ(SlotOptions(StationSettings(), slots[0]).strMonitorPort, "usb:1-2.4");
    EXPECT_EQ(SlotOptions(StationSettings(), slots[1]).strMonitorPort, "");
    EXPECT_EQ(ErrorOf("[slot1]\nport=COM3\nmonitor-port=usb:1\n"),
              kFile + ": [slot1] monitor-port=usb:1: not a name COM1 to COM99, a device path or usb:<bus>-<port path>");
    EXPECT_EQ(ErrorOf("[slot1]\nport=COM3\nmonitor-port=com3\n"),
              kFile + ": [slot1] monitor-port=com3: the same as port=, which carries the console");
    EXPECT_EQ(ErrorOf("[slot1]\nport=COM3\nmonitor-port=COM61\n[slot2]\nport=COM4\nmonitor-port=COM61\n"),
              kFile + ": [slot2] monitor-port=COM61: also a port of [slot1]");
    EXPECT_EQ(ErrorOf("[slot1]\nport=COM3\nmonitor-port=COM61\n[slot2]\nport=COM61\n"),
              kFile + ": [slot2] port=COM61: also the monitor port of [slot1]");
}

TEST(StationSlots, ADevicePathGetsAFreeNumberInThePortMap)
{
    CComPortMap map;
    map.AddEntry("COM99", "/dev/ttyS0");
    StationSlot byName;
    byName.nSlot = 1;
    byName.strPort = "COM98";
    StationSlot byPath;
    byPath.nSlot = 2;
    byPath.strPort = "/dev/serial/by-path/usb-1";
    std::vector<int> ports;
    std::string strError;
    ASSERT_TRUE(AssignSlotPorts(map, {byName, byPath}, ports, strError)) << strError;
    ASSERT_EQ(ports, (std::vector<int>{98, 97}));
    EXPECT_EQ(map.PathForPort(97), "/dev/serial/by-path/usb-1");
}
