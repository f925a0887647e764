#include "hardware_simulator/device_faults.h"

#include <algorithm>

#include "hardware_simulator/fault_hooks.h"
#include "hardware_simulator/overlapped_completion.h"
#include "hardware_simulator/pin_instances.h"
#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

namespace {

bool IsDataFlow(ULONG dataFlow)
{
    return dataFlow == KSPIN_DATAFLOW_IN || dataFlow == KSPIN_DATAFLOW_OUT;
}

}  // namespace

bool Unplug(std::size_t device)
{
    StateLock guard(State().lock);
    std::vector<Device>& devices = State().machine.devices;
    if (device >= devices.size() || !devices[device].present) return false;
    const std::string& instanceId = devices[device].instanceId;
    State().handles.ForEach<OpenFilter>([&](ULONG_PTR, OpenFilter& filter) {
        if (filter.instanceId == instanceId) filter.removed = true;
    });
    State().handles.ForEach<OpenPin>([&](ULONG_PTR, OpenPin& pin) {
        if (pin.filter.instanceId != instanceId || pin.filter.removed) return;
        pin.queue.FailAll(StatusDeviceNotConnected);
        GiveBackInstance(pin);
        pin.filter.removed = true;
    });
    devices[device].present = false;
    return true;
}

bool Replug(std::size_t device)
{
    StateLock guard(State().lock);
    std::vector<Device>& devices = State().machine.devices;
    if (device >= devices.size() || devices[device].present) return false;
    devices[device].present = true;
    return true;
}

void SetClockStalled(std::size_t device, bool stalled)
{
    StateLock guard(State().lock);
    if (DeviceRuntime* runtime = RuntimeOf(device)) runtime->clockStalled = stalled;
}

void SetPinsStalled(std::size_t device, ULONG dataFlow, bool stalled)
{
    StateLock guard(State().lock);
    DeviceRuntime* runtime = RuntimeOf(device);
    if (runtime == nullptr || !IsDataFlow(dataFlow)) return;
    (dataFlow == KSPIN_DATAFLOW_IN ? runtime->renderStalled : runtime->captureStalled) = stalled;
}

void SetClockDeviation(std::size_t device, double ppm)
{
    StateLock guard(State().lock);
    DeviceRuntime* runtime = RuntimeOf(device);
    if (runtime != nullptr && ppm > -1e6) runtime->deviationPpm = ppm;
}

void SetCompletionDelay(std::size_t device, ULONG dataFlow, ULONG delayMs, ULONG jitterMs)
{
    StateLock guard(State().lock);
    DeviceRuntime* runtime = RuntimeOf(device);
    if (runtime == nullptr || !IsDataFlow(dataFlow)) return;
    (dataFlow == KSPIN_DATAFLOW_IN ? runtime->renderDelay : runtime->captureDelay) = {delayMs, jitterMs};
}

void FailPinProperty(std::size_t device, const GUID& set, ULONG id, DWORD error, int count)
{
    StateLock guard(State().lock);
    if (DeviceRuntime* runtime = RuntimeOf(device))
        runtime->propertyFailures.push_back({set, id, error, count, std::nullopt, std::nullopt});
}

void FailPinStateChange(std::size_t device, ULONG dataFlow, ULONG state, DWORD error, int count)
{
    StateLock guard(State().lock);
    if (DeviceRuntime* runtime = RuntimeOf(device))
        runtime->propertyFailures.push_back(
            {KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, error, count, dataFlow, state});
}

void FailPinCreation(std::size_t device, ULONG dataFlow, DWORD error, int count)
{
    StateLock guard(State().lock);
    DeviceRuntime* runtime = RuntimeOf(device);
    if (runtime != nullptr && IsDataFlow(dataFlow)) runtime->creationFailures.push_back({dataFlow, error, count});
}

void EndStreamRequests(std::size_t device, ULONG dataFlow, ULONG_PTR status, ULONG bytes, int count)
{
    StateLock guard(State().lock);
    DeviceRuntime* runtime = RuntimeOf(device);
    if (runtime != nullptr && IsDataFlow(dataFlow)) runtime->requestEndings.push_back({dataFlow, status, bytes, count});
}

DWORD InjectedCreationFailure(const std::string& instanceId, ULONG dataFlow)
{
    auto runtime = State().runtimes.find(instanceId);
    if (runtime == State().runtimes.end()) return ERROR_SUCCESS;
    for (CreationFailure& failure : runtime->second.creationFailures) {
        if (failure.count <= 0 || failure.dataFlow != dataFlow) continue;
        --failure.count;
        return failure.error;
    }
    return ERROR_SUCCESS;
}

std::optional<ULONG_PTR> InjectedRequestEnd(DeviceRuntime& device, ULONG dataFlow, const OVERLAPPED* request,
                                            ULONG transferred, ULONG room)
{
    for (RequestEnding& ending : device.requestEndings) {
        if (ending.count <= 0 || ending.dataFlow != dataFlow) continue;
        if (ending.taken == nullptr && transferred == 0) ending.taken = request;
        if (ending.taken != request) continue;
        if (transferred < std::min(ending.bytes, room)) return std::nullopt;
        --ending.count;
        ending.taken = nullptr;
        return ending.status;
    }
    return std::nullopt;
}

bool HoldInAudioEngine(std::size_t device, std::size_t filter, ULONG pinId, bool held)
{
    StateLock guard(State().lock);
    std::vector<Device>& devices = State().machine.devices;
    if (device >= devices.size() || filter >= devices[device].filters.size() ||
        pinId >= devices[device].filters[filter].pins.size())
        return false;
    PinType& pin = devices[device].filters[filter].pins[pinId];
    pin.heldElsewhere = held ? pin.instances.possible : 0;
    return true;
}

GlitchCounters Glitches(std::size_t device)
{
    StateLock guard(State().lock);
    DeviceRuntime* runtime = RuntimeOf(device);
    return runtime == nullptr ? GlitchCounters{} : runtime->glitches;
}

}  // namespace hardware_simulator
