// The HD Audio codec: a WaveRT driver with a wave filter (and its topology filter) per
// endpoint, taking 16 bits, or 24 valid bits in 32, at 44.1 and 48 kHz.
#include "hardware_simulator/profile_parts.h"
#include "hardware_simulator/profiles.h"

#include <utility>

namespace hardware_simulator {

namespace {

// The controller's DMA engine: 128-byte aligned buffers, a FIFO of 256 bytes, and
// half a millisecond through the codec.
LoopedBufferTraits HdAudioDma()
{
    LoopedBufferTraits traits;
    traits.rounding = BufferRounding::To128Bytes;
    traits.latency = {256, 0, 5000};
    return traits;
}

// 16 bits as plain PCM or extensible, 24 valid bits in 32 as extensible only; in
// stereo, and on a multichannel pin also in its own layout.
FormatRules CodecFormats(ULONG channels, DWORD channelMask)
{
    AcceptedFormat samples16{.plain = true, .layouts = {{2, SpeakersStereo}}, .rates = {44100, 48000}};
    if (channels > 2) samples16.layouts.push_back({WORD(channels), channelMask});
    AcceptedFormat samples24In32 = samples16;
    samples24In32.plain = false;
    samples24In32.containerBits = 32;
    samples24In32.validBits = 24;
    return WaveRtFormats({samples16, samples24In32});
}

PinType WaveRtPin(ULONG dataFlow, ULONG channels, DWORD channelMask, std::vector<DataRange> extraRanges = {})
{
    std::vector<DataRange> ranges = {PcmRange(channels, 16, 24, 44100, 48000)};
    ranges.insert(ranges.end(), extraRanges.begin(), extraRanges.end());
    PinType pin = StreamingPin(dataFlow, L"", ranges, channelMask, LoopedStreaming());
    pin.intersection.extensible = true;
    pin.intersection.widerSamplesIn32Bits = true;
    pin.formats = CodecFormats(channels, channelMask);
    pin.looped = HdAudioDma();
    return pin;
}

// A wave filter that renders only: its streaming pin and the bridge pin to its topology.
Filter RenderWaveFilter(std::string referenceString, std::string friendlyName, PinType render, std::vector<GUID> nodes)
{
    Filter filter;
    filter.referenceString = std::move(referenceString);
    filter.classes = ActiveIn({KSCATEGORY_AUDIO, KSCATEGORY_RENDER, KSCATEGORY_REALTIME});
    filter.friendlyName = std::move(friendlyName);
    filter.pins = {std::move(render), BridgePin(KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_NONE)};
    filter.nodes = std::move(nodes);
    return filter;
}

Filter AnalogWaveFilter()
{
    Filter filter;
    filter.referenceString = "speakerwave";
    filter.classes = ActiveIn({KSCATEGORY_AUDIO, KSCATEGORY_RENDER, KSCATEGORY_CAPTURE, KSCATEGORY_REALTIME});
    filter.friendlyName = "Speakers";
    filter.pins = {WaveRtPin(KSPIN_DATAFLOW_IN, 2, SpeakersStereo),
                   BridgePin(KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_NONE),  // to the topology filter
                   BridgePin(KSPIN_DATAFLOW_IN, KSPIN_COMMUNICATION_NONE),   // from the topology filter
                   WaveRtPin(KSPIN_DATAFLOW_OUT, 2, SpeakersStereo)};
    filter.nodes = {KSNODETYPE_DAC, KSNODETYPE_ADC};
    return filter;
}

// Jacks and mixer: every pin is a bridge pin, and no alias makes it a render or
// capture filter.
Filter AnalogTopologyFilter()
{
    Filter filter;
    filter.referenceString = "speakertopo";
    filter.classes = ActiveIn({KSCATEGORY_AUDIO, KSCATEGORY_TOPOLOGY});
    filter.friendlyName = "Speakers";
    filter.pins = {BridgePin(KSPIN_DATAFLOW_IN, KSPIN_COMMUNICATION_NONE),    // from the wave filter
                   BridgePin(KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_NONE),   // line out jack
                   BridgePin(KSPIN_DATAFLOW_IN, KSPIN_COMMUNICATION_NONE),    // microphone jack
                   BridgePin(KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_NONE)};  // to the wave filter
    filter.nodes = {KSNODETYPE_VOLUME, KSNODETYPE_MUTE, KSNODETYPE_SUM, KSNODETYPE_VOLUME, KSNODETYPE_MUTE};
    return filter;
}

// Compressed Dolby Digital passes through S/PDIF next to PCM.
DataRange DolbyDigitalRange()
{
    DataRange range = PcmRange(2, 16, 16, 48000, 48000);
    range.subFormat = KSDATAFORMAT_SUBTYPE_IEC61937_DOLBY_DIGITAL;
    return range;
}

}  // namespace

Device HdAudioCodec()
{
    Device device;
    device.instanceId = "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0299&SUBSYS_1D2F0101&REV_1000\\4&1e0a8f5&0&0001";
    device.description = "High Definition Audio Device";
    device.friendlyName = "High Definition Audio Device";
    device.hardwareIds = {"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0299&SUBSYS_1D2F0101&REV_1000",
                          "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0299&SUBSYS_1D2F0101"};
    device.compatibleIds = {"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0299&REV_1000", "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0299",
                            "HDAUDIO\\FUNC_01&VEN_10EC", "HDAUDIO\\FUNC_01"};
    device.manufacturer = "(Standard system devices)";
    device.service = "HdAudAddService";
    device.location = "Internal High Definition Audio Bus";
    device.enumerator = "HDAUDIO";
    device.filters = {AnalogWaveFilter(), AnalogTopologyFilter(),
                      RenderWaveFilter("spdifwave", "Digital Audio (S/PDIF)",
                                       WaveRtPin(KSPIN_DATAFLOW_IN, 2, SpeakersStereo, {DolbyDigitalRange()}),
                                       {KSNODETYPE_DAC, KSNODETYPE_SPDIF_INTERFACE}),
                      RenderWaveFilter("hdmiwave", "HDMI Output", WaveRtPin(KSPIN_DATAFLOW_IN, 8, Speakers7Point1),
                                       {KSNODETYPE_HDMI_INTERFACE})};
    return device;
}

}  // namespace hardware_simulator
