// A kernel-streaming filter: one device interface of a device, registered in
// KSCATEGORY_AUDIO and its alias classes, with its pin types and topology nodes.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "hardware_simulator/pin_type.h"

namespace hardware_simulator {

// The interface registered in one class; SPINT_ACTIVE and SPINT_REMOVED flags.
struct InterfaceClass {
    GUID category;
    DWORD flags = SPINT_ACTIVE;
};

struct Filter {
    std::string referenceString = "global";  // the last part of its device paths
    std::vector<InterfaceClass> classes;     // KSCATEGORY_AUDIO and the aliases
    std::string friendlyName;                // "FriendlyName" of its interface keys; empty: none
    std::vector<PinType> pins;               // indexed by pin id
    std::vector<GUID> nodes;                 // topology node types, indexed by node id
};

}  // namespace hardware_simulator
