// DeviceIoControl on filter handles: IOCTL_KS_PROPERTY decoded and answered as the
// filter's kernel driver does, synchronously, also on overlapped handles.
#include "driver/engine/device_access.h"
#include "driver/engine/kernel_streaming.h"
#include "hardware_simulator/call_result.h"
#include "hardware_simulator/filter_lookup.h"
#include "hardware_simulator/pin_properties.h"
#include "hardware_simulator/simulator_state.h"
#include "hardware_simulator/topology_properties.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace hardware_simulator;

constexpr ULONG_PTR StatusSuccess = 0;
constexpr ULONG_PTR StatusBufferOverflow = 0x80000005;  // a warning: ERROR_MORE_DATA

PropertyAnswer AnswerFilterProperty(const Filter& filter, const PropertyRequest& request)
{
    if (request.set == KSPROPSETID_Pin) return AnswerPinProperty(filter, request);
    if (request.set == KSPROPSETID_Topology) return AnswerTopologyProperty(filter, request);
    return {ERROR_SET_NOT_FOUND, 0, {}};
}

// As the I/O manager completes a request: success and warnings write the status and the
// byte count into the OVERLAPPED and signal its event; errors leave it untouched. The
// lowest bit of hEvent only asks not to notify a completion port.
void CompleteOverlapped(OVERLAPPED* overlapped, const PropertyAnswer& answer)
{
    if (answer.error != ERROR_SUCCESS && answer.error != ERROR_MORE_DATA) return;
    overlapped->Internal = answer.error == ERROR_SUCCESS ? StatusSuccess : StatusBufferOverflow;
    overlapped->InternalHigh = answer.bytesReturned;
    auto event = reinterpret_cast<ULONG_PTR>(overlapped->hEvent) & ~ULONG_PTR(1);
    if (event != 0) SetEvent(reinterpret_cast<HANDLE>(event));
}

DWORD CheckBuffers(const void* input, DWORD inputSize, const void* output, DWORD outputSize, const DWORD* bytesReturned,
                   const OVERLAPPED* overlapped)
{
    if ((input == nullptr && inputSize != 0) || (output == nullptr && outputSize != 0)) return ERROR_NOACCESS;
    if (bytesReturned == nullptr && overlapped == nullptr) return ERROR_INVALID_PARAMETER;
    if (inputSize < sizeof(KsIdentifier)) return ERROR_INVALID_USER_BUFFER;
    return ERROR_SUCCESS;
}

}  // namespace

namespace device_access {

BOOL DeviceIoControl(HANDLE handle, DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize,
                     DWORD* bytesReturned, OVERLAPPED* overlapped)
{
    StateLock guard(State().lock);
    LogEntry entry{Operation::DeviceIoControl};
    entry.handle = reinterpret_cast<ULONG_PTR>(handle);
    entry.ioctl = code;
    const OpenFilter* open = State().handles.Find<OpenFilter>(entry.handle);
    if (open == nullptr) return FinishCall(entry, ERROR_INVALID_HANDLE, LastError::OnFailure);
    if (code != IOCTL_KS_PROPERTY) return FinishCall(entry, ERROR_INVALID_FUNCTION, LastError::OnFailure);
    if (DWORD error = CheckBuffers(input, inputSize, output, outputSize, bytesReturned, overlapped))
        return FinishCall(entry, error, LastError::OnFailure);

    const auto* bytes = static_cast<const BYTE*>(input);
    KsPinProperty property{};
    std::memcpy(&property, bytes, std::min<DWORD>(inputSize, sizeof(property)));
    entry.propertySet = property.property.set;
    entry.propertyId = property.property.id;
    entry.propertyFlags = property.property.flags;
    if (property.property.set == KSPROPSETID_Pin && inputSize >= sizeof(KsPinProperty)) entry.pinId = property.pinId;

    LocatedFilter located = FindOpenFilter(State().machine, *open);
    if (located.filter == nullptr) return FinishCall(entry, ERROR_DEVICE_NOT_CONNECTED, LastError::OnFailure);
    PropertyRequest request{.handle = entry.handle,
                            .device = located.device,
                            .filter = located.filter,
                            .set = entry.propertySet,
                            .id = entry.propertyId,
                            .flags = entry.propertyFlags,
                            .pinId = entry.pinId,
                            .input = bytes,
                            .inputSize = inputSize,
                            .outputSize = outputSize};
    PropertyAnswer answer = AnswerFilterProperty(*located.filter, request);
    AnswerHook hook = State().answerHook;  // a copy, as the hook may replace itself
    if (hook) hook(request, answer);

    // The answer never runs past the caller's buffer, whatever a hook made of it.
    std::size_t written = std::min<std::size_t>(answer.data.size(), outputSize);
    if (written != 0) std::memcpy(output, answer.data.data(), written);
    if (bytesReturned != nullptr) *bytesReturned = answer.bytesReturned;
    entry.bytesReturned = answer.bytesReturned;
    if (overlapped != nullptr) CompleteOverlapped(overlapped, answer);
    return FinishCall(entry, answer.error, LastError::OnFailure);
}

}  // namespace device_access
