#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "ui/port_choice.h"
#include "ui/window_state.h"

TEST(PortChoiceTest, PortsOfThePortsSectionComeFirstInTheirListedOrder)
{
    const std::map<int, std::string> entries = {{21, "/dev/ttyUSB0"}, {5, "/dev/ttyS4"}};
    const CPortChoice choice(entries, "");
    EXPECT_EQ(choice.Order({"COM1 (/dev/ttyS0)", "COM3", "COM5 (/dev/ttyS4)", "COM21 (/dev/ttyUSB0)", "COM22"}),
              (std::vector<std::string>{"COM5 (/dev/ttyS4)", "COM21 (/dev/ttyUSB0)", "COM1 (/dev/ttyS0)", "COM3", "COM22"}));
}

TEST(PortChoiceTest, StartsOnTheLastPortElseTheOnlyPortsEntryElseNone)
{
    const std::vector<std::string> names = {"COM5 (/dev/ttyS4)", "COM1 (/dev/ttyS0)", "COM3"};
    const std::map<int, std::string> one = {{5, "/dev/ttyS4"}};
    const std::map<int, std::string> two = {{5, "/dev/ttyS4"}, {1, "/dev/ttyS0"}};
    const std::map<int, std::string> none;
    EXPECT_EQ(CPortChoice(one, "COM3").StartIndex(names), 2);     // remembered wins
    EXPECT_EQ(CPortChoice(one, "COM9").StartIndex(names), 0);     // remembered port gone: the one entry
    EXPECT_EQ(CPortChoice(one, "").StartIndex(names), 0);
    EXPECT_EQ(CPortChoice(two, "").StartIndex(names), -1);        // two entries: the operator chooses
    EXPECT_EQ(CPortChoice(two, "COM1").StartIndex(names), 1);
    EXPECT_EQ(CPortChoice(none, "").StartIndex(names), -1);
    const std::map<int, std::string> absent = {{7, "/dev/ttyUSB3"}, {5, "/dev/ttyS4"}};
    EXPECT_EQ(CPortChoice(absent, "").StartIndex(names), 0);      // one of the entries is listed
    EXPECT_EQ(CPortChoice::PortToRemember("COM21 (/dev/ttyUSB0)"), "COM21");
    EXPECT_EQ(CPortChoice::PortToRemember("typed text"), "");
}

TEST(WindowStateTest, RemembersPerWorkingFolderAcrossObjects)
{
    CTempDir first, second;
    EXPECT_EQ(CWindowState(first.Path()).Get("port"), "");
    ASSERT_TRUE(CWindowState(first.Path()).Set("port", "COM3"));
    CWindowState state(first.Path());
    EXPECT_EQ(state.Get("port"), "COM3");
    ASSERT_TRUE(state.Set("other", "x"));   // another key keeps the first
    EXPECT_EQ(CWindowState(first.Path()).Get("port"), "COM3");
    EXPECT_EQ(CWindowState(second.Path()).Get("port"), "");
    EXPECT_FALSE(CWindowState(first.Path() + "/missing").Set("port", "COM1"));
}
