// Where the faults a test injected take effect: pin creation and the device clock's
// work on stream requests. Called holding the simulator's lock.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "hardware_simulator/device_runtime.h"

namespace hardware_simulator {

// The error an injected fault has the creation of a pin of `dataFlow` fail with, or
// ERROR_SUCCESS.
DWORD InjectedCreationFailure(const std::string& instanceId, ULONG dataFlow);
// The status the oldest request of a pin of `dataFlow` ends with now that `transferred`
// of its `room` bytes moved, when an injected fault ends it early. A fault takes the
// first request it sees untouched.
std::optional<ULONG_PTR> InjectedRequestEnd(DeviceRuntime& device, ULONG dataFlow, const OVERLAPPED* request,
                                            ULONG transferred, ULONG room);

}  // namespace hardware_simulator
