// The end of every device-access call: its log entry and the thread's last error.
#pragma once

#include <windows.h>

#include "hardware_simulator/request_log.h"

namespace hardware_simulator {

enum class LastError {
    Always,     // SetupAPI, and CreateFileA: ERROR_SUCCESS on success
    OnFailure,  // DeviceIoControl and CloseHandle leave it alone when they succeed
};

// Logs the call with its outcome; TRUE when `error` is ERROR_SUCCESS.
BOOL FinishCall(LogEntry& entry, DWORD error, LastError rule);

}  // namespace hardware_simulator
