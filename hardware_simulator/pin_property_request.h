// An IOCTL_KS_PROPERTY request on a pin handle, as the pin's kernel driver decodes it.
#pragma once

#include <windows.h>

#include <cstring>
#include <optional>

#include "hardware_simulator/open_pin.h"
#include "hardware_simulator/pin_type.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

struct PinPropertyRequest {
    OpenPin* pin;
    const PinType* type;  // valid while the request runs
    ULONG id;
    ULONG flags;
    const BYTE* input;  // the whole input: KSPROPERTY and what follows
    DWORD inputSize;
    const BYTE* output;  // a SET's value travels in the output buffer
    DWORD outputSize;

    bool IsGet() const { return (flags & (KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET)) == KSPROPERTY_TYPE_GET; }
    bool IsSet() const { return (flags & (KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET)) == KSPROPERTY_TYPE_SET; }

    // The 4-byte value of a SET; none when the output buffer is too small for it.
    std::optional<ULONG> SetValue() const
    {
        if (outputSize < sizeof(ULONG)) return std::nullopt;
        ULONG value;
        std::memcpy(&value, output, sizeof(value));
        return value;
    }

    // The property descriptor the input starts with; none when the input is too short.
    template <typename Descriptor>
    std::optional<Descriptor> ReadDescriptor() const
    {
        if (inputSize < sizeof(Descriptor)) return std::nullopt;
        Descriptor descriptor;
        std::memcpy(&descriptor, input, sizeof(descriptor));
        return descriptor;
    }
};

}  // namespace hardware_simulator
