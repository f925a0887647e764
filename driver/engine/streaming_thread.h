// The streaming thread: it exists from the host's start to its stop and calls the
// host's bufferSwitch once per buffer. Start, stop and restart reach it only through
// four events; the host's outputReady meets it at InSwitchFlag (buffer_switch.h).
#pragma once

#include <windows.h>

// timeGetTime of the thread's last wake-up, which is the time of the last switch.
extern volatile DWORD LastWakeUpTime;

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

// Marks a resynchronisation of the stream (a restart or a late notification) for the
// tray and counts it.
void StampResync();
extern volatile LONG StreamResyncs;
