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
// outputs, the host's outputReady or the thread after bufferSwitch returns. Bit 1 is set
// while a host thread's outputReady sends them: the thread does not leave the switch
// before it is clear.
extern volatile LONG InSwitchFlag;
constexpr LONG SwitchInProgress = 1;
constexpr LONG HostSendsOutputs = 2;

// Auto-reset, unsignalled and unnamed, created once by the driver's first init.
// PlaceholderEvent is never signalled: it fills the wait slot of a pin that has nothing
// to wait for.
extern HANDLE StartEvent;
extern HANDLE PlaceholderEvent;
extern HANDLE StopEvent;
extern HANDLE RestartEvent;
void CreateStreamingEvents();
// At the DLL's unload, when no thread of the driver runs.
void CloseStreamingEvents();

// Creates the thread and releases it with StartEvent. False when no thread could be
// created, or one streams already. Runs under the driver lock.
bool StartStreaming();
bool StreamingThreadExists();
// The caller is the streaming thread, inside a host callback or not.
bool OnStreamingThread();
// Ends the thread: signals StopEvent and waits for it with the driver lock released, at
// most 10 s, then terminates it. Called from inside the host's bufferSwitch, it ends the
// stream there, and the thread leaves when the callback returns. Runs under the driver
// lock; does nothing without a thread.
void StopStreaming();
// On the streaming thread right after a host callback returns: leaves the thread if a
// host call inside the callback ended its stream.
void LeaveIfEndedInCallback();
// A thread of the driver (the streaming thread, or one on its way out) still runs the
// module's code.
bool DriverThreadsRunning();

// The host's outputReady: during a bufferSwitch, sends that switch's outputs unless they
// were sent, and counts the switch; at any other time does nothing. Always answers
// ASE_NotPresent.
ASIOError FinishOutputs();
