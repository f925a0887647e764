// Finding a filter in the installed machine: by a device path to open it, by an open
// handle's identity at each request, and the pin type whose instances a pin handle counts.
#pragma once

#include <string_view>

#include "hardware_simulator/handle_table.h"
#include "hardware_simulator/machine.h"

namespace hardware_simulator {

struct LocatedFilter {
    const Device* device = nullptr;  // both null when nothing was found
    const Filter* filter = nullptr;
};

// The filter that one of its active, not removed interfaces opens at `path`, on a
// device that is present.
LocatedFilter FindFilterByPath(const Machine& machine, std::string_view path);
// The open filter, while its device is present and the handle survived no removal.
LocatedFilter FindOpenFilter(const Machine& machine, const OpenFilter& open);
// The pin type `pinId` of the open filter, whether or not its device is present; null
// when the machine no longer has it.
PinType* FindPinType(Machine& machine, const OpenFilter& open, ULONG pinId);

}  // namespace hardware_simulator
