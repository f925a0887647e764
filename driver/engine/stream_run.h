// The state of the running stream, owned by the streaming thread: its timing master,
// its switches and the timing of switches without per-block completions. Streaming
// thread only, except FinishOutputs.
#pragma once

#include <windows.h>

#include "driver/core/device_tree.h"

struct StreamRun {
    PinRecord* master;    // the timing master when the configuration has no standard pin
    DWORD switchEvents;   // every switch since the (re)start, shown to the host or not
    DWORD subBlockCount;  // timed switches since the master's completion, or in a reference period
    DWORD deadline;
    bool deadlineValid;
    DWORD zeroTimeouts;
    volatile DWORD renderQueueDepth;  // packets the deepest render pin holds; only the streaming thread submits
    DWORD streamStartTime;
    bool firstCompleteSetSeen;
    DWORD referenceTime;  // without a master: the end of the last reference period
    DWORD referenceCount;
    // The looped master's wraps and where it stood: its position for the timed switches,
    // its buffer side's frame in event mode.
    DWORD loopedWraps;
    DWORD lastLoopedPosition;
    DWORD skippedHalves;        // event mode: halves of cycles missed whole, passed over
    DWORD renderTrimsUnplayed;  // render blocks left unqueued since a render packet last completed
};
extern StreamRun Stream;
