// A device's SPDRP_ registry properties as SetupDiGetDeviceRegistryPropertyA returns them.
#pragma once

#include <windows.h>

#include <vector>

#include "hardware_simulator/device.h"

namespace hardware_simulator {

// The property's type and bytes (strings with their NUL, lists with the final NUL), or
// ERROR_INVALID_DATA when the device lacks it and ERROR_INVALID_REG_PROPERTY for a
// property code that does not exist.
DWORD ReadRegistryProperty(const Device& device, DWORD property, DWORD* type, std::vector<BYTE>* value);

}  // namespace hardware_simulator
