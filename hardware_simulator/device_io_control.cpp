// DeviceIoControl: each call goes to the kernel driver behind the handle, a filter's
// or a pin instance's, and is logged with its outcome.
#include "hardware_simulator/call_result.h"
#include "hardware_simulator/filter_requests.h"
#include "hardware_simulator/pin_requests.h"
#include "hardware_simulator/simulator_state.h"
#include "kernel_streaming/device_access.h"

namespace device_access {

using namespace hardware_simulator;

BOOL DeviceIoControl(HANDLE handle, DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize,
                     DWORD* bytesReturned, OVERLAPPED* overlapped)
{
    StateLock guard(State().lock);
    LogEntry entry{Operation::DeviceIoControl};
    entry.handle = reinterpret_cast<ULONG_PTR>(handle);
    entry.ioctl = code;
    IoCall call{code, input, inputSize, output, outputSize, bytesReturned, overlapped};
    const OpenFilter* filter = State().handles.Find<OpenFilter>(entry.handle);
    OpenPin* pin = State().handles.Find<OpenPin>(entry.handle);
    DWORD error = ERROR_INVALID_HANDLE;
    // The I/O manager probes the status block before any driver sees the request.
    if ((filter != nullptr || pin != nullptr) && overlapped != nullptr && !IsAlignedForKernel(overlapped))
        error = ERROR_NOACCESS;
    else if (filter != nullptr)
        error = FilterIoControl(*filter, call, entry);
    else if (pin != nullptr)
        error = PinIoControl(*pin, call, entry);
    return FinishCall(entry, error, LastError::OnFailure);
}

}  // namespace device_access
