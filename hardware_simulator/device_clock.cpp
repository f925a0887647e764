#include "hardware_simulator/device_clock.h"

#include <windows.h>
#include <mmsystem.h>

#include <initializer_list>

#include "hardware_simulator/device_steps.h"

namespace hardware_simulator {

namespace {

// Further behind than this after a late wake-up, the clock skips ahead instead of
// bursting through every millisecond it missed.
constexpr ULONGLONG MaxCatchUpSteps = 100;
enum : LONG { NotEntered, Entered, Refused };

HANDLE ClockThread;
HANDLE StopEvent;
HANDLE LetGoEvent;  // the thread holds nothing any more and takes nothing
volatile LONG Entry;
// Set while the thread runs and will deliver late completions; cleared before it stops,
// so that completions queued from then on are delivered at once.
volatile LONG Ticking;

LONGLONG Counter()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

// Steps at absolute deadlines, one per millisecond since the clock started, so that
// late wake-ups cost no time.
void RunSteps()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const LONGLONG ticksPerSecond = frequency.QuadPart;
    const LONGLONG start = Counter();
    ULONGLONG steps = 0;
    for (;;) {
        LONGLONG deadline = start + LONGLONG((steps + 1) * ticksPerSecond / 1000);
        LONGLONG ahead = deadline - Counter();
        DWORD waitMs = ahead <= 0 ? 0 : DWORD((ahead * 1000 + ticksPerSecond - 1) / ticksPerSecond);
        if (WaitForSingleObject(StopEvent, waitMs) == WAIT_OBJECT_0) return;
        LONGLONG now = Counter();
        auto due = ULONGLONG((now - start) * 1000 / ticksPerSecond);
        if (due > steps + MaxCatchUpSteps) steps = due - 1;
        for (; steps < due; ++steps) StepDevices(now, ticksPerSecond / 1000);
        SignalDueCompletions(now);
    }
}

DWORD WINAPI RunClock(void*)
{
    if (InterlockedCompareExchange(&Entry, Entered, NotEntered) == NotEntered) {
        timeBeginPeriod(1);
        RunSteps();
        timeEndPeriod(1);
    }
    // Returning would make the thread's exit wait for the loader lock, which a DLL
    // unload stopping the clock holds; StopClock ends the thread from here.
    SetEvent(LetGoEvent);
    Sleep(INFINITE);
    return 0;
}

void CloseClockHandles()
{
    for (HANDLE* handle : {&ClockThread, &StopEvent, &LetGoEvent}) {
        if (*handle != nullptr) CloseHandle(*handle);
        *handle = nullptr;
    }
}

// A thread that never entered can be refused entry only while the loader lock is
// held: elsewhere it may be in another DLL's thread attach, holding that lock.
void StopClock(bool loaderLockHeld)
{
    if (ClockThread == nullptr) return;
    InterlockedExchange(&Ticking, 0);
    SetEvent(StopEvent);
    bool refused = loaderLockHeld && InterlockedCompareExchange(&Entry, Refused, NotEntered) == NotEntered;
    HANDLE ends[] = {LetGoEvent, ClockThread};  // the thread also ends when its process does
    if (!refused) WaitForMultipleObjects(2, ends, FALSE, INFINITE);
    TerminateThread(ClockThread, 0);
    WaitForSingleObject(ClockThread, INFINITE);
    CloseClockHandles();
}

}  // namespace

void StartDeviceClock()
{
    if (ClockThread != nullptr) return;
    StopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    LetGoEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Entry = NotEntered;
    if (StopEvent != nullptr && LetGoEvent != nullptr)
        ClockThread = CreateThread(nullptr, 0, RunClock, nullptr, 0, nullptr);
    if (ClockThread == nullptr) {
        CloseClockHandles();
        return;
    }
    SetThreadPriority(ClockThread, THREAD_PRIORITY_TIME_CRITICAL);
    InterlockedExchange(&Ticking, 1);
}

void StopDeviceClock()
{
    bool running = ClockThread != nullptr;
    StopClock(false);
    if (running) DeliverHeldCompletions();
}

// The completions held back are left to Clear: the DLL's clients are going.
void StopDeviceClockInDllUnload()
{
    StopClock(true);
}

bool DeviceClockRunning()
{
    return Ticking != 0;
}

}  // namespace hardware_simulator
