// What the streaming thread does when a pin's wait slot fires: a completed packet, or a
// notification of the looped master.
#include "driver/core/active_pins.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/pin_requests.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_run.h"
#include "driver/engine/streaming_thread.h"

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

// A switch is due once every standard capture pin has a packet to convert.
RestartCause CheckCaptureReady()
{
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (IsStandardCapture(pin) && !HasUnconvertedPacket(pin)) return RestartCause::None;
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

RestartCause HandleStandardCapture(PinRecord* pin)
{
    Stream.captureResubmits[Stream.captureResubmitCount++] = pin;
    ++pin->completedCount;
    if (ActivePinModes.standardRender != 0) {
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
    if (InterlockedDecrement(&pin->inFlight) == 0 && !(pin->streamFlags & DryQueueTolerated))
        return RestartCause::RenderUnderrun;
    DWORD depth = 0;
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* other = ActivePins[index].pin;
        if (IsStandardRender(other) && DWORD(other->inFlight) > depth) depth = DWORD(other->inFlight);
    }
    Stream.renderQueueDepth = depth;
    ++pin->completedCount;
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

RestartCause HandlePinEvent(PinRecord* pin)
{
    if (pin == Stream.master && pin->notificationEvent != nullptr) return HandleLoopedNotification(pin);
    if (pin->streamFlags & LargePacketMode) return HandleLargePacket(pin);
    if (IsCapturePin(pin)) return HandleStandardCapture(pin);
    return HandleStandardRender(pin);
}
