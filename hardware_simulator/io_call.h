// One DeviceIoControl call as the I/O manager hands it to a kernel driver, and the
// steps every IOCTL_KS_PROPERTY call shares, on filters and on pins alike.
#pragma once

#include <windows.h>

#include <optional>

#include "hardware_simulator/device.h"
#include "hardware_simulator/property_request.h"
#include "hardware_simulator/request_log.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

struct IoCall {
    DWORD code;
    void* input;
    DWORD inputSize;
    void* output;
    DWORD outputSize;
    DWORD* bytesReturned;
    OVERLAPPED* overlapped;
};

// The kernel probes the OVERLAPPED's status block, a stream request's KSSTREAM_HEADER
// and a property request's KSPROPERTY for their type's alignment, the pointer size, and
// refuses them otherwise (STATUS_DATATYPE_MISALIGNMENT, ERROR_NOACCESS).
inline bool IsAlignedForKernel(const void* address)
{
    return reinterpret_cast<ULONG_PTR>(address) % sizeof(void*) == 0;
}

// ERROR_SUCCESS when the buffers can carry a property request: a KSPROPERTY in the
// input, buffers where their sizes say, and somewhere to report the byte count.
DWORD CheckPropertyBuffers(const IoCall& call);
// The KSPROPERTY that starts the input, logged in `entry`.
KsIdentifier ReadProperty(const IoCall& call, LogEntry& entry);
// Hands `answer` to the caller as the I/O manager completes a request: the data cut to
// the output buffer, the byte count, and for success and warnings the OVERLAPPED
// completed; errors leave it untouched. Returns the answer's error.
DWORD DeliverAnswer(const IoCall& call, const PropertyAnswer& answer, LogEntry& entry);
// Delivers `answer` as DeliverAnswer does, or, when `device` pends this request and the
// answer is a success on an OVERLAPPED, a little later: ERROR_IO_PENDING now.
DWORD DeliverOrPend(const IoCall& call, const PropertyAnswer& answer, LogEntry& entry, const Device& device,
                    std::optional<ULONG> pinId);

}  // namespace hardware_simulator
