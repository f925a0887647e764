// What the streaming thread does when a pin's wait slot fires: a completed packet, or a
// notification of the looped master. Streaming thread only.
#pragma once

#include <windows.h>

#include "driver/core/device_tree.h"
#include "driver/engine/restart_causes.h"

// What a completion or notification of the pin in a wait slot does.
RestartCause HandlePinEvent(PinRecord* pin);

// Right after a notifying capture master's block was copied: whether the device has come
// back to write where it lay, so that the copy may hold frames of the next cycle.
bool NotifiedCaptureOverwritten();

// Whether this switch leaves the standard render pin's block unqueued, because the
// device holds more than packets-in-flight blocks of it: the queue grew as the stream
// caught up after a late wake-up. Counted.
bool TrimsRenderQueue(PinRecord* pin);
extern volatile LONG TrimmedRenderBlocks;
