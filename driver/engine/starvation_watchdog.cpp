#include "driver/engine/starvation_watchdog.h"

#include <mmsystem.h>

volatile DWORD HeartbeatTime;

namespace {

constexpr DWORD HeartbeatIntervalMs = 200;
constexpr DWORD WatchdogStackSize = 4096;

HANDLE WatchdogThread;
HANDLE WatchdogStopEvent;

DWORD WINAPI StampHeartbeats(void*)
{
    while (WaitForSingleObject(WatchdogStopEvent, HeartbeatIntervalMs) == WAIT_TIMEOUT) HeartbeatTime = timeGetTime();
    return 0;
}

}  // namespace

void StartWatchdog()
{
    HeartbeatTime = timeGetTime();
    if (WatchdogThread != nullptr) return;
    WatchdogStopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (WatchdogStopEvent == nullptr) return;
    WatchdogThread = CreateThread(nullptr, WatchdogStackSize, StampHeartbeats, nullptr, 0, nullptr);
    if (WatchdogThread == nullptr) {
        CloseHandle(WatchdogStopEvent);
        WatchdogStopEvent = nullptr;
        return;
    }
    // Above the host's threads, below the time-critical streaming thread.
    SetThreadPriority(WatchdogThread, THREAD_PRIORITY_HIGHEST);
}

void StopWatchdog()
{
    if (WatchdogThread == nullptr) return;
    SetEvent(WatchdogStopEvent);
    WaitForSingleObject(WatchdogThread, INFINITE);
    CloseHandle(WatchdogThread);
    CloseHandle(WatchdogStopEvent);
    WatchdogThread = nullptr;
    WatchdogStopEvent = nullptr;
}
