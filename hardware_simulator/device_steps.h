// One USB frame (1 ms) of every device, as the device clock runs it.
#pragma once

#include <windows.h>

namespace hardware_simulator {

// Moves every running pin of every present device whose clock runs on by the frames
// that clock produced in one millisecond. `now` is the performance-counter time the
// completions it holds back are delayed from, `ticksPerMs` the counter's rate.
void StepDevices(LONGLONG now, LONGLONG ticksPerMs);
// Signals the held-back completions of every pin whose time has come, and the late
// ones; cancels the requests of threads that have ended.
void SignalDueCompletions(LONGLONG now);
// Delivers every completion held back for later, due or not.
void DeliverHeldCompletions();

}  // namespace hardware_simulator
