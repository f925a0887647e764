// Why the streaming thread restarted the stream. Each restart is counted by its cause
// for as long as the driver is loaded, for the diagnostics and the tests.
#pragma once

#include <windows.h>

enum class RestartCause {
    None,            // no restart: the stream goes on
    Stall,           // nothing completed, or no timed switch came, for a second
    WaitFailure,     // the wait itself failed
    TimerLag,        // 64 timed switches in a row were already due
    Starvation,      // the watchdog's heartbeat is older than 500 ms
    RenderOverrun,   // the render queue stayed too deep for 64 capture completions
    CaptureBacklog,  // the render queue is full and 8 capture packets wait
    RenderUnderrun,  // a render pin ran dry
    RunFailure,      // a pin could not be started
    RestartRequest,  // the host changed the sample rate
    DeviceError,     // a stream request failed or was refused: the device is gone or broke down
    PinReturned,     // a pin that could not open opened when tried again
    Count,
};

extern volatile LONG StreamRestarts[int(RestartCause::Count)];
// Stream starts that closed and opened every pin: each first start, and each restart
// that was not to, or could not, go back to the start on the pins' existing handles.
extern volatile LONG StreamReopens;

const char* RestartCauseName(RestartCause cause);

// Whether the cause may have left a pin, its handle or its format unusable, so that the
// restart must close and reopen every pin. The others only lost the stream's timing.
bool RestartReopensPins(RestartCause cause);
