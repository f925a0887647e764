#include "hardware_simulator/device_info_set.h"

#include <algorithm>

namespace hardware_simulator {

// Room for the positions of one set's elements in a record's Reserved; sets hold a handful.
constexpr ULONG_PTR ElementsPerSet = 0x10000;

DeviceInfoSet::DeviceInfoSet()
{
    static ULONG_PTR sets = 0;
    serial_ = ++sets;
}

ULONG_PTR DeviceInfoSet::Token(std::size_t index) const
{
    return serial_ * ElementsPerSet + index + 1;
}

bool DeviceInfoSet::IndexOf(ULONG_PTR token, std::size_t count, std::size_t* index) const
{
    ULONG_PTR position = token - serial_ * ElementsPerSet;
    if (position == 0 || position > count) return false;
    *index = position - 1;
    return true;
}

void DeviceInfoSet::Describe(std::size_t index, SP_DEVINFO_DATA* record) const
{
    record->ClassGuid = members[index].device.setupClass;
    record->DevInst = members[index].devInst;
    record->Reserved = Token(index);
}

void DeviceInfoSet::Describe(const InterfaceElement& element, SP_DEVICE_INTERFACE_DATA* record)
{
    auto known = std::find(interfaces_.begin(), interfaces_.end(), element);
    if (known == interfaces_.end()) known = interfaces_.insert(interfaces_.end(), element);
    const InterfaceClass& registration =
        members[element.member].device.filters[element.filter].classes[element.interfaceClass];
    record->InterfaceClassGuid = registration.category;
    record->Flags = registration.flags;
    record->Reserved = Token(std::size_t(known - interfaces_.begin()));
}

DWORD DeviceInfoSet::FindMember(const SP_DEVINFO_DATA* record, std::size_t* index) const
{
    if (record == nullptr) return ERROR_INVALID_PARAMETER;
    if (record->cbSize != DeviceInfoRecordSize) return ERROR_INVALID_USER_BUFFER;
    if (!IndexOf(record->Reserved, members.size(), index) || members[*index].devInst != record->DevInst)
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

DWORD DeviceInfoSet::FindInterface(const SP_DEVICE_INTERFACE_DATA* record, InterfaceInSet* found) const
{
    if (record == nullptr) return ERROR_INVALID_PARAMETER;
    if (record->cbSize != InterfaceRecordSize) return ERROR_INVALID_USER_BUFFER;
    std::size_t index;
    if (!IndexOf(record->Reserved, interfaces_.size(), &index)) return ERROR_INVALID_PARAMETER;
    const InterfaceElement& element = interfaces_[index];
    const Filter& filter = members[element.member].device.filters[element.filter];
    *found = {element, &members[element.member].device, &filter, &filter.classes[element.interfaceClass]};
    return ERROR_SUCCESS;
}

}  // namespace hardware_simulator
