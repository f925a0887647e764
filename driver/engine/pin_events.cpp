#include "driver/engine/pin_events.h"

#include "driver/core/active_pins.h"
#include "driver/engine/buffer_switch.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/pin_requests.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_run.h"
#include "driver/engine/streaming_thread.h"
#include "driver/engine/switch_timing.h"

namespace {

constexpr DWORD OverrunLimit = 64;
constexpr DWORD FullRenderQueue = 8;
constexpr DWORD CaptureBacklogLimit = 8;
constexpr DWORD StartDelayLimitMs = 200;
constexpr DWORD RunFailurePauseMs = 200;
constexpr LONG OffsetLimitMs = 50;
constexpr DWORD OffsetMeasuredBeforeCompletion = 16;

bool IsStandardCapture(const PinRecord* pin)
{
    return IsStandardMode(pin->streamFlags) && IsCapturePin(pin);
}

bool IsStandardRender(const PinRecord* pin)
{
    return IsStandardMode(pin->streamFlags) && !IsCapturePin(pin);
}

// A standard capture pin has a completed packet not yet converted.
bool HasUnconvertedPacket(const PinRecord* pin)
{
    return LONG(pin->completedCount - pin->conversion.convertedCount) > 0;
}

// Standard render pins wait in PAUSE until capture data flows. A closed pin is passed
// over: the others play on.
bool StartStandardRender()
{
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (IsStandardRender(pin) && IsPinOpen(pin) && !SetPinState(pin, KSSTATE_RUN)) return false;
    }
    return true;
}

// A switch is due once every open standard capture pin has a packet to convert. A pin
// that could not open never completes: waiting for it would silence every output.
RestartCause CheckCaptureReady()
{
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (IsStandardCapture(pin) && IsPinOpen(pin) && !HasUnconvertedPacket(pin)) return RestartCause::None;
    }
    if (!Stream.firstCompleteSetSeen) {
        Stream.firstCompleteSetSeen = true;
        DWORD delay = LastWakeUpTime - Stream.streamStartTime;
        if (delay < StartDelayLimitMs) StartDelayMs = delay;
        if (ActivePinModes.standardRender != 0 && !StartStandardRender()) {
            Sleep(RunFailurePauseMs);
            return RestartCause::RunFailure;
        }
    }
    DoSwitch();
    if (Stream.master == nullptr && ++Stream.subBlockCount >= BlocksPerLargePacket) {
        Stream.subBlockCount = 0;
        Stream.referenceTime = LastWakeUpTime;
        ++Stream.referenceCount;
    }
    return RestartCause::None;
}

void UpdateRenderQueueDepth()
{
    DWORD depth = 0;
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* other = ActivePins[index].pin;
        if (IsStandardRender(other) && DWORD(other->inFlight) > depth) depth = DWORD(other->inFlight);
    }
    Stream.renderQueueDepth = depth;
}

// One completion of a standard render pin. A queue that runs dry is a restart unless
// the device plays silence then.
RestartCause CountRenderCompletion(PinRecord* pin)
{
    if (PacketRequestEnd(pin, CompletionSlot(pin)) == RequestEnd::Failed) return RestartCause::DeviceError;
    if (InterlockedDecrement(&pin->inFlight) == 0 && !(pin->streamFlags & DryQueueTolerated))
        return RestartCause::RenderUnderrun;
    ++pin->completedCount;
    // The device plays again: a queue it let grow while it stood still is trimmed now.
    Stream.renderTrimsUnplayed = 0;
    return RestartCause::None;
}

// Render completions that came while the thread was away wait behind the capture
// slots in the wait. They are counted before the queue-depth rules, which would
// otherwise take them for packets still in flight.
RestartCause CountCompletedRender()
{
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (!IsStandardRender(pin) || !IsPinOpen(pin)) continue;
        while (pin->inFlight > 0 &&
               WaitForSingleObject(pin->packetOverlapped[CompletionSlot(pin)].hEvent, 0) == WAIT_OBJECT_0) {
            RestartCause cause = CountRenderCompletion(pin);
            if (cause != RestartCause::None) return cause;
        }
    }
    UpdateRenderQueueDepth();
    return RestartCause::None;
}

RestartCause HandleStandardCapture(PinRecord* pin)
{
    int slot = CompletionSlot(pin);
    if (PacketRequestEnd(pin, slot) == RequestEnd::Failed) return RestartCause::DeviceError;
    SilenceUndeliveredCapture(pin, slot);
    ++pin->completedCount;
    if (ActivePinModes.standardRender != 0) {
        RestartCause cause = CountCompletedRender();
        if (cause != RestartCause::None) return cause;
        if (Stream.renderQueueDepth > PacketsInFlight + 1)
            ++pin->overrunCount;
        else
            pin->overrunCount = 0;
        if (pin->overrunCount == OverrunLimit) return RestartCause::RenderOverrun;
        if (Stream.renderQueueDepth >= FullRenderQueue) {
            if (pin->completedCount - pin->conversion.convertedCount >= CaptureBacklogLimit)
                return RestartCause::CaptureBacklog;
            return RestartCause::None;
        }
    }
    return CheckCaptureReady();
}

RestartCause HandleStandardRender(PinRecord* pin)
{
    RestartCause cause = CountRenderCompletion(pin);
    if (cause != RestartCause::None) return cause;
    UpdateRenderQueueDepth();
    return CheckCaptureReady();
}

// How far a non-master large pin's completions lie from the reference (the master's
// completions, or the reference periods): the smallest offset seen in its first packets.
void MeasureCompletionOffset(PinRecord* pin)
{
    DWORD currentTime = Stream.master ? Stream.master->lastCompletionTime : Stream.referenceTime;
    DWORD currentCount = Stream.master ? Stream.master->completedCount : Stream.referenceCount;
    DWORD oldTime = pin->previousReferenceTime;
    DWORD oldCount = pin->previousReferenceCount;
    pin->previousReferenceTime = currentTime;
    pin->previousReferenceCount = currentCount;

    DWORD completed = pin->completedCount;
    if (completed < 2 || completed >= OffsetMeasuredBeforeCompletion) return;
    struct Candidate {
        DWORD referenceCount;
        DWORD time;
        DWORD referenceTime;
    } candidates[] = {
        {oldCount, LastWakeUpTime, oldTime},
        {oldCount + 1, pin->lastCompletionTime, oldTime},
        {currentCount, LastWakeUpTime, currentTime},
        {currentCount + 1, pin->lastCompletionTime, currentTime},
    };
    for (const Candidate& candidate : candidates) {
        if (completed != candidate.referenceCount) continue;
        LONG offset = LONG(candidate.time - candidate.referenceTime);
        bool measured = pin->streamFlags & OffsetMeasured;
        if (offset >= -OffsetLimitMs && offset <= OffsetLimitMs && (!measured || offset < pin->conversion.measuredOffsetMs)) {
            pin->conversion.measuredOffsetMs = offset;
            pin->streamFlags |= OffsetMeasured;
        }
        return;
    }
}

RestartCause HandleLargePacket(PinRecord* pin)
{
    int slot = CompletionSlot(pin);
    if (PacketRequestEnd(pin, slot) == RequestEnd::Failed) return RestartCause::DeviceError;
    if (IsCapturePin(pin)) SilenceUndeliveredCapture(pin, slot);
    ++pin->completedCount;
    if (pin == Stream.master) {
        pin->lastCompletionTime = LastWakeUpTime;
        DWORD made;
        do {
            DoSwitch();
            made = Stream.subBlockCount++;
        } while (made < BlocksPerLargePacket);
        Stream.subBlockCount = 0;
        ScheduleNextSwitch();
    } else {
        MeasureCompletionOffset(pin);
        pin->lastCompletionTime = LastWakeUpTime;
    }
    if (IsCapturePin(pin))
        SubmitCapturePacket(pin);
    else
        SubmitRenderPacket(pin);
    return RestartCause::None;
}

// The looped master notifies at each half. A wake-up that finds the device already in
// the other half was late: two switches catch up.
RestartCause HandleLoopedNotification(PinRecord* master)
{
    const ConversionPin& loop = master->conversion;
    DWORD halfBytes = DWORD(loop.packetData[1] - loop.packetData[0]);
    if (halfBytes != 0) {
        DWORD position = ReadPinPosition(master) + master->fifoBytes;
        DWORD half = position / halfBytes % 2;
        DWORD expected = IsCapturePin(master) ? loop.convertedCount % 2 : (loop.submittedCount + 1) % 2;
        if (half != expected) {
            StampResync();
            DoSwitch();
        }
    }
    DoSwitch();
    return RestartCause::None;
}

}  // namespace

volatile LONG TrimmedRenderBlocks;

bool TrimsRenderQueue(PinRecord* pin)
{
    if (DWORD(pin->inFlight) <= PacketsInFlight) {
        Stream.renderTrimsUnplayed = 0;
        return false;
    }
    // Completions the thread has seen cannot tell a queue that grew while it caught up
    // after a late wake-up from completions that come late: only the device's position
    // says how much it holds.
    DWORD queued = 0;
    if (!ReadQueuedRenderBytes(pin, &queued)) return false;
    const ConversionPin& conversion = pin->conversion;
    ULONGLONG blockBytes = ULONGLONG(ActiveBufferSize) * conversion.sampleRate / ActiveHostRate * conversion.blockAlign;
    if (queued <= PacketsInFlight * blockBytes) {
        Stream.renderTrimsUnplayed = 0;
        return false;
    }
    // Catching up deepens a queue by fewer blocks than it has room for. One that stays
    // deep while no render packet completes is not being played: the queue rules restart
    // the stream then.
    if (Stream.renderTrimsUnplayed == PacketSlots - PacketsInFlight) return false;
    ++Stream.renderTrimsUnplayed;
    InterlockedIncrement(&TrimmedRenderBlocks);
    return true;
}

RestartCause HandlePinEvent(PinRecord* pin)
{
    if (pin == Stream.master && pin->notificationEvent != nullptr) return HandleLoopedNotification(pin);
    if (pin->streamFlags & LargePacketMode) return HandleLargePacket(pin);
    if (IsCapturePin(pin)) return HandleStandardCapture(pin);
    return HandleStandardRender(pin);
}
