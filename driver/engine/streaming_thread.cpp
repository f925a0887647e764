#include "driver/engine/streaming_thread.h"

#include <mmsystem.h>

#include <cstring>
#include <initializer_list>

#include "driver/core/active_pins.h"
#include "driver/core/diagnostic_log.h"
#include "driver/core/module.h"
#include "driver/core/settings.h"
#include "driver/engine/buffer_switch.h"
#include "driver/engine/conversion/rate_tables.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/host_callbacks.h"
#include "driver/engine/pin_events.h"
#include "driver/engine/pin_requests.h"
#include "driver/engine/pin_restart.h"
#include "driver/engine/realtime_scheduling.h"
#include "driver/engine/slab_memory.h"
#include "driver/engine/starvation_watchdog.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_run.h"
#include "driver/engine/switch_clock.h"
#include "driver/engine/switch_timing.h"
#include "driver/ui/tray_icon.h"

volatile DWORD LastWakeUpTime;
volatile LONG StreamResyncs;

HANDLE StartEvent;
HANDLE PlaceholderEvent;
HANDLE StopEvent;
HANDLE RestartEvent;

namespace {

constexpr DWORD StreamingStackCommit = 0x40000;
constexpr DWORD RestartPauseMs = 10;
constexpr DWORD StopTimeLimitMs = 10000;
constexpr DWORD TerminatedExitCode = 0xBAADF00D;
constexpr DWORD StallTimeoutMs = 1000;
constexpr DWORD ClosedPinRetryMs = 500;
constexpr DWORD FailurePauseMs = 200;
constexpr DWORD ZeroTimeoutLimit = 64;
constexpr LONG StarvedHeartbeatMs = 500;
constexpr DWORD StarvationPauseMs = 100;
constexpr DWORD FifoWaitLimitMs = 10;

// The thread that streams, under the driver lock.
HANDLE StreamingThreadHandle;
DWORD StreamingThreadId;
// A thread whose stream was ended from inside its own bufferSwitch leaves as soon as the
// callback returns. Its handle waits here for the next thread, which begins only once
// it is gone, or the thread closes it itself on its way out.
HANDLE volatile EndingThread;
volatile DWORD ThreadLeavingAfterCallback;
// Each thread holds a reference on the module, so that a host that releases the driver
// and unloads it from inside bufferSwitch does not pull the code from under the thread.
HMODULE ThreadModule;
volatile LONG RunningThreads;

// The thread's one wait covers stop and restart, then a slot for every active pin.
constexpr DWORD StopSlot = 0;
constexpr DWORD RestartSlot = 1;
constexpr DWORD FirstPinSlot = 2;

struct WaitSet {
    HANDLE handles[FirstPinSlot + MaxActivePins];
    DWORD count;
};

void ClearInSwitchFlag()
{
    __atomic_fetch_and(&InSwitchFlag, ~SwitchInProgress, __ATOMIC_SEQ_CST);
}

[[noreturn]] void ExitStreamingThread()
{
    InterlockedDecrement(&RunningThreads);
    FreeLibraryAndExitThread(ThreadModule, 0);
}

// A thread stopped from inside its callback may still be on its way out of the host's
// code: the next one touches nothing before it is gone. False when stop comes first;
// the handle is then left for whoever comes next.
bool AwaitEndingThread()
{
    HANDLE ending = __atomic_exchange_n(&EndingThread, HANDLE(nullptr), __ATOMIC_SEQ_CST);
    if (ending == nullptr) return true;
    HANDLE events[] = {StopEvent, ending};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        CloseHandle(ending);
        return true;
    }
    HANDLE none = nullptr;
    if (!__atomic_compare_exchange_n(&EndingThread, &none, ending, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST))
        CloseHandle(ending);
    return false;
}

// Waits for StartEvent; false when StopEvent comes first.
bool AwaitStart()
{
    HANDLE events[] = {StopEvent, StartEvent};
    return WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0;
}

// Every (re)start runs at the rate and buffer size the host asked for last.
void TakeRequestedFormat()
{
    ActiveHostRate = RequestedHostRate;
    ActiveBufferSize = RequestedBufferSize;
}

void TimedSwitch(SwitchClock* clock)
{
    LastWakeUpTime = timeGetTime();
    ClearInSwitchFlag();
    HostCallbacks.bufferSwitch(SwitchCounter & 1, ASIOTrue);
    LeaveIfEndedInCallback();
    InterlockedIncrement(&SwitchCounter);
    CountSwitch(clock);
}

// With no pin to pace it, the thread keeps the host's clock running from the
// multimedia timer alone, until StopEvent.
void RunIdleClock()
{
    HANDLE events[] = {StopEvent, RestartEvent};
    SwitchClock clock;
    TakeRequestedFormat();
    StartSwitchClock(&clock, timeGetTime(), ActiveBufferSize, ActiveHostRate);
    for (;;) {
        DWORD timeout = TimeToNextSwitch(&clock, timeGetTime());
        DWORD result = WaitForMultipleObjects(2, events, FALSE, timeout);
        // A wait that cannot wait is slept out, so the switches keep their time.
        if (result == WAIT_FAILED) {
            Sleep(timeout);
            result = WAIT_TIMEOUT;
        }
        if (result == WAIT_OBJECT_0 + StopSlot) return;
        if (result == WAIT_OBJECT_0 + RestartSlot) {
            TakeRequestedFormat();
            StartSwitchClock(&clock, timeGetTime(), ActiveBufferSize, ActiveHostRate);
        } else if (result == WAIT_TIMEOUT) {
            TimedSwitch(&clock);
        }
    }
}

// Without standard pins one pin times the switches: a looped capture pin, else a looped
// render pin, else a large-packet render pin, else a large-packet capture pin.
PinRecord* ChooseMaster()
{
    const PinModeCounts& modes = ActivePinModes;
    if (modes.standardCapture + modes.standardRender != 0) return nullptr;
    const struct {
        DWORD mode;
        bool capture;
    } preference[] = {{LoopedMode, true}, {LoopedMode, false}, {LargePacketMode, false}, {LargePacketMode, true}};
    for (const auto& choice : preference)
        for (DWORD index = 0; index < ActivePinCount; ++index) {
            PinRecord* pin = ActivePins[index].pin;
            if ((pin->streamFlags & choice.mode) && IsCapturePin(pin) == choice.capture) return pin;
        }
    return nullptr;
}

// The stream starts over from silence at the requested format.
void ResetStream()
{
    if (ChannelSlab.samples != nullptr) std::memset(ChannelSlab.samples, 0, ChannelSlab.words * sizeof(INT32));
    TakeRequestedFormat();
    PinRecord* master = Stream.master;
    Stream = {};
    Stream.master = master;
    Stream.renderQueueDepth = PacketsInFlight - 1;
    StartDelayMs = 0;
    BlocksPerLargePacket = LargePacketFrames / ActiveBufferSize;
    if (BuildRateTables(ActiveHostRate, Convert44100To48000, ActiveBufferSize))
        BlocksPerLargePacket = RateFrameTables().blocksPerLargePacket;
}

// Makes the stack pages the stream will use resident before the pins start.
__attribute__((noinline)) void TouchStackPages()
{
    constexpr int Pages = 64;
    auto* pages = static_cast<volatile BYTE*>(__builtin_alloca((Pages - 1) * PageSize + 1));
    for (int page = Pages - 1; page >= 0; --page) pages[page * PageSize] = 0;
}

// A looped capture pin with a short FIFO: give its first bytes a moment to arrive.
void AwaitCaptureFifo(PinRecord* pin)
{
    if (!(pin->streamFlags & LoopedMode) || pin->fifoFrames > ActiveBufferSize) return;
    DWORD start = timeGetTime();
    while (ReadPinPosition(pin) < pin->fifoBytes && timeGetTime() - start < FifoWaitLimitMs) Sleep(0);
}

// Capture starts first; render pins that are looped or large, or all of them when no
// standard capture pin will start them, follow. The rest wait for the first capture.
// False when a pin refused to run: it would never complete.
bool RunPins()
{
    bool running = true;
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (IsCapturePin(pin) && IsPinOpen(pin)) running &= SetPinState(pin, KSSTATE_RUN);
    }
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (IsCapturePin(pin) && IsPinOpen(pin)) AwaitCaptureFifo(pin);
    }
    bool renderStartsNow = true;
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (IsCapturePin(pin) && IsStandardMode(pin->streamFlags) && IsPinOpen(pin)) renderStartsNow = false;
    }
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (!IsCapturePin(pin) && IsPinOpen(pin) && (renderStartsNow || !IsStandardMode(pin->streamFlags)))
            running &= SetPinState(pin, KSSTATE_RUN);
    }
    return running;
}

// The handle each pin's next completion or notification signals.
void FillWaitSlots(WaitSet* waits)
{
    waits->handles[StopSlot] = StopEvent;
    waits->handles[RestartSlot] = RestartEvent;
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        HANDLE slot = nullptr;
        if (pin == Stream.master && pin->notificationEvent != nullptr) {
            slot = pin->notificationEvent;
        } else if (!(pin->streamFlags & LoopedMode)) {
            slot = pin->packetOverlapped[CompletionSlot(pin)].hEvent;
        }
        waits->handles[FirstPinSlot + index] = slot != nullptr ? slot : PlaceholderEvent;
    }
    waits->count = FirstPinSlot + ActivePinCount;
}

// A standard capture packet goes back to the device once it was converted, not when it
// completed: while it waits for its switch the device must not write into it again.
void ResubmitCapturePackets()
{
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (!IsCapturePin(pin) || !IsStandardMode(pin->streamFlags) || !IsPinOpen(pin)) continue;
        ConversionPin& conversion = pin->conversion;
        while (LONG(conversion.convertedCount - conversion.submittedCount) > 0) SubmitCapturePacket(pin);
    }
}

bool HeartbeatIsStale()
{
    return (GlobalSettingsFlags & GlobalFlagStarvationWatchdog) &&
           LONG(LastWakeUpTime - HeartbeatTime) > StarvedHeartbeatMs;
}

// A switch the master's time asks for: due once the looped position has reached it.
void MakeTimedSwitch()
{
    PinRecord* master = Stream.master;
    if ((master->streamFlags & LoopedMode) && !CheckLoopedPosition(master)) {
        Stream.deadline = timeGetTime() + 1;
        Stream.deadlineValid = true;
        return;
    }
    DoSwitch();
    ScheduleNextSwitch();
}

enum class StreamEnd { Restart, Stop };

// Back to the start of the stream: a soft restart primes the open pins again on their
// handles; when it cannot, or `reopen` asks for it, every pin is closed and opened anew.
// False when StopEvent came while pins were retried.
bool PreparePins(bool reopen)
{
    if (!reopen && RearmAllPins()) return true;
    InterlockedIncrement(&StreamReopens);
    StopAllPins();
    return OpenAllPins();
}

// The stream between two restart points: pins primed again (or reopened), started, then
// every completion, notification and deadline handled, until something calls for a
// restart (its cause in `cause`) or StopEvent comes.
StreamEnd RunStream(bool* firstRun, bool reopen, RestartCause* cause)
{
    DWORD rate = ActiveHostRate;
    DWORD bufferSize = ActiveBufferSize;
    ResetStream();
    if (ActiveHostRate != rate || ActiveBufferSize != bufferSize) reopen = true;
    TouchStackPages();
    // A request the device refuses (a pin it did not take to PAUSE, a device gone) never
    // completes: the stream starts over, after a pause in case the device refuses on.
    LONG refusedBefore = RefusedStreamRequests;
    if (!PreparePins(reopen)) return StreamEnd::Stop;
    if (*firstRun) {
        *firstRun = false;
        if (!AwaitStart()) return StreamEnd::Stop;
    }
    if (!RunPins()) {
        Sleep(FailurePauseMs);
        *cause = RestartCause::RunFailure;
        return StreamEnd::Restart;
    }
    Stream.streamStartTime = timeGetTime();
    if (Stream.master != nullptr) Stream.master->lastCompletionTime = Stream.streamStartTime;
    // The timed switches of a master without notifications: a master whose position
    // stands still (a stalled or unplugged device) is a stall, as a silent wait is.
    DWORD switchesSeen = Stream.switchEvents;
    DWORD lastSwitchTime = Stream.streamStartTime;
    // A pin that could not open is tried again now and then, so that it does not stay out
    // of the stream until something else restarts it.
    DWORD lastRetryTime = Stream.streamStartTime;

    WaitSet waits;
    for (;;) {
        ResubmitCapturePackets();
        if (RefusedStreamRequests != refusedBefore) {
            Sleep(FailurePauseMs);
            *cause = RestartCause::DeviceError;
            return StreamEnd::Restart;
        }
        if (timeGetTime() - lastRetryTime >= ClosedPinRetryMs) {
            lastRetryTime = timeGetTime();
            if (RetryClosedPins()) {
                *cause = RestartCause::PinReturned;
                return StreamEnd::Restart;
            }
        }
        FillWaitSlots(&waits);
        DWORD timeout = TimeToNextTimedSwitch();
        if (timeout != 0) {
            Stream.zeroTimeouts = 0;
        } else if (++Stream.zeroTimeouts == ZeroTimeoutLimit) {
            *cause = RestartCause::TimerLag;
            return StreamEnd::Restart;
        }
        bool stallable = timeout == INFINITE;
        if (Stream.switchEvents != switchesSeen) {
            switchesSeen = Stream.switchEvents;
            lastSwitchTime = timeGetTime();
        } else if (!stallable && timeGetTime() - lastSwitchTime >= StallTimeoutMs) {
            *cause = RestartCause::Stall;
            return StreamEnd::Restart;
        }
        DWORD result = WaitForMultipleObjects(waits.count, waits.handles, FALSE, stallable ? StallTimeoutMs : timeout);
        if (result == WAIT_TIMEOUT && stallable) {
            *cause = RestartCause::Stall;
            return StreamEnd::Restart;
        }
        // A wait that fails would fail again at once: restart rather than spin.
        if (result == WAIT_FAILED) {
            *cause = RestartCause::WaitFailure;
            return StreamEnd::Restart;
        }
        LastWakeUpTime = timeGetTime();
        if (result == WAIT_OBJECT_0 + StopSlot) return StreamEnd::Stop;
        // A restart request reopens at once: the start it would wait for was given
        // long ago, or is still pending and must not be taken for a later one.
        if (result == WAIT_OBJECT_0 + RestartSlot) {
            *cause = RestartCause::RestartRequest;
            return StreamEnd::Restart;
        }
        if (HeartbeatIsStale()) {
            Sleep(StarvationPauseMs);
            *cause = RestartCause::Starvation;
            return StreamEnd::Restart;
        }
        if (result == WAIT_TIMEOUT) {
            MakeTimedSwitch();
            continue;
        }
        DWORD slot = result - WAIT_OBJECT_0;
        if (slot < FirstPinSlot || slot >= waits.count) continue;
        *cause = HandlePinEvent(ActivePins[slot - FirstPinSlot].pin);
        if (*cause != RestartCause::None) return StreamEnd::Restart;
    }
}

void RunPinStream()
{
    bool firstRun = true;
    bool reopen = true;
    Stream.master = ChooseMaster();
    for (;;) {
        ClearInSwitchFlag();
        if (reopen) StopAllPins();
        if (!firstRun) {
            StampResync();
            Sleep(RestartPauseMs);
        }
        RestartCause cause = RestartCause::None;
        if (RunStream(&firstRun, reopen, &cause) == StreamEnd::Stop) break;
        InterlockedIncrement(&StreamRestarts[int(cause)]);
        reopen = RestartReopensPins(cause);
        DiagnosticLine("stream restart: %s after %lu switches", RestartCauseName(cause), Stream.switchEvents);
    }
    StopAllPins();
    Stream.master = nullptr;
    Sleep(RestartPauseMs);
}

DWORD WINAPI StreamingThread(void*)
{
    if (!AwaitEndingThread()) ExitStreamingThread();
    timeBeginPeriod(1);
    EnterProAudio();
    if (ActivePinCount == 0) {
        if (AwaitStart()) RunIdleClock();
    } else {
        RunPinStream();
    }
    LeaveProAudio();
    timeEndPeriod(1);
    ClearInSwitchFlag();
    ExitStreamingThread();
}

// A host call on the streaming thread itself, from inside bufferSwitch, that ends the
// stream: it cannot wait for its own thread, so it does the thread's end work here, and
// the thread leaves when the callback returns, touching nothing of the stream again.
void EndStreamInCallback()
{
    ClearInSwitchFlag();
    AwaitHostOutputs();
    StopAllPins();
    Stream.master = nullptr;
    LeaveProAudio();
    timeEndPeriod(1);
    ThreadLeavingAfterCallback = StreamingThreadId;
    __atomic_store_n(&EndingThread, StreamingThreadHandle, __ATOMIC_SEQ_CST);
    StreamingThreadHandle = nullptr;
    StreamingThreadId = 0;
}

// The host's bufferSwitch may call into the driver, and such calls take the driver lock:
// the wait for the thread must not hold it. A thread that does not end in time is
// terminated, and what it would have undone on its way out is undone for it.
void AwaitStreamingThread()
{
    const DWORD id = StreamingThreadId;
    HANDLE thread = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), StreamingThreadHandle, GetCurrentProcess(), &thread, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        thread = nullptr;
    DWORD depth = thread != nullptr ? SuspendDriverLock() : 0;
    HANDLE waited = thread != nullptr ? thread : StreamingThreadHandle;
    if (WaitForSingleObject(waited, StopTimeLimitMs) != WAIT_OBJECT_0) {
        DiagnosticLine("streaming thread did not end within %lu ms: terminated", StopTimeLimitMs);
        TerminateThread(waited, TerminatedExitCode);
        WaitForSingleObject(waited, INFINITE);
    }
    ResumeDriverLock(depth);
    // Another caller may have reaped it while the lock was free.
    if (StreamingThreadId == id && StreamingThreadHandle != nullptr) {
        DWORD exitCode = 0;
        if (GetExitCodeThread(StreamingThreadHandle, &exitCode) && exitCode == TerminatedExitCode) {
            ResetEvent(StopEvent);
            timeEndPeriod(1);
            ClearInSwitchFlag();
            Stream.master = nullptr;
            InterlockedDecrement(&RunningThreads);
            FreeLibrary(ThreadModule);
        }
        CloseHandle(StreamingThreadHandle);
        StreamingThreadHandle = nullptr;
        StreamingThreadId = 0;
    }
    if (thread != nullptr) CloseHandle(thread);
}

}  // namespace

void StampResync()
{
    InterlockedIncrement(&StreamResyncs);
    TrayStampResync();
}

void CreateStreamingEvents()
{
    StartEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    PlaceholderEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    StopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    RestartEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

void CloseStreamingEvents()
{
    for (HANDLE* event : {&StartEvent, &PlaceholderEvent, &StopEvent, &RestartEvent}) {
        if (*event != nullptr) CloseHandle(*event);
        *event = nullptr;
    }
}

bool StartStreaming()
{
    if (StreamingThreadHandle != nullptr) return false;
    // Requests that an ended thread left unanswered must not reach the new one.
    ResetEvent(StopEvent);
    ResetEvent(RestartEvent);
    ResetEvent(StartEvent);
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&StreamingThread),
                            &ThreadModule))
        return false;
    InterlockedIncrement(&RunningThreads);
    StreamingThreadHandle =
        CreateThread(nullptr, StreamingStackCommit, StreamingThread, nullptr, 0, &StreamingThreadId);
    if (StreamingThreadHandle == nullptr) {
        InterlockedDecrement(&RunningThreads);
        FreeLibrary(ThreadModule);
        return false;
    }
    SetEvent(StartEvent);
    return true;
}

bool OnStreamingThread()
{
    return StreamingThreadId != 0 && GetCurrentThreadId() == StreamingThreadId;
}

bool StreamingThreadExists()
{
    return StreamingThreadHandle != nullptr;
}

void StopStreaming()
{
    if (StreamingThreadHandle == nullptr) return;
    if (GetCurrentThreadId() == StreamingThreadId) {
        EndStreamInCallback();
    } else {
        SetEvent(StopEvent);
        AwaitStreamingThread();
    }
    TrayKillTimer();
}

void LeaveIfEndedInCallback()
{
    if (ThreadLeavingAfterCallback != GetCurrentThreadId()) return;
    ThreadLeavingAfterCallback = 0;
    if (HANDLE own = __atomic_exchange_n(&EndingThread, HANDLE(nullptr), __ATOMIC_SEQ_CST)) CloseHandle(own);
    ExitStreamingThread();
}

bool DriverThreadsRunning()
{
    return __atomic_load_n(&RunningThreads, __ATOMIC_SEQ_CST) != 0;
}
