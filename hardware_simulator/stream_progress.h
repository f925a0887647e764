// The device's progress on its open pins, one step at a time: what the device clock
// does every USB frame, and what a test does to play the device by hand. Only running
// pins make progress.
#pragma once

#include <windows.h>

namespace hardware_simulator {

// Completes the oldest stream request queued on `pin`: a capture request delivers
// `bytes` (at most its FrameExtent) into DataUsed, a render request consumes `bytes` (at
// most its DataUsed). Its OVERLAPPED gets STATUS_SUCCESS and the byte count, and its
// event is signalled. False when `pin` is no running pin or has nothing queued.
bool CompleteStreamRequest(HANDLE pin, ULONG bytes);

// Moves the position in the looped buffer of `pin` `bytes` on, wrapping at its end,
// updates the position register and signals the registered events at each
// notification point passed. False when `pin` is no running looped pin with a buffer.
bool AdvanceLoopedPosition(HANDLE pin, ULONG bytes);

}  // namespace hardware_simulator
