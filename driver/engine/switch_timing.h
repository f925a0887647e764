// Switches of a configuration without standard pins are timed by the thread itself: from
// the looped master's hardware position, or between the large master's completions.
// Streaming thread only.
#pragma once

#include <windows.h>

#include "driver/core/device_tree.h"

// Sets the deadline of the master's next timed switch.
void ScheduleNextSwitch();
// Whether the looped master's hardware position has reached the next switch.
bool CheckLoopedPosition(PinRecord* master);
// Milliseconds the wait may last: INFINITE when completions or notifications pace it,
// or when the master is closed.
DWORD TimeToNextTimedSwitch();
