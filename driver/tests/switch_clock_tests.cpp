// The clock that times buffer switches when no device paces them: the average period
// is exact, the wrap of timeGetTime is harmless, and a stalled host is not flooded.
#include <gtest/gtest.h>

#include "driver/engine/switch_clock.h"

namespace {

// Runs the clock over simulated milliseconds [start, start + duration] and counts the
// switches it makes.
int CountSwitches(SwitchClock* clock, DWORD start, DWORD duration)
{
    int switches = 0;
    for (DWORD elapsed = 0; elapsed <= duration; ++elapsed) {
        while (TimeToNextSwitch(clock, start + elapsed) == 0) {
            CountSwitch(clock);
            ++switches;
        }
    }
    return switches;
}

TEST(SwitchClock, KeepsTheExactAverageOfPeriodsThatAreNotWholeMilliseconds)
{
    // 256 frames at 44100 Hz is 5.805 ms: whole-millisecond waits would give 200 a second.
    SwitchClock clock;
    StartSwitchClock(&clock, 1000, 256, 44100);
    EXPECT_EQ(TimeToNextSwitch(&clock, 1000), 6u) << "the first switch is due one period after the start";
    EXPECT_EQ(CountSwitches(&clock, 1000, 1000), 172);
    EXPECT_EQ(CountSwitches(&clock, 2001, 8999), 1722 - 172) << "ten seconds, no drift";

    // A whole second of 48000 Hz at 480 frames is exactly 100 switches.
    StartSwitchClock(&clock, 0, 480, 48000);
    EXPECT_EQ(CountSwitches(&clock, 0, 999), 99);
    EXPECT_EQ(CountSwitches(&clock, 1000, 0), 1);
}

TEST(SwitchClock, StaysExactOverManyRateCycles)
{
    // 64 frames at 8000 Hz: the clock moves its reference every 8000 switches.
    SwitchClock clock;
    StartSwitchClock(&clock, 0, 64, 8000);
    EXPECT_EQ(CountSwitches(&clock, 0, 200000), 25000);
    EXPECT_EQ(TimeToNextSwitch(&clock, 200000), 8u);
}

TEST(SwitchClock, RunsOnAcrossTheWrapOfTheMillisecondCounter)
{
    SwitchClock clock;
    const DWORD nearWrap = 0xFFFFFF00;
    StartSwitchClock(&clock, nearWrap, 480, 48000);
    EXPECT_EQ(CountSwitches(&clock, nearWrap, 2000), 200);
    EXPECT_EQ(TimeToNextSwitch(&clock, nearWrap + 2000), 10u);
}

TEST(SwitchClock, CatchesUpAShortDelayAndDropsALongOne)
{
    SwitchClock clock;
    StartSwitchClock(&clock, 0, 480, 48000);
    // At 45 ms the four switches due by then follow at once, then the old rhythm.
    EXPECT_EQ(TimeToNextSwitch(&clock, 45), 0u);
    int late = 0;
    while (TimeToNextSwitch(&clock, 45) == 0) {
        CountSwitch(&clock);
        ++late;
    }
    EXPECT_EQ(late, 4);
    EXPECT_EQ(TimeToNextSwitch(&clock, 45), 5u);

    // A host that held the thread for half a second gets one switch now and the next a
    // period later, not fifty in a row.
    EXPECT_EQ(TimeToNextSwitch(&clock, 550), 0u);
    CountSwitch(&clock);
    EXPECT_EQ(TimeToNextSwitch(&clock, 550), 10u);
}

TEST(SwitchClock, NeverDividesByARateOfZero)
{
    SwitchClock clock;
    StartSwitchClock(&clock, 0, 256, 0);
    EXPECT_GT(TimeToNextSwitch(&clock, 0), 0u);
}

}  // namespace
