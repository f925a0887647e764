#include "hardware_simulator/pin_instances.h"

#include <algorithm>
#include <cstring>

#include "hardware_simulator/call_result.h"
#include "hardware_simulator/fault_hooks.h"
#include "hardware_simulator/filter_lookup.h"
#include "hardware_simulator/simulator_state.h"
#include "kernel_streaming/device_access.h"

namespace hardware_simulator {

namespace {

// The data access rights behind generic ones.
ACCESS_MASK GrantedAccess(ACCESS_MASK access)
{
    if (access & (GENERIC_READ | GENERIC_ALL)) access |= FILE_READ_DATA;
    if (access & (GENERIC_WRITE | GENERIC_ALL)) access |= FILE_WRITE_DATA;
    return access;
}

bool Offers(const std::vector<KsIdentifier>& offered, const KsIdentifier& asked)
{
    return std::any_of(offered.begin(), offered.end(), [&](const KsIdentifier& identifier) {
        return identifier.set == asked.set && identifier.id == asked.id;
    });
}

bool HasFreeInstance(const PinType& type)
{
    InstanceCount local = InstancesInUse(type, type.instances);
    std::optional<InstanceCount> global;
    if (type.globalInstances) global = InstancesInUse(type, *type.globalInstances);
    return local.current < local.possible && (!global || global->current < global->possible);
}

// The connection request checked in the order kernel streaming checks it: the pin,
// its interface and medium, a free instance, then the format.
DWORD CheckConnection(const Filter& filter, const KsPinConnect& connect, const PinFormat& format)
{
    if (connect.pinId >= filter.pins.size()) return ERROR_INVALID_PARAMETER;
    const PinType& type = filter.pins[connect.pinId];
    bool sink = type.communication == KSPIN_COMMUNICATION_SINK || type.communication == KSPIN_COMMUNICATION_BOTH;
    if (!sink || connect.pinToHandle != nullptr) return ERROR_INVALID_PARAMETER;
    if (!Offers(type.interfaces, connect.interfaceId) || !Offers(type.mediums, connect.medium)) return ERROR_NO_MATCH;
    if (type.busyError != ERROR_SUCCESS) return type.busyError;
    if (!HasFreeInstance(type)) return type.noInstanceError;
    return CheckFormat(type.formats, format);
}

void CountInstance(PinType& type)
{
    ++type.instances.current;
    if (type.globalInstances) ++type.globalInstances->current;
}

void UncountInstance(PinType& type)
{
    if (type.instances.current > 0) --type.instances.current;
    if (type.globalInstances && type.globalInstances->current > 0) --type.globalInstances->current;
}

DWORD CreatePin(LogEntry& entry, const void* connect, ACCESS_MASK access, HANDLE* pin)
{
    const OpenFilter* open = State().handles.Find<OpenFilter>(entry.handle);
    if (open == nullptr) return ERROR_INVALID_HANDLE;
    if (connect == nullptr || pin == nullptr) return ERROR_NOACCESS;
    const auto* bytes = static_cast<const BYTE*>(connect);
    KsPinConnect request;
    std::memcpy(&request, bytes, sizeof(request));
    PinFormat format = ReadPinFormat(bytes + sizeof(KsPinConnect));
    entry.pinId = request.pinId;
    entry.connection = LoggedConnection{request.interfaceId.id, access, format};

    LocatedFilter located = FindOpenFilter(State().machine, *open);
    if (located.filter == nullptr) return ERROR_DEVICE_NOT_CONNECTED;
    if (request.pinId < located.filter->pins.size())
        if (DWORD error = InjectedCreationFailure(open->instanceId, located.filter->pins[request.pinId].dataFlow))
            return error;
    if (DWORD error = CheckConnection(*located.filter, request, format)) return error;

    OpenPin instance;
    instance.filter = *open;
    instance.pinId = request.pinId;
    instance.dataFlow = located.filter->pins[request.pinId].dataFlow;
    instance.looped = request.interfaceId.id == KSINTERFACE_STANDARD_LOOPED_STREAMING;
    instance.access = GrantedAccess(access);
    instance.format = format;
    CountInstance(*FindPinType(State().machine, *open, request.pinId));
    entry.createdPin = State().handles.Add(std::move(instance));
    *pin = reinterpret_cast<HANDLE>(entry.createdPin);
    return ERROR_SUCCESS;
}

}  // namespace

InstanceCount InstancesInUse(const PinType& type, InstanceCount count)
{
    ULONG free = count.possible > count.current ? count.possible - count.current : 0;
    count.current += type.heldElsewhere < free ? type.heldElsewhere : free;
    return count;
}

void GiveBackInstance(const OpenPin& pin)
{
    if (PinType* type = FindPinType(State().machine, pin.filter, pin.pinId)) UncountInstance(*type);
}

bool ClosePinHandle(LogEntry& entry)
{
    OpenPin* pin = State().handles.Find<OpenPin>(entry.handle);
    if (pin == nullptr) return false;
    entry.leftEventRegistered = !pin->loop.Events().empty();
    DeliverCancellations(*pin, pin->queue.Stop());
    // The instance of a pin whose device was unplugged went with the device.
    if (!pin->filter.removed) GiveBackInstance(*pin);
    return State().handles.Remove<OpenPin>(entry.handle);
}

}  // namespace hardware_simulator

namespace device_access {

DWORD KsCreatePin(HANDLE filter, void* connect, ACCESS_MASK access, HANDLE* pin)
{
    using namespace hardware_simulator;
    StateLock guard(State().lock);
    LogEntry entry{Operation::KsCreatePin};
    entry.handle = reinterpret_cast<ULONG_PTR>(filter);
    DWORD error = CreatePin(entry, connect, access, pin);
    FinishCall(entry, error, LastError::OnFailure);
    return error;
}

}  // namespace device_access
