// Times buffer switches from timeGetTime when no device paces them. Switch n after the
// reference is due at the reference time plus n buffer periods, computed exactly, so a
// period that is not a whole number of milliseconds keeps its average and the clock
// does not drift from the rate the host asked for.
#pragma once

#include <windows.h>

struct SwitchClock {
    DWORD referenceTime;  // timeGetTime at which switch 0 was due
    DWORD nextSwitch;     // the next switch due, counted from the reference
    DWORD bufferSize;     // frames per switch
    DWORD rate;           // frames per second, at least 1
};

// A clock whose first switch is due one period after `now`.
void StartSwitchClock(SwitchClock* clock, DWORD now, DWORD bufferSize, DWORD rate);

// Milliseconds until the next switch is due, 0 when it is due. A clock that has fallen
// far behind (a host that blocked in its callback) starts again from `now` instead of
// firing every missed switch at once.
DWORD TimeToNextSwitch(SwitchClock* clock, DWORD now);

// The due switch was made.
void CountSwitch(SwitchClock* clock);
