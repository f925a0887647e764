// A PnP device with the properties SetupAPI shows and the filters its driver exposes.
// Empty texts are properties the device does not have.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "hardware_simulator/filter.h"

namespace hardware_simulator {

// The MEDIA setup class, which sound devices install in.
constexpr GUID MediaSetupClass = {0x4D36E96C, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Property requests a kernel driver answers asynchronously: the call returns
// ERROR_IO_PENDING and the answer comes later through the request's OVERLAPPED. They are
// those of this set and id, on the filter (for the pin `pinId` of a KSP_PIN request)
// and on its pin instances (of pin type `pinId`); any pin when none is named.
struct PendingProperty {
    GUID set;
    ULONG id;
    std::optional<ULONG> pinId;
};

struct Device {
    std::string instanceId;  // e.g. USB\VID_200C&PID_1002&MI_00\7&1a2b3c4d&0&0000
    GUID setupClass = MediaSetupClass;
    std::string description;
    std::string friendlyName;
    std::vector<std::string> hardwareIds;
    std::vector<std::string> compatibleIds;
    std::string manufacturer;
    std::string service;
    std::string location;
    std::string enumerator;
    bool present = true;  // plugged in and started
    std::vector<Filter> filters;
    std::vector<PendingProperty> pendingProperties;
    ULONG pendingDelayMs = 2;  // how long a pended property request takes
    // How long after KSSTATE_STOP or a close the cancelled stream requests complete: the
    // transfers already handed to the bus come back over the next frames.
    ULONG cancellationDelayMs = 2;
};

}  // namespace hardware_simulator
