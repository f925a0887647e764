// Opening and closing filters, and pin creation on them.
#include "driver/engine/device_access.h"
#include "driver/engine/kernel_streaming.h"
#include "hardware_simulator/call_result.h"
#include "hardware_simulator/filter_lookup.h"
#include "hardware_simulator/simulator_state.h"

#include <cstring>

namespace device_access {

using namespace hardware_simulator;

HANDLE CreateFileA(const char* path, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE)
{
    StateLock guard(State().lock);
    LogEntry entry{Operation::CreateFile};
    if (path == nullptr) {
        FinishCall(entry, ERROR_PATH_NOT_FOUND, LastError::Always);
        return INVALID_HANDLE_VALUE;
    }
    entry.path = path;
    LocatedFilter found = FindFilterByPath(State().machine, path);
    if (found.filter == nullptr) {
        FinishCall(entry, ERROR_FILE_NOT_FOUND, LastError::Always);
        return INVALID_HANDLE_VALUE;
    }
    entry.handle = State().handles.Add(OpenFilter{found.device->instanceId, found.filter->referenceString});
    FinishCall(entry, ERROR_SUCCESS, LastError::Always);
    return reinterpret_cast<HANDLE>(entry.handle);
}

// Pins are not simulated yet: every creation on a valid filter is refused.
DWORD KsCreatePin(HANDLE filter, void* connect, ACCESS_MASK, HANDLE*)
{
    StateLock guard(State().lock);
    LogEntry entry{Operation::KsCreatePin};
    entry.handle = reinterpret_cast<ULONG_PTR>(filter);
    if (connect != nullptr) {
        KsPinConnect request;
        std::memcpy(&request, connect, sizeof(request));
        entry.pinId = request.pinId;
    }
    DWORD error = State().handles.Find<OpenFilter>(entry.handle) ? ERROR_NOT_SUPPORTED : ERROR_INVALID_HANDLE;
    FinishCall(entry, error, LastError::OnFailure);
    return error;
}

BOOL CloseHandle(HANDLE handle)
{
    StateLock guard(State().lock);
    LogEntry entry{Operation::CloseHandle};
    entry.handle = reinterpret_cast<ULONG_PTR>(handle);
    return FinishCall(entry, State().handles.Remove<OpenFilter>(entry.handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE,
                      LastError::OnFailure);
}

}  // namespace device_access
