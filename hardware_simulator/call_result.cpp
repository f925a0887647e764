#include "hardware_simulator/call_result.h"

#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

BOOL FinishCall(LogEntry& entry, DWORD error, LastError rule)
{
    entry.succeeded = error == ERROR_SUCCESS;
    entry.lastError = error;
    State().log.Add(entry);
    if (error != ERROR_SUCCESS || rule == LastError::Always) SetLastError(error);
    return error == ERROR_SUCCESS;
}

}  // namespace hardware_simulator
