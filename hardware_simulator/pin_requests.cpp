#include "hardware_simulator/pin_requests.h"

#include "hardware_simulator/filter_lookup.h"
#include "hardware_simulator/pin_stream_properties.h"
#include "hardware_simulator/property_answer.h"
#include "hardware_simulator/rtaudio_properties.h"
#include "hardware_simulator/simulator_state.h"
#include "hardware_simulator/stream_requests.h"

namespace hardware_simulator {

namespace {

// Pins answer only the sets of their stream; KSPROPSETID_Pin belongs to the filter. The
// RTAUDIO set needs a looped instance.
PropertyAnswer AnswerPinHandleProperty(const GUID& set, const PinPropertyRequest& request)
{
    if (set == KSPROPSETID_Connection) return AnswerConnectionProperty(request);
    if (set == KSPROPSETID_Audio) return AnswerAudioProperty(request);
    if (set == PinHintPropertySet && request.type->acceptsPinHint) return AnswerPinHint(request);
    if (set == KSPROPSETID_RtAudio && request.pin->looped) return AnswerRtAudioProperty(request);
    return Failure(ERROR_SET_NOT_FOUND);
}

bool IsBufferRequest(const GUID& set, ULONG id)
{
    return set == KSPROPSETID_RtAudio &&
           (id == KSPROPERTY_RTAUDIO_BUFFER || id == KSPROPERTY_RTAUDIO_BUFFER_WITH_NOTIFICATION);
}

// What a test most wants to see of the request: the value set, or the buffer size asked.
std::optional<ULONG> LoggedValue(const GUID& set, const PinPropertyRequest& request)
{
    if (IsBufferRequest(set, request.id)) {
        auto descriptor = request.ReadDescriptor<KsRtAudioBufferProperty>();
        return descriptor ? std::optional<ULONG>(descriptor->requestedBufferSize) : std::nullopt;
    }
    return request.IsSet() ? request.SetValue() : std::nullopt;
}

// The error a test has the next requests for this property fail with, if any.
DWORD InjectedFailure(const OpenPin& pin, const KsIdentifier& property, std::optional<ULONG> setValue)
{
    auto runtime = State().runtimes.find(pin.filter.instanceId);
    if (runtime == State().runtimes.end()) return ERROR_SUCCESS;
    for (PropertyFailure& failure : runtime->second.propertyFailures) {
        if (failure.count <= 0 || failure.set != property.set || failure.id != property.id) continue;
        if (failure.dataFlow && *failure.dataFlow != pin.dataFlow) continue;
        if (failure.setValue && failure.setValue != setValue) continue;
        --failure.count;
        return failure.error;
    }
    return ERROR_SUCCESS;
}

DWORD PropertyCall(OpenPin& pin, const IoCall& call, LogEntry& entry)
{
    if (DWORD error = CheckPropertyBuffers(call)) return error;
    KsIdentifier property = ReadProperty(call, entry);
    LocatedFilter located = FindOpenFilter(State().machine, pin.filter);
    if (located.filter == nullptr || pin.pinId >= located.filter->pins.size()) return ERROR_DEVICE_NOT_CONNECTED;
    PinPropertyRequest request{.pin = &pin,
                               .type = &located.filter->pins[pin.pinId],
                               .id = property.id,
                               .flags = property.flags,
                               .input = static_cast<const BYTE*>(call.input),
                               .inputSize = call.inputSize,
                               .output = static_cast<const BYTE*>(call.output),
                               .outputSize = call.outputSize};
    entry.value = LoggedValue(property.set, request);
    if (DWORD error = InjectedFailure(pin, property, request.IsSet() ? request.SetValue() : std::nullopt)) return error;
    return DeliverOrPend(call, AnswerPinHandleProperty(property.set, request), entry, *located.device, pin.pinId);
}

}  // namespace

DWORD PinIoControl(OpenPin& pin, const IoCall& call, LogEntry& entry)
{
    switch (call.code) {
    case IOCTL_KS_PROPERTY: return PropertyCall(pin, call, entry);
    case IOCTL_KS_READ_STREAM:
    case IOCTL_KS_WRITE_STREAM: return QueueStreamRequest(pin, call, entry);
    default: return ERROR_INVALID_FUNCTION;
    }
}

}  // namespace hardware_simulator
