#include "driver/core/latencies.h"

#include <cstdint>

#include "driver/core/active_pins.h"
#include "driver/core/oem_values.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/service_quirks.h"
#include "driver/engine/stream_flags.h"

namespace {

constexpr long NoDeviceLatency = 256;
// Frames that the 44100-to-48000 Hz converter holds back.
constexpr std::int64_t ConverterDelay = 33;
constexpr std::int64_t LongestLatency = 0x7FFFFFFF;

// Settings in milliseconds are signed and truncate toward zero.
std::int64_t MillisecondsToFrames(LONG milliseconds, DWORD rate)
{
    return std::int64_t(milliseconds) * rate / 1000;
}

// A device's extra latency counts only within a sane range: a setting stored in memory
// by a configuration program is not range-checked on its way in.
std::int64_t ExtraLatency(const DeviceRecord* device, bool capture)
{
    DWORD extra = capture ? device->latencyIn : device->latencyOut;
    return extra <= LongestExtraLatency ? extra : 0;
}

std::int64_t PinLatency(const PinRecord* pin, DWORD rate, DWORD bufferSize)
{
    const bool capture = IsCapturePin(pin);
    const DeviceRecord* device = pin->device;
    std::int64_t latency;
    if (!IsStandardMode(pin->streamFlags)) {
        // Looped and large-packet pins: one block and the device FIFO, plus the block's
        // offset in the device buffer when no notification times it.
        latency = std::int64_t(bufferSize) + pin->fifoFrames;
        if (pin->notificationEvent == nullptr) latency += MillisecondsToFrames(LONG(device->bufferPosition), rate);
    } else {
        // Standard pins: the kernel driver's margin and latency factor for the
        // direction, and for render pins the extra packets queued ahead.
        ServiceQuirk quirk = LookUpServiceQuirk(device);
        LONG margin = LONG(capture ? quirk.inputMargin : quirk.outputMargin);
        DWORD factor = capture ? quirk.inputFactor : quirk.outputFactor;
        latency = MillisecondsToFrames(margin, rate) + std::int64_t((std::uint64_t(factor) * bufferSize) >> 24);
        std::int64_t tenMilliseconds = MillisecondsToFrames(10, rate);
        if (quirk.latencyMode == 2 && tenMilliseconds >= bufferSize) latency += (tenMilliseconds - bufferSize) / 2;
        if (!capture) latency += (std::int64_t(PacketsInFlight) - 2) * bufferSize;
        if (rate == 44100 && Convert44100To48000) latency += ConverterDelay;
    }
    return latency + ExtraLatency(device, capture);
}

}  // namespace

void ComputeLatencies(long* input, long* output)
{
    if (ActivePinCount == 0) {
        *input = *output = NoDeviceLatency;
        return;
    }
    std::int64_t largest[2] = {0, 0};  // output, input
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        const PinRecord* pin = ActivePins[index].pin;
        std::int64_t latency = PinLatency(pin, RequestedHostRate, RequestedBufferSize);
        std::int64_t& direction = largest[IsCapturePin(pin)];
        if (latency > direction) direction = latency;
    }
    *output = long(largest[0] < LongestLatency ? largest[0] : LongestLatency);
    *input = long(largest[1] < LongestLatency ? largest[1] : LongestLatency);
}
