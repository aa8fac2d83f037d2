#include <gtest/gtest.h>

#include <thread>

#include "job/job_events.h"

TEST(JobEvents, LowestSignalledWinsAndOnlyItIsReset)
{
    CJobEvents events;
    EXPECT_EQ(events.Wait(0), CJobEvents::WAIT_TIMEOUT_INDEX);
    events.Set(CJobEvents::EVENT_TRANSFER);
    events.Set(CJobEvents::EVENT_QUIT);
    EXPECT_EQ(events.Wait(0), CJobEvents::EVENT_QUIT);
    EXPECT_EQ(events.Wait(0), CJobEvents::EVENT_TRANSFER);
    EXPECT_EQ(events.Wait(0), CJobEvents::WAIT_TIMEOUT_INDEX);

    events.Set(CJobEvents::EVENT_TRANSFER);
    events.Set(CJobEvents::EVENT_START);
    events.Set(CJobEvents::EVENT_START);  // auto-reset: two sets before a wait count once
    EXPECT_EQ(events.Wait(0), CJobEvents::EVENT_START);
    EXPECT_EQ(events.Wait(0), CJobEvents::EVENT_TRANSFER);
    EXPECT_EQ(events.Wait(0), CJobEvents::WAIT_TIMEOUT_INDEX);
    events.Set(7);
    events.Set(-1);
    EXPECT_EQ(events.Wait(0), CJobEvents::WAIT_TIMEOUT_INDEX);
}

TEST(JobEvents, UnlimitedWaitWakesOnASetFromAnotherThread)
{
    CJobEvents events;
    std::thread setter([&] { events.Set(CJobEvents::EVENT_START); });
    EXPECT_EQ(events.Wait(), CJobEvents::EVENT_START);
    setter.join();
}
