// DeviceIoControl on a filter handle: IOCTL_KS_PROPERTY answered by the filter's
// kernel driver, with the test's answer hook applied.
#pragma once

#include "hardware_simulator/io_call.h"
#include "hardware_simulator/open_filter.h"

namespace hardware_simulator {

// The call's Win32 error; ERROR_SUCCESS when it succeeded.
DWORD FilterIoControl(const OpenFilter& open, const IoCall& call, LogEntry& entry);

}  // namespace hardware_simulator
