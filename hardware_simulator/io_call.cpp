#include "hardware_simulator/io_call.h"

#include <algorithm>
#include <cstring>

#include "hardware_simulator/overlapped_completion.h"
#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

DWORD CheckPropertyBuffers(const IoCall& call)
{
    if ((call.input == nullptr && call.inputSize != 0) || (call.output == nullptr && call.outputSize != 0))
        return ERROR_NOACCESS;
    if (call.bytesReturned == nullptr && call.overlapped == nullptr) return ERROR_INVALID_PARAMETER;
    if (call.inputSize < sizeof(KsIdentifier)) return ERROR_INVALID_USER_BUFFER;
    if (!IsAlignedForKernel(call.input)) return ERROR_NOACCESS;
    return ERROR_SUCCESS;
}

KsIdentifier ReadProperty(const IoCall& call, LogEntry& entry)
{
    KsIdentifier property;
    std::memcpy(&property, call.input, sizeof(property));
    entry.propertySet = property.set;
    entry.propertyId = property.id;
    entry.propertyFlags = property.flags;
    return property;
}

DWORD DeliverAnswer(const IoCall& call, const PropertyAnswer& answer, LogEntry& entry)
{
    // The answer never runs past the caller's buffer, whatever a hook made of it.
    std::size_t written = std::min<std::size_t>(answer.data.size(), call.outputSize);
    if (written != 0) std::memcpy(call.output, answer.data.data(), written);
    if (call.bytesReturned != nullptr) *call.bytesReturned = answer.bytesReturned;
    entry.bytesReturned = answer.bytesReturned;
    if (call.overlapped != nullptr && (answer.error == ERROR_SUCCESS || answer.error == ERROR_MORE_DATA))
        CompleteOverlapped(call.overlapped, answer.error == ERROR_SUCCESS ? StatusSuccess : StatusBufferOverflow,
                           answer.bytesReturned);
    return answer.error;
}

namespace {

bool Pends(const Device& device, const LogEntry& entry, std::optional<ULONG> pinId)
{
    for (const PendingProperty& pending : device.pendingProperties)
        if (pending.set == entry.propertySet && pending.id == entry.propertyId &&
            (!pending.pinId || pending.pinId == pinId))
            return true;
    return false;
}

}  // namespace

DWORD DeliverOrPend(const IoCall& call, const PropertyAnswer& answer, LogEntry& entry, const Device& device,
                    std::optional<ULONG> pinId)
{
    if (call.overlapped == nullptr || answer.error != ERROR_SUCCESS || !Pends(device, entry, pinId))
        return DeliverAnswer(call, answer, entry);
    Completion completion;
    completion.overlapped = call.overlapped;
    completion.bytes = answer.bytesReturned;
    completion.output = call.output;
    completion.data.assign(answer.data.begin(),
                           answer.data.begin() + std::min<std::size_t>(answer.data.size(), call.outputSize));
    completion.thread = State().threads.Current();
    call.overlapped->Internal = StatusPending;
    call.overlapped->InternalHigh = 0;
    entry.bytesReturned = answer.bytesReturned;
    State().late.Add(std::move(completion), device.pendingDelayMs);
    return ERROR_IO_PENDING;
}

}  // namespace hardware_simulator
