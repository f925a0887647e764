// The USB profiles: one audio function each, served by the USB audio class driver.
#include "hardware_simulator/profile_parts.h"
#include "hardware_simulator/profiles.h"

#include <utility>
#include <vector>

namespace hardware_simulator {

namespace {

// 16-bit samples as plain PCM or WAVEFORMATEXTENSIBLE.
AcceptedFormat Pcm16(ChannelLayout layout, std::vector<DWORD> rates)
{
    return {.plain = true, .layouts = {layout}, .rates = std::move(rates)};
}

// 24-bit samples in the 3-byte subframes of the device: a 4-byte container does not
// fit them, and the class driver takes 24 bits only as WAVEFORMATEXTENSIBLE.
AcceptedFormat Packed24(ChannelLayout layout, std::vector<DWORD> rates)
{
    return {.containerBits = 24, .validBits = 24, .layouts = {layout}, .rates = std::move(rates)};
}

}  // namespace

Device Qorda8()
{
    Device device = UsbAudioFunction("VID_200C&PID_1002", "0100", "7&1a2b3c4d&0&0000");
    device.friendlyName = "Velmora QORDA-8";
    device.location = "QORDA-8";  // the product name, as some systems show it
    // Pro gear: the channels carry no speaker positions.
    PinType render = StreamingPin(KSPIN_DATAFLOW_IN, L"Line Out", RangePerRate(8, 24, 24, {44100, 48000, 88200, 96000}),
                                  0, StandardStreaming());
    PinType capture = StreamingPin(KSPIN_DATAFLOW_OUT, L"Line In",
                                   RangePerRate(8, 24, 24, {44100, 48000, 88200, 96000}), 0, StandardStreaming());
    render.intersection.extensible = true;
    capture.intersection.extensible = true;
    // All eight channels at once, in every alternate setting.
    render.formats = UsbClassFormats({Packed24({8, 0}, {44100, 48000, 88200, 96000})});
    capture.formats = render.formats;
    device.filters = {UsbAudioFilter(
        "QORDA-8", render, capture,
        {KSNODETYPE_DAC, KSNODETYPE_VOLUME, KSNODETYPE_MUTE, KSNODETYPE_ADC, KSNODETYPE_VOLUME, KSNODETYPE_MUTE})};
    return device;
}

Device QordaDeskPro()
{
    Device device = UsbAudioFunction("VID_4446&PID_0001", "0100", "7&3f09b2c&0&0000");
    device.location = "Port_#0001.Hub_#0004";  // no friendly name: only the description
    PinType render = StreamingPin(KSPIN_DATAFLOW_IN, L"Speakers", RangePerRate(4, 16, 24, {44100, 48000}), SpeakersQuad,
                                  StandardStreaming());
    PinType capture = StreamingPin(KSPIN_DATAFLOW_OUT, L"", RangePerRate(2, 16, 24, {44100, 48000}), SpeakersStereo,
                                   StandardStreaming());
    render.intersection.extensible = true;
    capture.intersection.extensible = true;
    std::vector<DWORD> rates = {44100, 48000};
    render.formats = UsbClassFormats({Pcm16({4, SpeakersQuad}, rates), Packed24({4, SpeakersQuad}, rates)});
    capture.formats = UsbClassFormats({Pcm16({2, SpeakersStereo}, rates), Packed24({2, SpeakersStereo}, rates)});
    device.filters = {
        UsbAudioFilter("QORDA DESK PRO", render, capture, {KSNODETYPE_DAC, KSNODETYPE_VOLUME, KSNODETYPE_ADC})};
    for (PinType& pin : device.filters[0].pins) pin.globalInstances.reset();  // its driver lacks GLOBALCINSTANCES
    return device;
}

Device UsbHeadset()
{
    Device device = UsbAudioFunction("VID_2F1A&PID_0E02", "0001", "7&25d1c8e1&0&0000");
    device.friendlyName = "USB Audio Device";
    device.location = "Port_#0003.Hub_#0001";
    PinType render = StreamingPin(KSPIN_DATAFLOW_IN, L"Speakers", {PcmRange(2, 16, 16, 48000, 48000)}, SpeakersStereo,
                                  StandardStreaming());
    PinType capture = StreamingPin(KSPIN_DATAFLOW_OUT, L"Microphone", {PcmRange(1, 16, 16, 48000, 48000)},
                                   SpeakerFrontCenter, StandardStreaming());
    render.formats = UsbClassFormats({Pcm16({2, SpeakersStereo}, {48000})});
    capture.formats = UsbClassFormats({Pcm16({1, SpeakerFrontCenter}, {48000})});
    device.filters = {UsbAudioFilter("USB Headset", render, capture,
                                     {KSNODETYPE_VOLUME, KSNODETYPE_MUTE, KSNODETYPE_DAC, KSNODETYPE_ADC,
                                      KSNODETYPE_VOLUME, KSNODETYPE_MUTE, KSNODETYPE_SUM})};
    return device;
}

}  // namespace hardware_simulator
