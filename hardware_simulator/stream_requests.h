// IOCTL_KS_READ_STREAM and IOCTL_KS_WRITE_STREAM on a standard-streaming pin instance:
// the stream header checked and the request queued until the device completes it.
#pragma once

#include "hardware_simulator/io_call.h"
#include "hardware_simulator/open_pin.h"

namespace hardware_simulator {

// ERROR_IO_PENDING when the request was queued, else the error it failed with.
DWORD QueueStreamRequest(OpenPin& pin, const IoCall& call, LogEntry& entry);

}  // namespace hardware_simulator
