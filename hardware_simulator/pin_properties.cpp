#include "hardware_simulator/pin_properties.h"

#include "hardware_simulator/data_intersection.h"
#include "hardware_simulator/pin_instances.h"
#include "hardware_simulator/property_answer.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

namespace {

bool IsPinProperty(ULONG id)
{
    switch (id) {
    case KSPROPERTY_PIN_CINSTANCES:
    case KSPROPERTY_PIN_CTYPES:
    case KSPROPERTY_PIN_DATAFLOW:
    case KSPROPERTY_PIN_DATARANGES:
    case KSPROPERTY_PIN_DATAINTERSECTION:
    case KSPROPERTY_PIN_INTERFACES:
    case KSPROPERTY_PIN_MEDIUMS:
    case KSPROPERTY_PIN_COMMUNICATION:
    case KSPROPERTY_PIN_GLOBALCINSTANCES:
    case KSPROPERTY_PIN_NAME: return true;
    default: return false;
    }
}

PropertyAnswer InstancesAnswer(const PinType& pin, const InstanceCount& count, DWORD outputSize)
{
    InstanceCount inUse = InstancesInUse(pin, count);
    const ULONG counts[2] = {inUse.possible, inUse.current};
    return SizedAnswer(BytesOf(counts), outputSize);
}

PropertyAnswer IdentifierList(const std::vector<KsIdentifier>& identifiers, DWORD outputSize)
{
    std::vector<BYTE> items;
    for (const KsIdentifier& identifier : identifiers) AppendBytes(items, identifier);
    return ListAnswer(items, ULONG(identifiers.size()), outputSize);
}

void AppendRange(std::vector<BYTE>& items, const DataRange& range)
{
    KsDataRangeAudio record{};
    record.dataRange.formatSize = RecordSize(range);
    record.dataRange.majorFormat = range.majorFormat;
    record.dataRange.subFormat = range.subFormat;
    record.dataRange.specifier = range.specifier;
    record.maximumChannels = range.maximumChannels;
    record.minimumBitsPerSample = range.minimumBitsPerSample;
    record.maximumBitsPerSample = range.maximumBitsPerSample;
    record.minimumSampleFrequency = range.minimumSampleFrequency;
    record.maximumSampleFrequency = range.maximumSampleFrequency;
    AppendBytes(items, record, record.dataRange.formatSize);
    items.resize((items.size() + 7) & ~std::size_t(7));  // each range starts 8-byte aligned
}

PropertyAnswer RangeList(const std::vector<DataRange>& ranges, DWORD outputSize)
{
    std::vector<BYTE> items;
    for (const DataRange& range : ranges) AppendRange(items, range);
    return ListAnswer(items, ULONG(ranges.size()), outputSize);
}

PropertyAnswer NameAnswer(const std::wstring& name, DWORD outputSize)
{
    if (name.empty()) return Failure(ERROR_NOT_FOUND);
    const auto* text = reinterpret_cast<const BYTE*>(name.c_str());
    return SizedAnswer(std::vector<BYTE>(text, text + (name.size() + 1) * sizeof(wchar_t)), outputSize);
}

PropertyAnswer DescribePin(const PinType& pin, const PropertyRequest& request)
{
    DWORD outputSize = request.outputSize;
    switch (request.id) {
    case KSPROPERTY_PIN_CINSTANCES: return InstancesAnswer(pin, pin.instances, outputSize);
    case KSPROPERTY_PIN_GLOBALCINSTANCES:
        return pin.globalInstances ? InstancesAnswer(pin, *pin.globalInstances, outputSize) : Failure(ERROR_NOT_FOUND);
    case KSPROPERTY_PIN_DATAFLOW: return SizedAnswer(BytesOf(pin.dataFlow), outputSize);
    case KSPROPERTY_PIN_COMMUNICATION: return SizedAnswer(BytesOf(pin.communication), outputSize);
    case KSPROPERTY_PIN_NAME: return NameAnswer(pin.name, outputSize);
    case KSPROPERTY_PIN_INTERFACES: return IdentifierList(pin.interfaces, outputSize);
    case KSPROPERTY_PIN_MEDIUMS: return IdentifierList(pin.mediums, outputSize);
    case KSPROPERTY_PIN_DATARANGES: return RangeList(pin.dataRanges, outputSize);
    default:  // KSPROPERTY_PIN_DATAINTERSECTION: the client's ranges follow the KSP_PIN
        return AnswerDataIntersection(pin, request.input + sizeof(KsPinProperty),
                                      request.inputSize - DWORD(sizeof(KsPinProperty)), outputSize);
    }
}

}  // namespace

PropertyAnswer AnswerPinProperty(const Filter& filter, const PropertyRequest& request)
{
    if (!IsPinProperty(request.id) || !request.IsGet()) return Failure(ERROR_NOT_FOUND);
    if (request.id == KSPROPERTY_PIN_CTYPES) return SizedAnswer(BytesOf(ULONG(filter.pins.size())), request.outputSize);
    if (!request.pinId) return Failure(ERROR_INVALID_USER_BUFFER);
    if (*request.pinId >= filter.pins.size()) return Failure(ERROR_INVALID_PARAMETER);
    return DescribePin(filter.pins[*request.pinId], request);
}

}  // namespace hardware_simulator
