#include "hardware_simulator/stream_requests.h"

#include "hardware_simulator/filter_lookup.h"
#include "hardware_simulator/overlapped_completion.h"
#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

// The header travels in the output buffer, one header per request. A pin handle is
// asynchronous, so a request without an OVERLAPPED would leave the caller blocked
// until the device completes it; the simulator refuses it instead.
DWORD QueueStreamRequest(OpenPin& pin, const IoCall& call, LogEntry& entry)
{
    bool capture = call.code == IOCTL_KS_READ_STREAM;
    // The I/O manager checks the access the request code demands before the driver sees it.
    if (!(pin.access & (capture ? FILE_READ_DATA : FILE_WRITE_DATA))) return ERROR_ACCESS_DENIED;
    if (FindOpenFilter(State().machine, pin.filter).filter == nullptr) return ERROR_DEVICE_NOT_CONNECTED;
    bool capturePin = pin.dataFlow == KSPIN_DATAFLOW_OUT;
    if (pin.looped || capture != capturePin) return ERROR_INVALID_FUNCTION;

    if (call.output == nullptr && call.outputSize != 0) return ERROR_NOACCESS;
    if (call.overlapped == nullptr) return ERROR_INVALID_PARAMETER;
    if (call.outputSize < sizeof(KsStreamHeader)) return ERROR_INVALID_USER_BUFFER;
    if (!IsAlignedForKernel(call.output)) return ERROR_NOACCESS;
    auto* header = static_cast<KsStreamHeader*>(call.output);
    entry.stream = LoggedStreamHeader{header->size, header->data, header->frameExtent, header->dataUsed};
    if (header->size != sizeof(KsStreamHeader) || call.outputSize != header->size) return ERROR_INVALID_USER_BUFFER;
    if (header->data == nullptr && header->frameExtent != 0) return ERROR_NOACCESS;
    if (!capture && header->dataUsed > header->frameExtent) return ERROR_INVALID_PARAMETER;
    // A stopped pin takes no requests; from ACQUIRE on they queue, so clients can prime.
    if (pin.state == KSSTATE_STOP) return ERROR_BAD_COMMAND;

    call.overlapped->Internal = StatusPending;
    call.overlapped->InternalHigh = 0;
    pin.queue.Add({call.overlapped, header, capture, header->frameExtent, header->dataUsed,
                   static_cast<BYTE*>(header->data), 0, State().threads.Current()});
    return ERROR_IO_PENDING;
}

}  // namespace hardware_simulator
