#include "hardware_simulator/profile_parts.h"

#include <utility>

#include "hardware_simulator/profiles.h"

namespace hardware_simulator {

KsIdentifier StandardStreaming()
{
    return {KSINTERFACESETID_Standard, KSINTERFACE_STANDARD_STREAMING, 0};
}

KsIdentifier LoopedStreaming()
{
    return {KSINTERFACESETID_Standard, KSINTERFACE_STANDARD_LOOPED_STREAMING, 0};
}

FormatRules UsbClassFormats(std::vector<AcceptedFormat> accepted)
{
    return {std::move(accepted), ChannelMaskRule::ZeroOrLayout, SampleSizeRule::ZeroOrBlockAlign,
            ERROR_INVALID_PARAMETER};
}

FormatRules WaveRtFormats(std::vector<AcceptedFormat> accepted)
{
    return {std::move(accepted), ChannelMaskRule::ExactLayout, SampleSizeRule::ZeroOrBlockAlign, ERROR_NO_MATCH};
}

namespace {

KsIdentifier StandardMedium()
{
    return {KSMEDIUMSETID_Standard, KSMEDIUM_TYPE_ANYINSTANCE, 0};
}

}  // namespace

PinType StreamingPin(ULONG dataFlow, std::wstring name, std::vector<DataRange> ranges, DWORD channelMask,
                     const KsIdentifier& streamingInterface)
{
    PinType pin;
    pin.communication = KSPIN_COMMUNICATION_SINK;
    pin.dataFlow = dataFlow;
    pin.name = std::move(name);
    pin.instances = {1, 0};
    pin.globalInstances = InstanceCount{1, 0};
    pin.interfaces = {streamingInterface};
    pin.mediums = {StandardMedium()};
    pin.dataRanges = std::move(ranges);
    pin.channelMask = channelMask;
    return pin;
}

PinType BridgePin(ULONG dataFlow, ULONG communication)
{
    PinType pin;
    pin.communication = communication;
    pin.dataFlow = dataFlow;
    pin.instances = {0, 0};
    pin.globalInstances = InstanceCount{0, 0};
    pin.interfaces = {StandardStreaming()};
    pin.mediums = {StandardMedium()};
    pin.dataRanges = {AnalogRange()};
    return pin;
}

std::vector<DataRange> RangePerRate(ULONG maximumChannels, ULONG minimumBits, ULONG maximumBits,
                                    std::initializer_list<ULONG> rates)
{
    std::vector<DataRange> ranges;
    for (ULONG rate : rates) ranges.push_back(PcmRange(maximumChannels, minimumBits, maximumBits, rate, rate));
    return ranges;
}

std::vector<InterfaceClass> ActiveIn(std::initializer_list<GUID> categories)
{
    std::vector<InterfaceClass> classes;
    for (const GUID& category : categories) classes.push_back({category, SPINT_ACTIVE});
    return classes;
}

Device UsbAudioFunction(const std::string& vendorProduct, const std::string& revision, const std::string& instance)
{
    Device device;
    device.instanceId = "USB\\" + vendorProduct + "&MI_00\\" + instance;
    device.description = "USB Audio Device";
    device.hardwareIds = {"USB\\" + vendorProduct + "&REV_" + revision + "&MI_00", "USB\\" + vendorProduct + "&MI_00"};
    device.compatibleIds = {"USB\\Class_01&SubClass_01&Prot_00", "USB\\Class_01&SubClass_01", "USB\\Class_01"};
    device.manufacturer = "(Generic USB Audio)";
    device.service = "usbaudio";
    device.enumerator = "USB";
    return device;
}

Filter UsbAudioFilter(std::string friendlyName, PinType render, PinType capture, std::vector<GUID> nodes)
{
    Filter filter;
    filter.referenceString = "global";
    filter.classes = ActiveIn({KSCATEGORY_AUDIO, KSCATEGORY_RENDER, KSCATEGORY_CAPTURE});
    filter.friendlyName = std::move(friendlyName);
    filter.pins.resize(4);
    filter.pins[UsbRenderPin] = std::move(render);
    filter.pins[UsbOutputTerminalPin] = BridgePin(KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_BRIDGE);
    filter.pins[UsbInputTerminalPin] = BridgePin(KSPIN_DATAFLOW_IN, KSPIN_COMMUNICATION_BRIDGE);
    filter.pins[UsbCapturePin] = std::move(capture);
    filter.pins[UsbRenderPin].acceptsPinHint = true;
    filter.pins[UsbCapturePin].acceptsPinHint = true;
    filter.nodes = std::move(nodes);
    return filter;
}

}  // namespace hardware_simulator
