#include "hardware_simulator/machine.h"

#include "hardware_simulator/device_clock.h"
#include "hardware_simulator/interface_keys.h"
#include "hardware_simulator/profiles.h"
#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

bool Install(Machine machine)
{
    StateLock guard(State().lock);
    State().machine = std::move(machine);
    State().runtimes.clear();
    return WriteInterfaceKeys(State().machine);
}

bool InstallDefaultMachine()
{
    return Install(Machine{{Qorda8(), QordaDeskPro()}});
}

Machine InstalledMachine()
{
    StateLock guard(State().lock);
    return State().machine;
}

bool Edit(const std::function<void(Machine&)>& change)
{
    StateLock guard(State().lock);
    change(State().machine);
    return WriteInterfaceKeys(State().machine);
}

void Clear()
{
    {
        // Nothing is delivered any more, not even when the clock stops.
        StateLock guard(State().lock);
        State().late.Clear();
        State().handles.Clear();
    }
    StopDeviceClock();
    StateLock guard(State().lock);
    State().machine = {};
    State().handles.Clear();
    State().log.Clear();
    State().answerHook = nullptr;
    State().runtimes.clear();
    State().late.Clear();
    State().threads.Clear();
    RemoveInterfaceKeys();
}

}  // namespace hardware_simulator
