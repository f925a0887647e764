// The streaming thread: it exists from the host's start to its stop and calls the
// host's bufferSwitch once per buffer. Start, stop and restart reach it only through
// four events; the host's outputReady meets it at InSwitchFlag.
#pragma once

#include <windows.h>

#include "driver/core/asio_types.h"

// Switches shown to the host since start; its low bit is the buffer index passed with
// bufferSwitch. Changed atomically, read without a lock by getSamplePosition.
extern volatile LONG SwitchCounter;
// timeGetTime of the thread's last wake-up, which is the time of the last switch.
extern volatile DWORD LastWakeUpTime;
// Bit 0 is set just before bufferSwitch; whoever clears it first sends that switch's
// outputs, the host's outputReady or the thread after bufferSwitch returns.
extern volatile LONG InSwitchFlag;

// Auto-reset, unsignalled and unnamed, created once by the driver's first init.
// PlaceholderEvent is never signalled: it fills the wait slot of a pin that has nothing
// to wait for.
extern HANDLE StartEvent;
extern HANDLE PlaceholderEvent;
extern HANDLE StopEvent;
extern HANDLE RestartEvent;
void CreateStreamingEvents();

// Creates the thread and releases it with StartEvent. False when no thread could be
// created. Runs under the driver lock.
bool StartStreaming();
// Ends the thread: signals StopEvent and waits at most 10 s, then terminates it. From
// inside the host's bufferSwitch it only signals: the thread ends when the callback
// returns. Does nothing without a thread.
void StopStreaming();

// Sends the outputs of the current switch unless they were sent, and counts the switch.
// It is the host's outputReady too, and always answers ASE_NotPresent.
ASIOError FinishOutputs();
