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

void SetAnswerHook(AnswerHook hook)
{
    StateLock guard(State().lock);
    State().answerHook = std::move(hook);
}

}  // namespace hardware_simulator
