#include "driver/engine/pin_restart.h"

#include <cstring>

#include "driver/core/active_pins.h"
#include "driver/core/ks_requests.h"
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
    DWORD version = WindowsVersion();
    DWORD majorMinor = (version & 0xFF) << 8 | ((version >> 8) & 0xFF);
    DWORD milliseconds = majorMinor >= 0x601 ? 4 : 5;
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
        if (ActivePinModes.standardCapture == 0) {
            // Without capture completions to pace it, the first wait returns at once on
            // this pin's slot 7, as if a packet had completed.
            SetEvent(pin->packetOverlapped[PacketSlots - 1].hEvent);
            pin->completedCount = DWORD(-1);
            pin->inFlight = 1;
        }
        for (DWORD packet = 1; packet < PacketsInFlight; ++packet) SubmitRenderPacket(pin);
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
void PlaceFirstLoopPosition(PinRecord* pin, bool render)
{
    bool timedByPosition = (pin->streamFlags & (LoopedMode | LargePacketMode)) && pin->notificationEvent == nullptr;
    if (!timedByPosition) return;
    ConversionPin& conversion = pin->conversion;
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
        pin->flags = (pin->flags & ~RecordOpen) | RecordOpenFailed;
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
    if (!looped)
        for (OVERLAPPED& packet : pin->packetOverlapped)
            if (packet.hEvent != nullptr) ResetEvent(packet.hEvent);

    if (!FormatForCurrentRate(pin)) {
        pin->flags = (pin->flags & ~RecordOpen) | RecordOpenFailed;
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
    ClearCounters(pin);

    bool render = !IsCapturePin(pin);
    if (render)
        PrimeRender(pin);
    else
        PrimeCapture(pin);
    PlaceFirstLoopPosition(pin, render);
    RestartRateConverter(pin->conversion.converter, pin->conversion.channels,
                         render ? ConversionDirection::Render : ConversionDirection::Capture);
    pin->flags = (pin->flags & ~RecordOpenFailed) | RecordOpen;
}

bool OpenAllPins()
{
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        for (int attempt = 1; attempt <= OpenAttempts; ++attempt) {
            if (attempt > 1 && !PauseUnlessStopped(FirstRetryPauseMs + (attempt - 2) * RetryPauseStepMs)) return false;
            RestartPin(pin);
            if (!(pin->flags & RecordOpenFailed)) break;
        }
    }
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
