// The QORDA-8 on Windows 10's USB Audio 2.0 class driver (usbaudio2.sys), a WaveRT
// miniport: its pins stream through looped buffers only, sized in whole USB service
// intervals, with positions that move packet by packet and no position register.
#include "hardware_simulator/profile_parts.h"
#include "hardware_simulator/profiles.h"

namespace hardware_simulator {

namespace {

constexpr ULONG ServiceIntervalMs = 1;

// The class driver's side of the isochronous pipe: a buffer of whole packets, the
// position computed from the packets done (no register to map), notifications as
// the packets pass the buffer's halves, and one packet on its way to the converters.
LoopedBufferTraits UsbAudio2Buffer()
{
    LoopedBufferTraits traits;
    traits.rounding = BufferRounding::ToServiceIntervals;
    traits.serviceIntervalMs = ServiceIntervalMs;
    traits.positionRegister = false;
    traits.notifications = true;
    traits.latency = {0, ServiceIntervalMs * 10000, 0};
    return traits;
}

PinType LoopedUsbPin(ULONG dataFlow, std::wstring name)
{
    PinType pin = StreamingPin(dataFlow, std::move(name), RangePerRate(8, 24, 24, {44100, 48000, 88200, 96000}), 0,
                               LoopedStreaming());
    pin.intersection.extensible = true;
    // 24 bits in the device's 3-byte subslots, all eight channels, no speaker positions.
    pin.formats = WaveRtFormats(
        {{.containerBits = 24, .validBits = 24, .layouts = {{8, 0}}, .rates = {44100, 48000, 88200, 96000}}});
    pin.looped = UsbAudio2Buffer();
    return pin;
}

}  // namespace

Device Qorda8UsbAudio2()
{
    Device device = UsbAudioFunction("VID_200C&PID_1002", "0100", "7&1a2b3c4d&0&0000");
    device.description = "USB Audio Class 2 Device";
    device.friendlyName = "Velmora QORDA-8";  // the device's product string
    device.location = "QORDA-8";
    device.compatibleIds = {"USB\\Class_01&SubClass_01&Prot_20", "USB\\Class_01&SubClass_01", "USB\\Class_01"};
    device.manufacturer = "Microsoft";
    device.service = "usbaudio2";
    Filter filter = UsbAudioFilter(
        "QORDA-8", LoopedUsbPin(KSPIN_DATAFLOW_IN, L"Line Out"), LoopedUsbPin(KSPIN_DATAFLOW_OUT, L"Line In"),
        {KSNODETYPE_DAC, KSNODETYPE_VOLUME, KSNODETYPE_MUTE, KSNODETYPE_ADC, KSNODETYPE_VOLUME, KSNODETYPE_MUTE});
    filter.referenceString = "wave";
    filter.classes = ActiveIn({KSCATEGORY_AUDIO, KSCATEGORY_RENDER, KSCATEGORY_CAPTURE, KSCATEGORY_REALTIME});
    for (ULONG pinId : {UsbRenderPin, UsbCapturePin}) filter.pins[pinId].acceptsPinHint = false;
    device.filters = {filter};
    return device;
}

}  // namespace hardware_simulator
