#include "driver/engine/pin_restart.h"

#include <cstring>

#include "driver/core/active_pins.h"
#include "driver/core/ks_requests.h"
#include "driver/engine/cache_flush.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/conversion/rate_tables.h"
#include "driver/engine/pin_conversion.h"
#include "driver/engine/pin_requests.h"
#include "driver/engine/realtime_scheduling.h"
#include "driver/engine/service_quirks.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_setup.h"
#include "driver/engine/streaming_thread.h"

namespace {

constexpr int OpenAttempts = 5;
constexpr DWORD FirstRetryPauseMs = 256;
constexpr DWORD RetryPauseStepMs = 128;
constexpr DWORD ReopenPauseMs = 100;

bool IsConverting(const PinRecord* pin)
{
    return UsesRateConverter(PinWaveFormat(pin)->samplesPerSec, ActiveHostRate);
}

// Device frames of one host block at the start (capture) or end (render) of a converter
// period.
DWORD BlockDeviceFrames(const PinRecord* pin, bool render)
{
    if (!IsConverting(pin)) return ActiveBufferSize;
    return RateFrameTables().blockFrames[render ? PeriodHostFrames - 1 : 0];
}

// The intersection's format at the current rate, or the stored one moved to that rate;
// false when the intersection answers a format the pin's memory does not fit.
bool FormatForCurrentRate(PinRecord* pin)
{
    if (!pin->formatBySearch) {
        Reintersection answer = ReintersectPinFormat(pin);
        if (answer != Reintersection::NoAnswer) return answer == Reintersection::Fits;
    }
    KsWaveFormatExtensible* wave = PinWaveFormat(pin);
    wave->samplesPerSec = ChoosePinRate(pin);
    wave->avgBytesPerSec = wave->blockAlign * wave->samplesPerSec;
    return true;
}

// The first capture packet after a start is short: it arrives after the few milliseconds
// the device's clock needs to settle rather than after a whole block.
DWORD FirstCaptureFrames(const PinRecord* pin)
{
    DWORD milliseconds = WindowsAtLeast(6, 1) ? 4 : 5;
    return (milliseconds * PinWaveFormat(pin)->samplesPerSec + 999) / 1000;
}

void PrimeRender(PinRecord* pin)
{
    if (pin->streamFlags & LoopedMode) return;
    if (pin->streamFlags & LargePacketMode) {
        SubmitRenderPacket(pin);
        SubmitRenderPacket(pin);
    } else {
        // The silent packets use the last rate-table entries, so the host's first block
        // starts a converter period.
        pin->conversion.rateTableIndex = PeriodHostFrames + 1 - PacketsInFlight;
        pin->completedCount = 0;
        pin->inFlight = 0;
        if (LookUpServiceQuirk(pin->device).latencyMode != 1) pin->streamFlags |= DryQueueTolerated;
        for (DWORD packet = 1; packet < PacketsInFlight; ++packet) SubmitRenderPacket(pin);
    }
}

bool IsStandardCapture(const PinRecord* pin)
{
    return IsCapturePin(pin) && IsStandardMode(pin->streamFlags);
}

// Standard render pins are paced by capture completions. Without an open standard
// capture pin (none configured, or none that could open), each one's first wait
// returns at once on its slot 7, as if a packet had completed there.
void KickUnpacedRender()
{
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (IsStandardCapture(pin) && IsPinOpen(pin)) return;
    }
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (IsCapturePin(pin) || !IsStandardMode(pin->streamFlags) || !IsPinOpen(pin)) continue;
        OVERLAPPED& kick = pin->packetOverlapped[PacketSlots - 1];
        kick.Internal = 0;  // a completion that succeeded
        SetEvent(kick.hEvent);
        pin->completedCount = DWORD(-1);
        InterlockedIncrement(&pin->inFlight);
    }
}

void PrimeCapture(PinRecord* pin)
{
    if (pin->streamFlags & LoopedMode) return;
    if (pin->streamFlags & LargePacketMode) {
        SubmitCapturePacket(pin);
        SubmitCapturePacket(pin);
        return;
    }
    pin->conversion.rateTableIndex = 0;
    SubmitShortCapturePacket(pin, FirstCaptureFrames(pin));
    for (int packet = 1; packet < PacketSlots; ++packet) SubmitCapturePacket(pin);
    pin->conversion.submittedCount = 0;
    pin->overrunCount = 0;
}

// Looped and large-packet pins without notification start one block into their loop:
// render writes one block ahead of the start, capture reads one block before the end.
// A notifying pin starts at its first half, until the first switch places it.
void PlaceFirstLoopPosition(PinRecord* pin, bool render)
{
    if (!(pin->streamFlags & (LoopedMode | LargePacketMode))) return;
    ConversionPin& conversion = pin->conversion;
    if (pin->notificationEvent != nullptr) {
        conversion.loopPosition = reinterpret_cast<ULONG_PTR>(conversion.packetData[0]);
        return;
    }
    ULONG_PTR block = ULONG_PTR(BlockDeviceFrames(pin, render)) * conversion.blockAlign;
    conversion.loopPosition = render ? reinterpret_cast<ULONG_PTR>(conversion.packetData[2]) + block
                                     : reinterpret_cast<ULONG_PTR>(conversion.packetData[3]) - block;
}

void ClearCounters(PinRecord* pin)
{
    ConversionPin& conversion = pin->conversion;
    conversion.submittedCount = 0;
    conversion.convertedCount = 0;
    conversion.rateTableIndex = 0;
    conversion.measuredOffsetMs = 0;
    pin->completedCount = 0;
    pin->inFlight = 0;
    pin->overrunCount = 0;
    pin->lastCompletionTime = 0;
    pin->previousReferenceTime = 0;
    pin->previousReferenceCount = 0;
    pin->streamFlags &= ~OffsetMeasured;
    if (!(pin->streamFlags & LoopedMode) && conversion.packetData[0] != nullptr)
        std::memset(conversion.packetData[0], 0, PacketAreaBytes(pin));
}

void MarkCreateFailure(PinRecord* pin)
{
    if (pin->lastCreateResult == ERROR_NO_SYSTEM_RESOURCES)
        pin->flags &= ~(RecordOpen | RecordOpenFailed | PinInstanceFree);
    else
        MarkPinFailed(pin);
}

// Clears the pin and queues or places its first packets, as at every start.
void PrimePin(PinRecord* pin)
{
    ClearCounters(pin);
    bool render = !IsCapturePin(pin);
    if (render)
        PrimeRender(pin);
    else
        PrimeCapture(pin);
    PlaceFirstLoopPosition(pin, render);
    RestartRateConverter(pin->conversion.converter, pin->conversion.channels,
                         render ? ConversionDirection::Render : ConversionDirection::Capture);
}

void ResetPacketEvents(PinRecord* pin)
{
    for (OVERLAPPED& packet : pin->packetOverlapped)
        if (packet.hEvent != nullptr) ResetEvent(packet.hEvent);
}

// A soft restart keeps the pin's handle: STOP cancels what is queued and rewinds the
// position, and the cancelled requests must be done before their slots are used again.
bool StopForRearm(PinRecord* pin)
{
    return IsPinOpen(pin) && SetPinState(pin, KSSTATE_STOP) && AwaitOutstandingRequests(pin, CancelledRequestLimitMs);
}

// Primes a stopped pin again in PAUSE. A looped buffer is the device's own memory and
// still holds the old stream: it starts over silent, as a new one would.
bool RearmPin(PinRecord* pin)
{
    ResetPacketEvents(pin);
    if (pin->notificationEvent != nullptr) ResetEvent(pin->notificationEvent);
    if (!SetPinState(pin, KSSTATE_PAUSE)) return false;
    const ConversionPin& conversion = pin->conversion;
    if ((pin->streamFlags & LoopedMode) && conversion.packetData[2] != nullptr) {
        std::memset(conversion.packetData[2], 0, conversion.packetData[3] - conversion.packetData[2]);
        FlushCacheRange(conversion.packetData[2], conversion.packetData[3]);
    }
    PrimePin(pin);
    return true;
}

// Waits `milliseconds`; false when StopEvent came first.
bool PauseUnlessStopped(DWORD milliseconds)
{
    return WaitForSingleObject(StopEvent, milliseconds) != WAIT_OBJECT_0;
}

}  // namespace

void RestartPin(PinRecord* pin)
{
    if (IsPinOpen(pin)) {
        ClosePin(pin);
        Sleep(ReopenPauseMs);
    }
    FilterRecord* filter = pin->filter;
    if (filter->handle == INVALID_HANDLE_VALUE) {
        InterlockedAnd(reinterpret_cast<volatile LONG*>(&filter->flags), LONG(~(RecordOpen | RecordOpenFailed)));
        OpenFilter(filter);
    }
    bool looped = pin->streamFlags & LoopedMode;
    // Requests cancelled by the close may complete a little later; their slots are
    // reused only then. A device that never completes them cannot hold the restart up.
    AwaitOutstandingRequests(pin, CancelledRequestLimitMs);
    if (!looped) ResetPacketEvents(pin);

    if (!FormatForCurrentRate(pin)) {
        MarkPinFailed(pin);
        return;
    }
    if (!CreatePin(pin)) {
        MarkCreateFailure(pin);
        return;
    }
    pin->recordedState = KSSTATE_STOP;
    if (!PrepareLoopedBuffer(pin)) return;
    if (!looped) SetPinHint(pin, 4);
    SetPinState(pin, KSSTATE_PAUSE);
    DescribePinForConversion(pin);
    PrimePin(pin);
    pin->flags = (pin->flags & ~RecordOpenFailed) | RecordOpen;
}

bool OpenAllPins()
{
    bool anyOpen = false;
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        for (int attempt = 1; attempt <= OpenAttempts; ++attempt) {
            if (attempt > 1 && !PauseUnlessStopped(FirstRetryPauseMs + (attempt - 2) * RetryPauseStepMs)) return false;
            RestartPin(pin);
            if (!(pin->flags & RecordOpenFailed)) break;
        }
        anyOpen |= IsPinOpen(pin);
    }
    // A pin that gave up while another opened most likely met its device on the way back
    // (a replug), or failed for a moment: one more attempt now rather than at the next
    // retry of closed pins.
    if (anyOpen)
        for (DWORD index = 0; index < ActivePinCount; ++index)
            if (!IsPinOpen(ActivePins[index].pin)) RestartPin(ActivePins[index].pin);
    KickUnpacedRender();
    return true;
}

bool RetryClosedPins()
{
    bool opened = false;
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        // A pin whose cancelled requests are still with the device waits: the others
        // stream meanwhile and must not be held up.
        if (IsPinOpen(pin) || !AwaitOutstandingRequests(pin, 0)) continue;
        RestartPin(pin);
        opened |= IsPinOpen(pin);
    }
    return opened;
}

bool RearmAllPins()
{
    for (DWORD index = 0; index < ActivePinCount; ++index)
        if (!StopForRearm(ActivePins[index].pin)) return false;
    for (DWORD index = 0; index < ActivePinCount; ++index)
        if (!RearmPin(ActivePins[index].pin)) return false;
    KickUnpacedRender();
    return true;
}

void StopAllPins()
{
    for (DWORD index = 0; index < ActivePinCount; ++index) ClosePin(ActivePins[index].pin);
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        FilterRecord* filter = ActivePins[index].pin->filter;
        if (filter->handle != INVALID_HANDLE_VALUE) CloseFilter(filter);
    }
}
