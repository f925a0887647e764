// Why the streaming thread restarted the stream. Each restart is counted by its cause
// for as long as the driver is loaded, for the diagnostics and the tests.
#pragma once

#include <windows.h>

enum class RestartCause {
    None,            // no restart: the stream goes on
    Stall,           // nothing completed for a second
    WaitFailure,     // the wait itself failed
    TimerLag,        // 64 timed switches in a row were already due
    Starvation,      // the watchdog's heartbeat is older than 500 ms
    RenderOverrun,   // the render queue stayed too deep for 64 capture completions
    CaptureBacklog,  // the render queue is full and 8 capture packets wait
    RenderUnderrun,  // a render pin ran dry
    RunFailure,      // a render pin could not be started
    RestartRequest,  // the host changed the sample rate
    Count,
};

extern volatile LONG StreamRestarts[int(RestartCause::Count)];

const char* RestartCauseName(RestartCause cause);
