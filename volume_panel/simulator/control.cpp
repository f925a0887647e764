// The functions of simulated_audio.h with which tests and the demo set up the machine,
// change it from outside the program and look at what the program did.
#include "volume_panel/simulator/notifier.h"
#include "volume_panel/simulator/simulated_audio.h"
#include "volume_panel/simulator/simulator_state.h"

#include <algorithm>

namespace simulated_audio {
namespace {

SimulatorState& state()
{
    return SimulatorState::instance();
}

}  // namespace

void installMachine(const Machine& machine)
{
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        state().reset(machine);
    }
    Notifier::instance().resetDeliveredCount();
}

Machine currentMachine()
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    return state().machine;
}

void changeLine(std::size_t device, Direction direction, float level, DWORD muteValue)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    Line& line = state().lineAt(device, direction);
    line.level = level;
    line.muteValue = muteValue;
    state().lineChanged(device, direction, GUID_NULL);
}

void setPlugged(std::size_t device, bool plugged)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (state().machine.devices[device].plugged == plugged)
        return;

    state().machine.devices[device].plugged = plugged;
    if (! plugged)
        state().invalidateDevice(device);
}

void setEndpointEnabled(std::size_t device, Direction direction, bool enabled)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    Line& line = state().lineAt(device, direction);
    if (line.endpointEnabled == enabled)
        return;

    line.endpointEnabled = enabled;
    if (! enabled)
        state().invalidateLine(device, direction);
}

void failCall(const std::string& name)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    state().failingCalls.insert(name);
}

void clearFailures()
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    state().failingCalls.clear();
}

std::vector<std::string> callLog()
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    return state().log;
}

std::vector<std::string> callsStartingWith(const std::string& prefix)
{
    std::vector<std::string> calls = callLog();
    calls.erase(std::remove_if(calls.begin(), calls.end(),
                               [&prefix](const std::string& call) { return call.rfind(prefix, 0) != 0; }),
                calls.end());
    return calls;
}

void clearCallLog()
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    state().log.clear();
}

void waitForNotifications()
{
    Notifier::instance().waitUntilIdle();
}

int notificationsDelivered()
{
    return Notifier::instance().delivered();
}

int liveComObjects()
{
    return state().liveComObjects;
}

int openMixers()
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    return static_cast<int>(state().openMixers.size());
}

int registeredCallbacks()
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    return static_cast<int>(state().registrations.size());
}

int registrationsOnReleasedEndpoints()
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    return static_cast<int>(
        std::count_if(state().registrations.begin(), state().registrations.end(),
                      [](const Registration& registration) { return registration.endpointReleased; }));
}

}  // namespace simulated_audio
