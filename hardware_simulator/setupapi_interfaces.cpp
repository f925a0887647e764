// SetupAPI's device interfaces: enumeration by class, device paths, aliases in other
// classes and the interfaces' registry keys.
#include "hardware_simulator/call_result.h"
#include "hardware_simulator/device_path.h"
#include "hardware_simulator/interface_keys.h"
#include "hardware_simulator/simulator_state.h"
#include "kernel_streaming/device_access.h"

#include <cstring>
#include <limits>

namespace {

using namespace hardware_simulator;

// The `index`th interface in `category` of the set's members (or of `only`), in
// member, filter and class order.
bool FindNthInterface(const DeviceInfoSet& set, std::size_t only, const GUID& category, DWORD index,
                      InterfaceElement* element)
{
    DWORD seen = 0;
    for (std::size_t member = 0; member < set.members.size(); ++member) {
        if (only != std::numeric_limits<std::size_t>::max() && member != only) continue;
        const std::vector<Filter>& filters = set.members[member].device.filters;
        for (std::size_t filter = 0; filter < filters.size(); ++filter)
            for (std::size_t registration = 0; registration < filters[filter].classes.size(); ++registration)
                if (filters[filter].classes[registration].category == category && seen++ == index) {
                    *element = {member, filter, registration};
                    return true;
                }
    }
    return false;
}

LogEntry EntryFor(Operation operation, HDEVINFO devices)
{
    LogEntry entry{operation};
    entry.handle = reinterpret_cast<ULONG_PTR>(devices);
    return entry;
}

}  // namespace

namespace device_access {

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO devices, SP_DEVINFO_DATA* device, const GUID* category, DWORD index,
                                 SP_DEVICE_INTERFACE_DATA* deviceInterface)
{
    StateLock guard(State().lock);
    LogEntry entry = EntryFor(Operation::EnumDeviceInterfaces, devices);
    entry.argument = index;
    if (category != nullptr) entry.category = *category;
    DeviceInfoSet* set = State().handles.Find<DeviceInfoSet>(entry.handle);
    if (set == nullptr) return FinishCall(entry, ERROR_INVALID_HANDLE, LastError::Always);
    if (category == nullptr || deviceInterface == nullptr)
        return FinishCall(entry, ERROR_INVALID_PARAMETER, LastError::Always);
    if (deviceInterface->cbSize != InterfaceRecordSize)
        return FinishCall(entry, ERROR_INVALID_USER_BUFFER, LastError::Always);
    std::size_t only = std::numeric_limits<std::size_t>::max();
    if (device != nullptr)
        if (DWORD error = set->FindMember(device, &only)) return FinishCall(entry, error, LastError::Always);
    InterfaceElement element;
    if (!FindNthInterface(*set, only, *category, index, &element))
        return FinishCall(entry, ERROR_NO_MORE_ITEMS, LastError::Always);
    set->Describe(element, deviceInterface);
    return FinishCall(entry, ERROR_SUCCESS, LastError::Always);
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* deviceInterface,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize, DWORD* requiredSize,
                                      SP_DEVINFO_DATA* device)
{
    StateLock guard(State().lock);
    LogEntry entry = EntryFor(Operation::GetDeviceInterfaceDetail, devices);
    entry.argument = detailSize;
    const DeviceInfoSet* set = State().handles.Find<DeviceInfoSet>(entry.handle);
    if (set == nullptr) return FinishCall(entry, ERROR_INVALID_HANDLE, LastError::Always);
    InterfaceInSet found;
    if (DWORD error = set->FindInterface(deviceInterface, &found)) return FinishCall(entry, error, LastError::Always);
    bool detailUsable = detail == nullptr
                            ? detailSize == 0
                            : detailSize > DevicePathOffset && detail->cbSize == InterfaceDetailRecordSize;
    if (!detailUsable || (device != nullptr && device->cbSize != DeviceInfoRecordSize))
        return FinishCall(entry, ERROR_INVALID_USER_BUFFER, LastError::Always);
    std::string path = DevicePath(*found.device, *found.filter, found.registration->category);
    DWORD needed = DevicePathOffset + DWORD(path.size()) + 1;
    if (requiredSize != nullptr) *requiredSize = needed;
    if (detailSize < needed) return FinishCall(entry, ERROR_INSUFFICIENT_BUFFER, LastError::Always);
    std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    if (device != nullptr) set->Describe(found.element.member, device);
    return FinishCall(entry, ERROR_SUCCESS, LastError::Always);
}

BOOL SetupDiGetDeviceInterfaceAlias(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* deviceInterface,
                                    const GUID* aliasCategory, SP_DEVICE_INTERFACE_DATA* alias)
{
    StateLock guard(State().lock);
    LogEntry entry = EntryFor(Operation::GetDeviceInterfaceAlias, devices);
    if (aliasCategory != nullptr) entry.category = *aliasCategory;
    DeviceInfoSet* set = State().handles.Find<DeviceInfoSet>(entry.handle);
    if (set == nullptr) return FinishCall(entry, ERROR_INVALID_HANDLE, LastError::Always);
    InterfaceInSet found;
    if (DWORD error = set->FindInterface(deviceInterface, &found)) return FinishCall(entry, error, LastError::Always);
    if (aliasCategory == nullptr || alias == nullptr)
        return FinishCall(entry, ERROR_INVALID_PARAMETER, LastError::Always);
    if (alias->cbSize != InterfaceRecordSize) return FinishCall(entry, ERROR_INVALID_USER_BUFFER, LastError::Always);
    // An alias is the same filter (device and reference string) registered in another class.
    const std::vector<InterfaceClass>& classes = found.filter->classes;
    for (std::size_t registration = 0; registration < classes.size(); ++registration) {
        if (classes[registration].category != *aliasCategory) continue;
        set->Describe(InterfaceElement{found.element.member, found.element.filter, registration}, alias);
        return FinishCall(entry, ERROR_SUCCESS, LastError::Always);
    }
    return FinishCall(entry, ERROR_NO_SUCH_INTERFACE_DEVICE, LastError::Always);
}

HKEY SetupDiOpenDeviceInterfaceRegKey(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* deviceInterface, DWORD, REGSAM access)
{
    StateLock guard(State().lock);
    LogEntry entry = EntryFor(Operation::OpenDeviceInterfaceRegKey, devices);
    entry.argument = access;
    const DeviceInfoSet* set = State().handles.Find<DeviceInfoSet>(entry.handle);
    InterfaceInSet found;
    DWORD error = set == nullptr ? DWORD(ERROR_INVALID_HANDLE) : set->FindInterface(deviceInterface, &found);
    HKEY key = nullptr;
    if (error == ERROR_SUCCESS) {
        std::string path = InterfaceKeyPath(DevicePath(*found.device, *found.filter, found.registration->category));
        error = DWORD(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &key));
    }
    FinishCall(entry, error, LastError::Always);
    return error == ERROR_SUCCESS ? key : static_cast<HKEY>(INVALID_HANDLE_VALUE);
}

}  // namespace device_access
