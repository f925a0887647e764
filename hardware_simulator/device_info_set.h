// A device information set (HDEVINFO): a snapshot of the devices that matched when it
// was made, as SetupAPI keeps one, and the elements it has handed out. SetupAPI's
// records carry their bitness's cbSize and point back into the set through Reserved.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <vector>

#include "hardware_simulator/device.h"

namespace hardware_simulator {

constexpr DWORD DeviceInfoRecordSize = sizeof(void*) == 8 ? 32 : 28;
constexpr DWORD InterfaceRecordSize = sizeof(void*) == 8 ? 32 : 28;
constexpr DWORD InterfaceDetailRecordSize = sizeof(void*) == 8 ? 8 : 5;
constexpr DWORD DevicePathOffset = 4;  // of SP_DEVICE_INTERFACE_DETAIL_DATA_A in both bitnesses
static_assert(sizeof(SP_DEVINFO_DATA) == DeviceInfoRecordSize, "SP_DEVINFO_DATA");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == InterfaceRecordSize, "SP_DEVICE_INTERFACE_DATA");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == InterfaceDetailRecordSize, "detail record");
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == DevicePathOffset, "device path");

struct SetMember {
    Device device;
    DWORD devInst;
};

// One interface of a member in one class.
struct InterfaceElement {
    std::size_t member;
    std::size_t filter;
    std::size_t interfaceClass;

    bool operator==(const InterfaceElement&) const = default;
};

// A located interface element: its device, filter and class registration.
struct InterfaceInSet {
    InterfaceElement element;
    const Device* device;
    const Filter* filter;
    const InterfaceClass* registration;
};

class DeviceInfoSet {
public:
    DeviceInfoSet();  // with a serial number of its own, so records of other sets are told apart

    std::vector<SetMember> members;

    // Fills a caller's SP_DEVINFO_DATA for members[index].
    void Describe(std::size_t index, SP_DEVINFO_DATA* record) const;
    // Fills a caller's SP_DEVICE_INTERFACE_DATA, remembering the element it names.
    void Describe(const InterfaceElement& element, SP_DEVICE_INTERFACE_DATA* record);

    // The member a caller's record names: ERROR_INVALID_USER_BUFFER for a wrong cbSize,
    // ERROR_INVALID_PARAMETER for a record that is not of this set.
    DWORD FindMember(const SP_DEVINFO_DATA* record, std::size_t* index) const;
    DWORD FindInterface(const SP_DEVICE_INTERFACE_DATA* record, InterfaceInSet* found) const;

private:
    // A record's Reserved: the set's serial number and the element's position.
    ULONG_PTR Token(std::size_t index) const;
    bool IndexOf(ULONG_PTR token, std::size_t count, std::size_t* index) const;

    ULONG_PTR serial_;
    std::vector<InterfaceElement> interfaces_;
};

}  // namespace hardware_simulator
