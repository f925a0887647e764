#include "volume_panel/simulator/simulator_state.h"

#include "volume_panel/simulator/notifier.h"

#include <algorithm>
#include <cstdio>

namespace simulated_audio {

SimulatorState& SimulatorState::instance()
{
    // Never destroyed: interfaces and the notification thread may outlive static destructors.
    static SimulatorState* const state = new SimulatorState();
    return *state;
}

SimulatorState::SimulatorState()
{
    char path[MAX_PATH] = "";
    const DWORD length = GetEnvironmentVariableA("VOLUME_PANEL_SIMULATOR_LOG", path, sizeof(path));
    if (length > 0 && length < sizeof(path))
        logFile = path;
    reset(standardMachine(versionOfThisSystem()));
}

void SimulatorState::reset(const Machine& newMachine)
{
    machine = newMachine;
    deviceGenerations.assign(machine.devices.size(), 0);
    lineGenerations.assign(machine.devices.size(), { 0, 0 });
    for (std::size_t device = 0; device < machine.devices.size(); ++device)
    {
        deviceGenerations[device] = nextGeneration++;
        lineGenerations[device] = { nextGeneration, nextGeneration + 1 };
        nextGeneration += 2;
    }
    failingCalls.clear();
    log.clear();
}

bool SimulatorState::answer(const std::string& call, const std::string& arguments)
{
    log.push_back(arguments.empty() ? call : call + " " + arguments);
    if (! logFile.empty())
    {
        if (std::FILE* file = std::fopen(logFile.c_str(), "a"))
        {
            std::fprintf(file, "%s\n", log.back().c_str());
            std::fclose(file);
        }
    }
    return failingCalls.count(call) == 0;
}

bool SimulatorState::deviceOfMixer(UINT_PTR mixerIndex, std::size_t& device) const
{
    UINT_PTR index = 0;
    for (std::size_t candidate = 0; candidate < machine.devices.size(); ++candidate)
    {
        if (! machine.devices[candidate].plugged)
            continue;
        if (index++ == mixerIndex)
        {
            device = candidate;
            return true;
        }
    }
    return false;
}

EndpointAddress SimulatorState::addressOf(std::size_t device, Direction direction) const
{
    return { device, direction, lineGenerations[device][static_cast<int>(direction)] };
}

bool SimulatorState::isPresent(const EndpointAddress& address) const
{
    return address.device < machine.devices.size()
           && lineGenerations[address.device][static_cast<int>(address.direction)] == address.generation;
}

bool SimulatorState::isActive(const EndpointAddress& address) const
{
    if (! isPresent(address))
        return false;

    const Device& device = machine.devices[address.device];
    return device.plugged && device.lines[static_cast<int>(address.direction)].endpointEnabled;
}

Line& SimulatorState::lineAt(std::size_t device, Direction direction)
{
    return machine.devices[device].lines[static_cast<int>(direction)];
}

std::wstring SimulatorState::endpointName(const EndpointAddress& address) const
{
    const Device& device = machine.devices[address.device];
    return address.direction == Direction::input ? device.captureEndpointName : device.renderEndpointName;
}

void SimulatorState::invalidateLine(std::size_t device, Direction direction)
{
    lineGenerations[device][static_cast<int>(direction)] = nextGeneration++;
}

void SimulatorState::invalidateDevice(std::size_t device)
{
    deviceGenerations[device] = nextGeneration++;
    invalidateLine(device, Direction::input);
    invalidateLine(device, Direction::output);
}

void SimulatorState::lineChanged(std::size_t device, Direction direction, const GUID& eventContext)
{
    const EndpointAddress address = addressOf(device, direction);
    const bool anyoneRegistered = std::any_of(registrations.begin(), registrations.end(), [&](const Registration& r) {
        return r.address.device == device && r.address.direction == direction
               && r.address.generation == address.generation;
    });
    if (! isActive(address) || ! anyoneRegistered)
        return;

    const Line& line = lineAt(device, direction);
    AUDIO_VOLUME_NOTIFICATION_DATA data {};
    data.guidEventContext = eventContext;
    data.bMuted = line.muteValue;
    data.fMasterVolume = line.level;
    data.nChannels = 1;
    data.afChannelVolumes[0] = line.level;
    Notifier::instance().queue(device, direction, address.generation, data);
}

std::string narrow(const std::wstring& text)
{
    std::string result;
    for (const wchar_t character : text)
        result += character < 0x80 ? static_cast<char>(character) : '?';
    return result;
}

const char* directionName(Direction direction)
{
    return direction == Direction::input ? "input" : "output";
}

}  // namespace simulated_audio
