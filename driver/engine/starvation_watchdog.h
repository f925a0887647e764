// The starvation watchdog: a thread beside the streaming thread that stamps a heartbeat
// every 200 ms. A heartbeat older than 500 ms tells the streaming thread that it has
// starved the rest of the system, and it restarts the stream. It runs only while the
// global "Flags" setting asks for it.
#pragma once

#include <windows.h>

extern volatile DWORD HeartbeatTime;  // timeGetTime of the last stamp

// Starts the thread unless it runs, and stamps the heartbeat now in either case.
void StartWatchdog();
// Ends the thread if it runs.
void StopWatchdog();
