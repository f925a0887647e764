// An IOCTL_KS_PROPERTY request on a filter, as its kernel driver decodes it, and the
// answer it gives.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "hardware_simulator/device.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

struct PropertyRequest {
    ULONG_PTR handle;
    const Device* device;  // the filter's device and the filter, valid while the request runs
    const Filter* filter;
    GUID set;
    ULONG id;
    ULONG flags;
    std::optional<ULONG> pinId;  // of KSPROPSETID_Pin requests that carry a whole KSP_PIN
    const BYTE* input;           // the whole input: KSPROPERTY or KSP_PIN and what follows
    DWORD inputSize;
    DWORD outputSize;

    // The simulated properties are read-only: a request to set one finds no handler.
    bool IsGet() const { return (flags & (KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET)) == KSPROPERTY_TYPE_GET; }
};

// `data` goes to the output buffer (cut to its size), `bytesReturned` to the caller's
// count, and `error` decides the result: ERROR_SUCCESS gives TRUE, anything else FALSE
// with that last error.
struct PropertyAnswer {
    DWORD error = ERROR_SUCCESS;
    DWORD bytesReturned = 0;
    std::vector<BYTE> data;
};

}  // namespace hardware_simulator
