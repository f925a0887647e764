#include "driver/core/active_pins.h"

#include <cstring>

#include "driver/core/sample_rates.h"
#include "driver/core/settings.h"
#include "driver/engine/conversion/channel_slab.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/stream_flags.h"

namespace {

constexpr DWORD NoDeviceBufferSize = 256;

bool StartsWith(const char* text, const char* prefix)
{
    return text != nullptr && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The filter's friendly name, or, for a generic "USB..." name of the USB audio class
// driver, the device's location text, which names the product. Long names lose
// leading words while any remain, then keep at most `limit` characters.
void BuildDisplayName(const PinRecord* pin, DWORD limit, char* displayName)
{
    const DeviceRecord* device = pin->device;
    const char* name = pin->filter->friendlyName != nullptr ? pin->filter->friendlyName : "";
    if (StartsWith(name, "USB") && device->locationText != nullptr && device->locationText[0] != '\0' &&
        StartsWith(device->serviceName, "usbaudio"))
        name = device->locationText;
    while (std::strlen(name) >= limit) {
        const char* separator = name;
        while (*separator != '\0' && static_cast<unsigned char>(*separator) > ' ') ++separator;
        if (*separator == '\0') break;
        name = separator + 1;
    }
    lstrcpynA(displayName, name, int(limit + 1));
}

void CountByMode(const PinRecord* pin)
{
    bool capture = IsCapturePin(pin);
    if (pin->streamFlags & LoopedMode)
        ++(capture ? ActivePinModes.loopedCapture : ActivePinModes.loopedRender);
    else if (pin->streamFlags & LargePacketMode)
        ++(capture ? ActivePinModes.largePacketCapture : ActivePinModes.largePacketRender);
    else
        ++(capture ? ActivePinModes.standardCapture : ActivePinModes.standardRender);
}

void RegisterPin(PinRecord* pin)
{
    bool capture = IsCapturePin(pin);
    DWORD& channelCount = capture ? InputChannelCount : OutputChannelCount;
    if (ActivePinCount == MaxActivePins || channelCount + HostChannelsOf(pin) > MaxHostChannels) return;

    if (pin->device->bufferSize > PreferredBufferSize) PreferredBufferSize = pin->device->bufferSize;
    if (!capture && IsStandardMode(pin->streamFlags) && pin->kernelBuffers > PacketsInFlight)
        PacketsInFlight = pin->kernelBuffers;
    ActivePin& active = ActivePins[ActivePinCount++];
    active.pin = pin;
    CountByMode(pin);
    pin->conversion.firstSlabChannel = channelCount;
    channelCount += HostChannelsOf(pin);
    BuildDisplayName(pin, capture ? CaptureDisplayNameLength : RenderDisplayNameLength, active.displayName);
    if (pin->streamFlags & Prefer48k) Convert44100To48000 = true;
    NarrowRateRange(pin);
}

void RegisterOpenPinsOf(DWORD dataFlow)
{
    WalkTree(
        [](DeviceRecord*, FilterRecord*, PinRecord* pin, void* context) {
            if ((pin->flags & RecordOpen) && pin->dataFlow == *static_cast<DWORD*>(context)) RegisterPin(pin);
        },
        &dataFlow);
}

}  // namespace

ActivePin ActivePins[MaxActivePins];
DWORD ActivePinCount;
DWORD InputChannelCount;
DWORD OutputChannelCount;
DWORD PreferredBufferSize = NoDeviceBufferSize;

void ClearActivePins()
{
    ActivePinCount = 0;
    InputChannelCount = 0;
    OutputChannelCount = 0;
    PreferredBufferSize = NoDeviceBufferSize;
    ConfigurationMinimumRate = 0;
    ConfigurationMaximumRate = 0xFFFFFFFF;
    ActivePinModes = {};
    Convert44100To48000 = false;
    PacketsInFlight = 2;
}

void RegisterOpenPins()
{
    ClearActivePins();
    PreferredBufferSize = 0;
    if (!(GlobalSettingsFlags & GlobalFlagInputsOff)) RegisterOpenPinsOf(KSPIN_DATAFLOW_OUT);
    RegisterOpenPinsOf(KSPIN_DATAFLOW_IN);
    if (InputChannelCount == 0 && OutputChannelCount == 0) PreferredBufferSize = NoDeviceBufferSize;
}

DWORD ReportedChannelCount(bool input)
{
    return SlabRunsForChannels(input ? InputChannelCount : OutputChannelCount);
}

DWORD HostChannelsOf(PinRecord* pin)
{
    return PinRunCount(PinWaveFormat(pin)->channels);
}

bool IsCapturePin(const PinRecord* pin)
{
    return pin->dataFlow == KSPIN_DATAFLOW_OUT;
}
