// An open filter, found again by its device and reference string at each request, so
// that requests see the machine as it is now. A handle opened before its device was
// unplugged stays dead, also once the device is back.
#pragma once

#include <string>

namespace hardware_simulator {

struct OpenFilter {
    std::string instanceId;
    std::string referenceString;
    bool removed = false;
};

}  // namespace hardware_simulator
