// An open filter, found again by its device and reference string at each request, so
// that requests see the machine as it is now.
#pragma once

#include <string>

namespace hardware_simulator {

struct OpenFilter {
    std::string instanceId;
    std::string referenceString;
};

}  // namespace hardware_simulator
