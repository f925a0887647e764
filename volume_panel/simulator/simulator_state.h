// The simulator's state, shared by the simulated mixer functions, the simulated COM
// objects, the notification thread and the control functions of simulated_audio.h.
// It is never destroyed, so that the notification thread and interfaces still held at
// process exit never meet a destroyed object.
#pragma once

#include "volume_panel/simulator/simulated_audio.h"

#include <windows.h>
#include <endpointvolume.h>

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace simulated_audio {

// One endpoint as it was when an interface to it was handed out. Unplugging the device,
// disabling the endpoint or installing another machine gives the line a new
// generation, after which interfaces of the old one answer as for a removed device.
struct EndpointAddress
{
    std::size_t device;
    Direction direction;
    unsigned generation;
};

struct Registration
{
    const void* endpoint;  // the endpoint-volume object the callback was registered through
    EndpointAddress address;
    IAudioEndpointVolumeCallback* callback;
    bool endpointReleased;
};

struct OpenMixer
{
    std::size_t device;
    unsigned generation;
};

class SimulatorState
{
public:
    static SimulatorState& instance();

    // Guards every field below. Never held while a callback runs.
    std::mutex mutex;

    Machine machine;
    std::vector<unsigned> deviceGenerations;
    std::vector<std::array<unsigned, 2>> lineGenerations;
    std::set<std::string> failingCalls;
    std::vector<std::string> log;
    std::map<UINT_PTR, OpenMixer> openMixers;
    std::vector<Registration> registrations;
    std::atomic<int> liveComObjects { 0 };

    // The helpers below expect the mutex to be held.
    void reset(const Machine& newMachine);
    // Logs the call and tells whether it is to fail.
    bool answer(const std::string& call, const std::string& arguments = {});
    // The device behind a mixer index: the plugged devices in order.
    bool deviceOfMixer(UINT_PTR mixerIndex, std::size_t& device) const;
    EndpointAddress addressOf(std::size_t device, Direction direction) const;
    bool isPresent(const EndpointAddress& address) const;
    bool isActive(const EndpointAddress& address) const;
    Line& lineAt(std::size_t device, Direction direction);
    std::wstring endpointName(const EndpointAddress& address) const;
    void invalidateLine(std::size_t device, Direction direction);
    void invalidateDevice(std::size_t device);
    // Queues the notifications of the endpoint's registered callbacks.
    void lineChanged(std::size_t device, Direction direction, const GUID& eventContext);

private:
    SimulatorState();
    unsigned nextGeneration = 1;
    std::string logFile;  // where each logged call is appended too; empty for none
};

std::string narrow(const std::wstring& text);
const char* directionName(Direction direction);

}  // namespace simulated_audio
