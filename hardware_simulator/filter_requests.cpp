// IOCTL_KS_PROPERTY on filter handles, decoded and answered as the filter's kernel
// driver does: synchronously, also on overlapped handles, unless the device pends the
// property.
#include "hardware_simulator/filter_requests.h"

#include <algorithm>
#include <cstring>

#include "hardware_simulator/filter_lookup.h"
#include "hardware_simulator/pin_properties.h"
#include "hardware_simulator/simulator_state.h"
#include "hardware_simulator/topology_properties.h"

namespace hardware_simulator {

namespace {

PropertyAnswer AnswerFilterProperty(const Filter& filter, const PropertyRequest& request)
{
    if (request.set == KSPROPSETID_Pin) return AnswerPinProperty(filter, request);
    if (request.set == KSPROPSETID_Topology) return AnswerTopologyProperty(filter, request);
    return {ERROR_SET_NOT_FOUND, 0, {}};
}

}  // namespace

DWORD FilterIoControl(const OpenFilter& open, const IoCall& call, LogEntry& entry)
{
    if (call.code != IOCTL_KS_PROPERTY) return ERROR_INVALID_FUNCTION;
    if (DWORD error = CheckPropertyBuffers(call)) return error;
    KsIdentifier property = ReadProperty(call, entry);
    const auto* input = static_cast<const BYTE*>(call.input);
    if (property.set == KSPROPSETID_Pin && call.inputSize >= sizeof(KsPinProperty)) {
        KsPinProperty pinProperty;
        std::memcpy(&pinProperty, input, sizeof(pinProperty));
        entry.pinId = pinProperty.pinId;
    }

    LocatedFilter located = FindOpenFilter(State().machine, open);
    if (located.filter == nullptr) return ERROR_DEVICE_NOT_CONNECTED;
    PropertyRequest request{.handle = entry.handle,
                            .device = located.device,
                            .filter = located.filter,
                            .set = property.set,
                            .id = property.id,
                            .flags = property.flags,
                            .pinId = entry.pinId,
                            .input = input,
                            .inputSize = call.inputSize,
                            .outputSize = call.outputSize};
    PropertyAnswer answer = AnswerFilterProperty(*located.filter, request);
    AnswerHook hook = State().answerHook;  // a copy, as the hook may replace itself
    if (hook) hook(request, answer);
    return DeliverOrPend(call, answer, entry, *located.device, entry.pinId);
}

}  // namespace hardware_simulator
