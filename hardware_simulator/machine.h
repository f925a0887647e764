// The simulated machine: the devices plugged into this process's view of the world.
// It is process-global, as the device-access functions it answers are free functions,
// and every access holds one lock, as streaming threads will share it.
#pragma once

#include <functional>
#include <vector>

#include "hardware_simulator/device.h"

namespace hardware_simulator {

struct Machine {
    std::vector<Device> devices;  // in PnP enumeration order
};

// Replaces the devices and writes their interfaces' registry keys. Open handles,
// device information sets, the log and the answer hook stay; the devices' clocks,
// analogue sides, faults and glitch counts start afresh. False if the registry
// keys could not be written.
[[nodiscard]] bool Install(Machine machine);
// Installs the QORDA-8 and the QORDA DESK PRO.
[[nodiscard]] bool InstallDefaultMachine();
// A copy of the installed machine, with the pin types' current instance counts.
Machine InstalledMachine();
// Changes the installed machine in place; the registry keys follow the change.
[[nodiscard]] bool Edit(const std::function<void(Machine&)>& change);
// Stops the device clock, and removes the devices and their registry keys, every
// handle and device information set, the log, the counters, the answer hook and what
// the devices did over time. Requests still queued on open pins, and completions held
// back for later, are dropped without completion, as their clients' OVERLAPPEDs may be
// gone by now. Must not be called holding the simulator's lock.
void Clear();

}  // namespace hardware_simulator
