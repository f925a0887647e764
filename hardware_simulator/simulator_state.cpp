#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

SimulatorState& State()
{
    static SimulatorState state;
    return state;
}

DeviceRuntime* RuntimeOf(std::size_t index)
{
    std::vector<Device>& devices = State().machine.devices;
    return index < devices.size() ? &State().runtimes[devices[index].instanceId] : nullptr;
}

const Device* FindDevice(const std::string& instanceId)
{
    for (const Device& device : State().machine.devices)
        if (device.instanceId == instanceId) return &device;
    return nullptr;
}

void DeliverCancellations(const OpenPin& pin, std::vector<Completion> completions)
{
    const Device* device = FindDevice(pin.filter.instanceId);
    ULONG delayMs = device != nullptr ? device->cancellationDelayMs : 0;
    for (Completion& completion : completions) State().late.Add(std::move(completion), delayMs);
}

void SetAnswerHook(AnswerHook hook)
{
    StateLock guard(State().lock);
    State().answerHook = std::move(hook);
}

}  // namespace hardware_simulator
