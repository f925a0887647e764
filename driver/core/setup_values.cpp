#include "driver/core/setup_values.h"

#include <cstddef>
#include <cstring>

#include "driver/core/device_tree.h"
#include "driver/core/module.h"
#include "driver/core/settings.h"
#include "driver/core/setup_contract.h"

namespace {

enum class FieldKind { Number, Text, InterfaceDetail };

struct Field {
    void* address;  // null: no such key
    FieldKind kind;
};

constexpr DWORD TextSize = 260;
constexpr DWORD InterfaceDetailSize = 265;

ULONG Width(FieldKind kind)
{
    return kind == FieldKind::Number ? 4 : ULONG(sizeof(void*));
}

Field DeviceField(TreeRecord* record, LONG key)
{
    auto* device = static_cast<DeviceRecord*>(record);
    switch (key) {
    case SetupDeviceFlags: return {&device->flags, FieldKind::Number};
    case SetupDeviceFriendlyName: return {&device->friendlyName, FieldKind::Text};
    case SetupDeviceManufacturer: return {&device->manufacturer, FieldKind::Text};
    case SetupDeviceServiceName: return {&device->serviceName, FieldKind::Text};
    case SetupDeviceLocation: return {&device->locationText, FieldKind::Text};
    case SetupDeviceHardwareId: return {&device->hardwareId, FieldKind::Text};
    case SetupDeviceEnumerator: return {&device->enumerator, FieldKind::Number};
    case SetupDeviceKernelBuffers: return {&device->kernelBuffers, FieldKind::Number};
    case SetupDeviceBufferPosition: return {&device->bufferPosition, FieldKind::Number};
    case SetupDeviceLatencyIn: return {&device->latencyIn, FieldKind::Number};
    case SetupDeviceLatencyOut: return {&device->latencyOut, FieldKind::Number};
    case SetupDeviceBufferSize: return {&device->bufferSize, FieldKind::Number};
    case SetupDeviceId: return {&device->deviceId, FieldKind::Number};
    case SetupDeviceInstance: return {&device->deviceInfo.DevInst, FieldKind::Number};
    default: return {nullptr, FieldKind::Number};
    }
}

Field FilterField(TreeRecord* record, LONG key)
{
    auto* filter = static_cast<FilterRecord*>(record);
    switch (key) {
    case SetupFilterFlags: return {&filter->flags, FieldKind::Number};
    case SetupFilterFriendlyName: return {&filter->friendlyName, FieldKind::Text};
    case SetupFilterInterfaceDetail: return {&filter->detail, FieldKind::InterfaceDetail};
    case SetupFilterNodeClasses: return {&filter->nodeClasses, FieldKind::Number};
    default: return {nullptr, FieldKind::Number};
    }
}

Field PinField(TreeRecord* record, LONG key)
{
    auto* pin = static_cast<PinRecord*>(record);
    switch (key) {
    case SetupPinFlags: return {&pin->flags, FieldKind::Number};
    case SetupPinDataFlow: return {&pin->dataFlow, FieldKind::Number};
    case SetupPinChannels: return {&pin->channels, FieldKind::Number};
    case SetupPinBits: return {&pin->bits, FieldKind::Number};
    case SetupPinLowestRate: return {&pin->lowestRate, FieldKind::Number};
    case SetupPinHighestRate: return {&pin->highestRate, FieldKind::Number};
    default: return {nullptr, FieldKind::Number};
    }
}

// A text or interface detail set through the interface is copied into the tree, so that
// the driver never keeps a pointer into the caller's memory. Of the caller's interface
// detail only the path is read, up to its NUL: the structure is only as long as its
// path. A path too long for the driver's records is refused; the copy carries this
// build's structure size.
HRESULT StoreCopy(const Field& field, const void* source)
{
    void* copy;
    if (field.kind == FieldKind::Text) {
        copy = CopyTextToArena(static_cast<const char*>(source), TextSize);
    } else {
        const char* path = static_cast<const char*>(source) + offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        constexpr SIZE_T LongestPath =
            InterfaceDetailSize - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) - 1;
        SIZE_T length = 0;
        while (length <= LongestPath && path[length] != '\0') ++length;
        if (length > LongestPath) return SETUP_E_PARAMETER;
        auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(AllocateFromArena(InterfaceDetailSize));
        if (detail != nullptr) {
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            std::memcpy(detail->DevicePath, path, length);
        }
        copy = detail;
    }
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::memcpy(field.address, &copy, sizeof(copy));
    return S_OK;
}

HRESULT Access(bool set, TreeRecord* record, Field (*fieldOf)(TreeRecord*, LONG), LONG key, void* value, ULONG size)
{
#if defined(_WIN64)
    if (record == nullptr) return SETUP_E_NODEVICE;
    Field field = fieldOf(record, key);
    if (field.address == nullptr || value == nullptr || size < Width(field.kind)) return SETUP_E_PARAMETER;
#else
    if (size < 4) return SETUP_E_PARAMETER;
    if (record == nullptr) return SETUP_E_NODEVICE;
    Field field = fieldOf(record, key);
    if (field.address == nullptr || value == nullptr) return SETUP_E_PARAMETER;
#endif
    if (!set) {
        LoadRecordSettings(record);
        std::memcpy(value, field.address, Width(field.kind));
        return S_OK;
    }
    if (field.kind == FieldKind::Number) {
        std::memcpy(field.address, value, 4);
    } else {
        void* source;
        std::memcpy(&source, value, sizeof(source));
        if (source == nullptr) return SETUP_E_PARAMETER;
        HRESULT stored = StoreCopy(field, source);
        if (stored != S_OK) return stored;
    }
    SaveRecordSettings(record);
    return S_OK;
}

// Runs one access under the driver lock, so that no scan rebuilds the tree meanwhile.
template <typename Lookup>
HRESULT LockedAccess(bool set, Lookup lookup, Field (*fieldOf)(TreeRecord*, LONG), LONG key, void* value, ULONG size)
{
    DriverLockGuard lock;
    return Access(set, lookup(), fieldOf, key, value, size);
}

}  // namespace

HRESULT AccessDeviceValue(bool set, LONG key, LONG device, void* value, ULONG size)
{
    return LockedAccess(
        set, [&] { return static_cast<TreeRecord*>(DeviceByIndex(device)); }, DeviceField, key, value, size);
}

HRESULT AccessFilterValue(bool set, LONG key, LONG device, LONG filter, void* value, ULONG size)
{
    return LockedAccess(
        set, [&] { return static_cast<TreeRecord*>(FilterByIndex(device, filter)); }, FilterField, key, value, size);
}

HRESULT AccessPinValue(bool set, LONG key, LONG device, LONG filter, LONG pin, void* value, ULONG size)
{
    return LockedAccess(
        set, [&] { return static_cast<TreeRecord*>(PinByIndex(device, filter, pin)); }, PinField, key, value, size);
}
