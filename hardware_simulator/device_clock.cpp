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
enum : LONG { NotEntered, Entered };

HANDLE ClockThread;
HANDLE StopEvent;
HANDLE LetGoEvent;  // the thread holds nothing any more and takes nothing
volatile LONG Entry;
volatile LONG StartAtFirstUse;
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
    InterlockedExchange(&Entry, Entered);
    timeBeginPeriod(1);
    RunSteps();
    timeEndPeriod(1);
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

// The thread has entered RunClock by now (StartDeviceClock waits for it). Under the
// loader lock it cannot return, so it parks once it holds nothing and is ended there.
void StopClock()
{
    if (ClockThread == nullptr) return;
    InterlockedExchange(&Ticking, 0);
    SetEvent(StopEvent);
    HANDLE ends[] = {LetGoEvent, ClockThread};  // the thread also ends when its process does
    WaitForMultipleObjects(2, ends, FALSE, INFINITE);
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
    // A thread that an unload had to stop before it ran could only be terminated in the
    // middle of its start, which leaves the process's loader state broken.
    while (InterlockedCompareExchange(&Entry, NotEntered, NotEntered) == NotEntered) Sleep(0);
    InterlockedExchange(&Ticking, 1);
}

void StartDeviceClockAtFirstUse()
{
    InterlockedExchange(&StartAtFirstUse, 1);
}

void StartDeviceClockIfAsked()
{
    if (InterlockedExchange(&StartAtFirstUse, 0) != 0) StartDeviceClock();
}

void StopDeviceClock()
{
    bool running = ClockThread != nullptr;
    StopClock();
    if (running) DeliverHeldCompletions();
}

// The completions held back are left to Clear: the DLL's clients are going.
void StopDeviceClockInDllUnload()
{
    InterlockedExchange(&StartAtFirstUse, 0);
    StopClock();
}

bool DeviceClockRunning()
{
    return Ticking != 0;
}

}  // namespace hardware_simulator
