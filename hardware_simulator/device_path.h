// Device paths of device interfaces, as SetupAPI reports them and CreateFileA opens them:
// \\?\USB#VID_200C&PID_1002&MI_00#7&1a2b3c4d&0&0000#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\global
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "hardware_simulator/device.h"

namespace hardware_simulator {

// Lower case, in braces.
std::string GuidText(const GUID& guid);

std::string DevicePath(const Device& device, const Filter& filter, const GUID& category);

// Windows compares paths without regard to ASCII case.
bool SameText(std::string_view a, std::string_view b);

}  // namespace hardware_simulator
