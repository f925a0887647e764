// The state of the running stream, owned by the streaming thread, and the steps it is
// made of: the switch, the timing of switches without per-block completions, and the
// reactions to each pin's completions. Streaming thread only, except FinishOutputs.
#pragma once

#include <windows.h>

#include "driver/core/device_tree.h"
#include "driver/engine/restart_causes.h"
#include "driver/engine/stream_setup.h"

constexpr DWORD RestartPauseMs = 10;

struct StreamRun {
    PinRecord* master;  // the timing master when the configuration has no standard pin
    DWORD switchEvents;  // every switch since the (re)start, shown to the host or not
    DWORD subBlockCount;  // timed switches since the master's completion, or in a reference period
    DWORD deadline;
    bool deadlineValid;
    DWORD zeroTimeouts;
    volatile DWORD renderQueueDepth;  // also written by the host's outputReady
    DWORD streamStartTime;
    bool firstCompleteSetSeen;
    DWORD referenceTime;  // without a master: the end of the last reference period
    DWORD referenceCount;
    // The looped master's wraps and where it stood: its position for the timed switches,
    // its buffer side's frame in event mode.
    DWORD loopedWraps;
    DWORD lastLoopedPosition;
    DWORD skippedHalves;  // event mode: halves of cycles missed whole, passed over
    DWORD renderTrimsInARow;  // switches in a row that left a render block unqueued
};
extern StreamRun Stream;

// Converts capture, calls the host's bufferSwitch (once priming is over) and sends the
// outputs unless the host already did. `notifiedBlocksLost`: a late wake-up found the
// device writing again where the notifying capture pins' blocks lay, and the host hears
// silence there.
void DoSwitch(bool notifiedBlocksLost = false);
// The switch the host hears of first: those before it prime the device.
DWORD FirstHostSwitch();
// Right after a notifying capture master's block was copied: whether the device has come
// back to write where it lay, so that the copy may hold frames of the next cycle.
bool NotifiedCaptureOverwritten();
// Returns once no host thread's outputReady is sending outputs.
void AwaitHostOutputs();

// Sets the deadline of the master's next timed switch.
void ScheduleNextSwitch();
// Whether the looped master's hardware position has reached the next switch.
bool CheckLoopedPosition(PinRecord* master);
// Milliseconds the wait may last: INFINITE when completions or notifications pace it,
// or when the master is closed.
DWORD TimeToNextTimedSwitch();

// Marks a resynchronisation of the stream (a restart or a late notification) for the
// tray and counts it.
void StampResync();
extern volatile LONG StreamResyncs;

// What a completion or notification of the pin in a wait slot does.
RestartCause HandlePinEvent(PinRecord* pin);

// Whether this switch leaves the standard render pin's block unqueued, because the
// device holds more than packets-in-flight blocks of it: the queue grew as the stream
// caught up after a late wake-up. Counted.
bool TrimsRenderQueue(PinRecord* pin);
extern volatile LONG TrimmedRenderBlocks;
