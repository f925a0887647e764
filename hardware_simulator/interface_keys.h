// The registry keys of device interfaces, real keys in the current user's hive so that
// the driver reads "FriendlyName" through the real registry API:
// HKEY_CURRENT_USER\Software\Kaskade Hardware Simulator\Process <id>\<device path with # for \>
// Each process has its own keys, so simulators in processes running at once keep apart,
// and the keys are volatile, so those of a process that never cleared them go at the
// latest when the registry is next loaded.
#pragma once

#include <string>

#include "hardware_simulator/machine.h"

namespace hardware_simulator {

// The key of the interface at `devicePath`, under HKEY_CURRENT_USER.
std::string InterfaceKeyPath(const std::string& devicePath);

// Replaces this process's keys with one per interface class of every filter in
// `machine`. False if a key or value could not be written.
bool WriteInterfaceKeys(const Machine& machine);
void RemoveInterfaceKeys();

}  // namespace hardware_simulator
