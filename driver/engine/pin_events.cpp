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
constexpr DWORD FailedPosition = 0xFFFFFFFF;

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
        if (offset >= -OffsetLimitMs && offset <= OffsetLimitMs &&
            (!measured || offset < pin->conversion.measuredOffsetMs)) {
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

// Blocks the master has converted since the start: one per switch.
DWORD MasterBlocks(const PinRecord* master)
{
    const ConversionPin& loop = master->conversion;
    return IsCapturePin(master) ? loop.convertedCount : loop.submittedCount;
}

// The block of this switch in the master's loop: the half its notification handed over.
DWORD MasterHalf(const PinRecord* master)
{
    return MasterBlocks(master) % 2;
}

// The frame of its loop of two blocks where the device reads (render) or writes
// (capture) the pin's buffer. The position it reports is the sample at its converters:
// render reads the buffer a FIFO ahead of it, capture writes the buffer a FIFO behind.
bool ReadBufferFrame(PinRecord* pin, DWORD* frame)
{
    const DWORD loopFrames = 2 * ActiveBufferSize;
    const DWORD blockAlign = pin->conversion.blockAlign;
    DWORD position = ReadPinPosition(pin);
    if (position == FailedPosition || blockAlign == 0) return false;
    DWORD fifoFrames = pin->fifoBytes / blockAlign % loopFrames;
    position = position / blockAlign % loopFrames;
    *frame = (IsCapturePin(pin) ? position + loopFrames - fifoFrames : position + fifoFrames) % loopFrames;
    return true;
}

// How many frames the device runs ahead in `pin`'s buffer of where it stands in the
// master's, from reads close enough together: between two reads of the master that lie
// at most a few frames apart. False when no such reading was had.
bool FramesAheadOfMaster(PinRecord* master, PinRecord* pin, DWORD* ahead)
{
    constexpr int Attempts = 4;
    constexpr DWORD MostFramesBetweenReads = 8;
    const DWORD loopFrames = 2 * ActiveBufferSize;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        DWORD before = 0, frame = 0, after = 0;
        if (!ReadBufferFrame(master, &before) || !ReadBufferFrame(pin, &frame) || !ReadBufferFrame(master, &after))
            return false;
        DWORD spread = (after + loopFrames - before) % loopFrames;
        if (spread > MostFramesBetweenReads) continue;
        DWORD masterFrame = (before + spread / 2) % loopFrames;
        *ahead = (frame + loopFrames - masterFrame) % loopFrames;
        return true;
    }
    return false;
}

// A notifying pin other than the master started a moment before or after it: its
// halves are out of step with the master's notifications. Its block lies where its own
// half would, moved by the frames the device runs ahead in its buffer: that block is
// whole (capture) or free (render) for as long as the master's is. The distance is
// measured afresh at every switch that primes the device; from the host's first switch
// on each block follows the last.
void PlaceFollowers(PinRecord* master)
{
    if (Stream.switchEvents >= FirstHostSwitch()) return;
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (pin == master || pin->notificationEvent == nullptr || !IsPinOpen(pin)) continue;
        DWORD ahead = 0;
        if (!FramesAheadOfMaster(master, pin, &ahead)) continue;
        ConversionPin& conversion = pin->conversion;
        DWORD frame = (MasterHalf(master) * ActiveBufferSize + ahead) % (2 * ActiveBufferSize);
        conversion.loopPosition =
            reinterpret_cast<ULONG_PTR>(conversion.packetData[2]) + ULONG_PTR(frame) * conversion.blockAlign;
    }
}

// Halves the device's side of the master's buffer has passed since the start, from
// where it stands and the wraps seen at earlier notifications. False when its position
// cannot be read.
bool CountPassedHalves(PinRecord* master, DWORD* halves)
{
    DWORD frame = 0;
    if (!ReadBufferFrame(master, &frame)) return false;
    if (frame < Stream.lastLoopedPosition) ++Stream.loopedWraps;
    Stream.lastLoopedPosition = frame;
    *halves = 2 * Stream.loopedWraps + frame / ActiveBufferSize;
    return true;
}

// The looped master notifies as the device's side of its buffer passes from one half
// into the other: the half it left is the block to convert, captured whole or read out.
// The halves passed against the blocks converted say what is due. None: a notification
// whose half a catch-up already took. Two: a late wake-up, the device is back in the
// half to convert; two switches catch up, the first giving up the captured block the
// device is overwriting. More: whole cycles went by, and every two halves more are the
// same memory again; they are passed over.
RestartCause HandleLoopedNotification(PinRecord* master)
{
    PlaceFollowers(master);
    DWORD passed = 0;
    if (!CountPassedHalves(master, &passed)) {
        DoSwitch();
        return RestartCause::None;
    }
    LONG due = LONG(passed - Stream.skippedHalves - MasterBlocks(master));
    if (due <= 0) return RestartCause::None;
    if (due == 1) {
        DoSwitch();
        return RestartCause::None;
    }
    StampResync();
    DWORD cycles = DWORD(due - 1) / 2;
    Stream.skippedHalves += 2 * cycles;
    if (due - LONG(2 * cycles) == 2) DoSwitch(true);
    DoSwitch();
    return RestartCause::None;
}

}  // namespace

bool NotifiedCaptureOverwritten()
{
    PinRecord* master = Stream.master;
    DWORD passed = 0;
    if (master == nullptr || master->notificationEvent == nullptr || !IsCapturePin(master) || !IsPinOpen(master) ||
        !CountPassedHalves(master, &passed))
        return false;
    return LONG(passed - Stream.skippedHalves - MasterBlocks(master)) > 0;
}

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
