// SetupAPI's device information sets: which devices a query finds, and their properties.
#include "hardware_simulator/call_result.h"
#include "hardware_simulator/device_path.h"
#include "hardware_simulator/device_registry_property.h"
#include "hardware_simulator/simulator_state.h"
#include "kernel_streaming/device_access.h"

#include <cstring>

namespace {

using namespace hardware_simulator;

// Null `category`: any class.
bool ExposesInterface(const Device& device, const GUID* category)
{
    for (const Filter& filter : device.filters)
        for (const InterfaceClass& registration : filter.classes)
            if (category == nullptr || registration.category == *category) return true;
    return false;
}

bool Matches(const Device& device, const GUID* category, const char* enumerator, DWORD flags)
{
    if ((flags & DIGCF_PRESENT) && !device.present) return false;
    if (enumerator != nullptr && !SameText(enumerator, device.enumerator) && !SameText(enumerator, device.instanceId))
        return false;
    const GUID* wanted = (flags & DIGCF_ALLCLASSES) ? nullptr : category;
    if (flags & DIGCF_DEVICEINTERFACE) return ExposesInterface(device, wanted);
    return wanted == nullptr || device.setupClass == *wanted;
}

}  // namespace

namespace device_access {

HDEVINFO SetupDiGetClassDevsA(const GUID* category, const char* enumerator, HWND, DWORD flags)
{
    StateLock guard(State().lock);
    LogEntry entry{Operation::GetClassDevs};
    entry.argument = flags;
    if (category != nullptr) entry.category = *category;
    if (category == nullptr && !(flags & DIGCF_ALLCLASSES)) {
        FinishCall(entry, ERROR_INVALID_PARAMETER, LastError::Always);
        return INVALID_HANDLE_VALUE;
    }
    DeviceInfoSet set;
    const std::vector<Device>& devices = State().machine.devices;
    for (std::size_t index = 0; index < devices.size(); ++index)
        if (Matches(devices[index], category, enumerator, flags))
            set.members.push_back({devices[index], DWORD(index + 1)});
    entry.handle = State().handles.Add(std::move(set));
    FinishCall(entry, ERROR_SUCCESS, LastError::Always);
    return reinterpret_cast<HDEVINFO>(entry.handle);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO devices, DWORD index, SP_DEVINFO_DATA* device)
{
    StateLock guard(State().lock);
    LogEntry entry{Operation::EnumDeviceInfo};
    entry.handle = reinterpret_cast<ULONG_PTR>(devices);
    entry.argument = index;
    const DeviceInfoSet* set = State().handles.Find<DeviceInfoSet>(entry.handle);
    if (set == nullptr) return FinishCall(entry, ERROR_INVALID_HANDLE, LastError::Always);
    if (device == nullptr) return FinishCall(entry, ERROR_INVALID_PARAMETER, LastError::Always);
    if (device->cbSize != DeviceInfoRecordSize) return FinishCall(entry, ERROR_INVALID_USER_BUFFER, LastError::Always);
    if (index >= set->members.size()) return FinishCall(entry, ERROR_NO_MORE_ITEMS, LastError::Always);
    set->Describe(index, device);
    return FinishCall(entry, ERROR_SUCCESS, LastError::Always);
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO devices, SP_DEVINFO_DATA* device, DWORD property, DWORD* valueType,
                                       BYTE* buffer, DWORD bufferSize, DWORD* requiredSize)
{
    StateLock guard(State().lock);
    LogEntry entry{Operation::GetDeviceRegistryProperty};
    entry.handle = reinterpret_cast<ULONG_PTR>(devices);
    entry.argument = property;
    const DeviceInfoSet* set = State().handles.Find<DeviceInfoSet>(entry.handle);
    if (set == nullptr) return FinishCall(entry, ERROR_INVALID_HANDLE, LastError::Always);
    std::size_t member;
    if (DWORD error = set->FindMember(device, &member)) return FinishCall(entry, error, LastError::Always);
    if (buffer == nullptr && bufferSize != 0) return FinishCall(entry, ERROR_INVALID_PARAMETER, LastError::Always);
    DWORD type;
    std::vector<BYTE> value;
    if (DWORD error = ReadRegistryProperty(set->members[member].device, property, &type, &value))
        return FinishCall(entry, error, LastError::Always);
    if (valueType != nullptr) *valueType = type;
    if (requiredSize != nullptr) *requiredSize = DWORD(value.size());
    if (bufferSize < value.size()) return FinishCall(entry, ERROR_INSUFFICIENT_BUFFER, LastError::Always);
    std::memcpy(buffer, value.data(), value.size());
    return FinishCall(entry, ERROR_SUCCESS, LastError::Always);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO devices)
{
    StateLock guard(State().lock);
    LogEntry entry{Operation::DestroyDeviceInfoList};
    entry.handle = reinterpret_cast<ULONG_PTR>(devices);
    bool removed = State().handles.Remove<DeviceInfoSet>(entry.handle);
    return FinishCall(entry, removed ? ERROR_SUCCESS : ERROR_INVALID_HANDLE, LastError::Always);
}

}  // namespace device_access
