// DeviceIoControl on a pin handle: property requests on the instance's stream, and
// stream requests.
#pragma once

#include "hardware_simulator/io_call.h"
#include "hardware_simulator/open_pin.h"

namespace hardware_simulator {

// The call's Win32 error: ERROR_SUCCESS when it succeeded, ERROR_IO_PENDING when it was
// queued.
DWORD PinIoControl(OpenPin& pin, const IoCall& call, LogEntry& entry);

}  // namespace hardware_simulator
