#include "hardware_simulator/filter_lookup.h"

#include "hardware_simulator/device_path.h"

namespace hardware_simulator {

namespace {

bool Opens(const InterfaceClass& registration)
{
    return (registration.flags & SPINT_ACTIVE) && !(registration.flags & SPINT_REMOVED);
}

}  // namespace

LocatedFilter FindFilterByPath(const Machine& machine, std::string_view path)
{
    for (const Device& device : machine.devices) {
        if (!device.present) continue;
        for (const Filter& filter : device.filters)
            for (const InterfaceClass& registration : filter.classes)
                if (Opens(registration) && SameText(DevicePath(device, filter, registration.category), path))
                    return {&device, &filter};
    }
    return {};
}

LocatedFilter FindOpenFilter(const Machine& machine, const OpenFilter& open)
{
    if (open.removed) return {};
    for (const Device& device : machine.devices) {
        if (!device.present || device.instanceId != open.instanceId) continue;
        for (const Filter& filter : device.filters)
            if (filter.referenceString == open.referenceString) return {&device, &filter};
    }
    return {};
}

PinType* FindPinType(Machine& machine, const OpenFilter& open, ULONG pinId)
{
    for (Device& device : machine.devices) {
        if (device.instanceId != open.instanceId) continue;
        for (Filter& filter : device.filters)
            if (filter.referenceString == open.referenceString && pinId < filter.pins.size())
                return &filter.pins[pinId];
    }
    return nullptr;
}

}  // namespace hardware_simulator
