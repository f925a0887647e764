#include "driver/engine/streaming_thread.h"

#include <mmsystem.h>

#include "driver/engine/engine_state.h"
#include "driver/engine/host_callbacks.h"
#include "driver/engine/realtime_scheduling.h"
#include "driver/engine/stream_setup.h"
#include "driver/engine/switch_clock.h"

volatile LONG SwitchCounter;
volatile DWORD LastWakeUpTime;
volatile LONG InSwitchFlag;

HANDLE StartEvent;
HANDLE PlaceholderEvent;
HANDLE StopEvent;
HANDLE RestartEvent;

namespace {

constexpr DWORD StreamingStackCommit = 0x40000;
constexpr DWORD StopTimeLimitMs = 10000;
constexpr DWORD TerminatedExitCode = 0xBAADF00D;

HANDLE StreamingThreadHandle;
DWORD StreamingThreadId;

// The thread's one wait covers stop and restart, then a slot for every pin that paces
// the stream.
constexpr DWORD StopSlot = 0;
constexpr DWORD RestartSlot = 1;
constexpr DWORD FirstPinSlot = 2;

struct WaitSet {
    HANDLE handles[FirstPinSlot + MaxActivePins];
    DWORD count;
};

void ClearInSwitchFlag()
{
    __atomic_fetch_and(&InSwitchFlag, ~LONG(1), __ATOMIC_SEQ_CST);
}

// Waits for StartEvent; false when StopEvent comes first.
bool AwaitStart()
{
    HANDLE events[] = {StopEvent, StartEvent};
    return WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0;
}

// Every (re)start runs at the rate and buffer size the host asked for last.
void TakeRequestedFormat(SwitchClock* clock)
{
    ActiveHostRate = RequestedHostRate;
    ActiveBufferSize = RequestedBufferSize;
    StartSwitchClock(clock, timeGetTime(), ActiveBufferSize, ActiveHostRate);
}

void TimedSwitch(SwitchClock* clock)
{
    LastWakeUpTime = timeGetTime();
    ClearInSwitchFlag();
    HostCallbacks.bufferSwitch(SwitchCounter & 1, ASIOTrue);
    InterlockedIncrement(&SwitchCounter);
    CountSwitch(clock);
}

// With no pin to pace it, the thread keeps the host's clock running from the
// multimedia timer alone, until StopEvent.
void RunTimedSwitches()
{
    WaitSet waits = {{StopEvent, RestartEvent}, FirstPinSlot};
    SwitchClock clock;
    TakeRequestedFormat(&clock);
    for (;;) {
        DWORD timeout = TimeToNextSwitch(&clock, timeGetTime());
        DWORD result = WaitForMultipleObjects(waits.count, waits.handles, FALSE, timeout);
        // A wait that cannot wait is slept out, so the switches keep their time.
        if (result == WAIT_FAILED) {
            Sleep(timeout);
            result = WAIT_TIMEOUT;
        }
        if (result == WAIT_OBJECT_0 + StopSlot) return;
        if (result == WAIT_OBJECT_0 + RestartSlot) {
            if (!AwaitStart()) return;
            TakeRequestedFormat(&clock);
        } else if (result == WAIT_TIMEOUT) {
            TimedSwitch(&clock);
        }
    }
}

DWORD WINAPI StreamingThread(void*)
{
    timeBeginPeriod(1);
    EnterProAudio();
    if (AwaitStart()) RunTimedSwitches();
    LeaveProAudio();
    timeEndPeriod(1);
    ClearInSwitchFlag();
    return 0;
}

}  // namespace

void CreateStreamingEvents()
{
    StartEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    PlaceholderEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    StopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    RestartEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

bool StartStreaming()
{
    // A restart that an ended thread left unanswered must not reach the new one.
    ResetEvent(RestartEvent);
    ResetEvent(StartEvent);
    StreamingThreadHandle =
        CreateThread(nullptr, StreamingStackCommit, StreamingThread, nullptr, 0, &StreamingThreadId);
    if (StreamingThreadHandle == nullptr) return false;
    SetEvent(StartEvent);
    return true;
}

void StopStreaming()
{
    if (StreamingThreadHandle == nullptr) return;
    SetEvent(StopEvent);
    if (GetCurrentThreadId() != StreamingThreadId &&
        WaitForSingleObject(StreamingThreadHandle, StopTimeLimitMs) != WAIT_OBJECT_0) {
        TerminateThread(StreamingThreadHandle, TerminatedExitCode);
        // What the thread would have undone on its way out.
        ResetEvent(StopEvent);
        timeEndPeriod(1);
        ClearInSwitchFlag();
    }
    CloseHandle(StreamingThreadHandle);
    StreamingThreadHandle = nullptr;
    StreamingThreadId = 0;
}

ASIOError FinishOutputs()
{
    if (__atomic_fetch_and(&InSwitchFlag, ~LONG(1), __ATOMIC_SEQ_CST) & 1) InterlockedIncrement(&SwitchCounter);
    return ASE_NotPresent;
}
