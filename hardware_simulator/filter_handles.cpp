// Opening filters, and closing filter and pin handles.
#include "hardware_simulator/call_result.h"
#include "hardware_simulator/device_clock.h"
#include "hardware_simulator/filter_lookup.h"
#include "hardware_simulator/pin_instances.h"
#include "hardware_simulator/simulator_state.h"
#include "kernel_streaming/device_access.h"

namespace device_access {

using namespace hardware_simulator;

HANDLE CreateFileA(const char* path, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE)
{
    StartDeviceClockIfAsked();
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

BOOL CloseHandle(HANDLE handle)
{
    StateLock guard(State().lock);
    LogEntry entry{Operation::CloseHandle};
    entry.handle = reinterpret_cast<ULONG_PTR>(handle);
    bool closed = State().handles.Remove<OpenFilter>(entry.handle) || ClosePinHandle(entry);
    return FinishCall(entry, closed ? ERROR_SUCCESS : ERROR_INVALID_HANDLE, LastError::OnFailure);
}

}  // namespace device_access
