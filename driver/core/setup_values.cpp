#include "driver/core/setup_values.h"

#include <cstddef>
#include <cstring>

#include "driver/core/device_tree.h"
#include "driver/core/module.h"
#include "driver/core/settings.h"
#include "driver/core/setup_interface.h"

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
    case 0: return {&device->flags, FieldKind::Number};
    case 1: return {&device->friendlyName, FieldKind::Text};
    case 2: return {&device->manufacturer, FieldKind::Text};
    case 3: return {&device->serviceName, FieldKind::Text};
    case 4: return {&device->locationText, FieldKind::Text};
    case 5: return {&device->hardwareId, FieldKind::Text};
    case 6: return {&device->enumerator, FieldKind::Number};
    case 7: return {&device->kernelBuffers, FieldKind::Number};
    case 8: return {&device->bufferPosition, FieldKind::Number};
    case 9: return {&device->latencyIn, FieldKind::Number};
    case 10: return {&device->latencyOut, FieldKind::Number};
    case 11: return {&device->bufferSize, FieldKind::Number};
    case 12: return {&device->deviceId, FieldKind::Number};
    case 13: return {&device->deviceInfo.DevInst, FieldKind::Number};
    default: return {nullptr, FieldKind::Number};
    }
}

Field FilterField(TreeRecord* record, LONG key)
{
    auto* filter = static_cast<FilterRecord*>(record);
    switch (key) {
    case 0: return {&filter->flags, FieldKind::Number};
    case 1: return {&filter->friendlyName, FieldKind::Text};
    case 2: return {&filter->detail, FieldKind::InterfaceDetail};
    case 3: return {&filter->nodeClasses, FieldKind::Number};
    default: return {nullptr, FieldKind::Number};
    }
}

Field PinField(TreeRecord* record, LONG key)
{
    auto* pin = static_cast<PinRecord*>(record);
    switch (key) {
    case 0: return {&pin->flags, FieldKind::Number};
    case 1: return {&pin->dataFlow, FieldKind::Number};
    case 2: return {&pin->channels, FieldKind::Number};
    case 3: return {&pin->bits, FieldKind::Number};
    case 4: return {&pin->lowestRate, FieldKind::Number};
    case 5: return {&pin->highestRate, FieldKind::Number};
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
        constexpr SIZE_T LongestPath = InterfaceDetailSize - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) - 1;
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

HRESULT Access(bool set, TreeRecord* record, Field (*fieldOf)(TreeRecord*, LONG), LONG key, void* value,
               ULONG size)
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
HRESULT LockedAccess(bool set, Lookup lookup, Field (*fieldOf)(TreeRecord*, LONG), LONG key, void* value,
                     ULONG size)
{
    EnterDriverLock();
    HRESULT result = Access(set, lookup(), fieldOf, key, value, size);
    LeaveDriverLock();
    return result;
}

}  // namespace

HRESULT AccessDeviceValue(bool set, LONG key, LONG device, void* value, ULONG size)
{
    return LockedAccess(set, [&] { return static_cast<TreeRecord*>(DeviceByIndex(device)); }, DeviceField, key, value,
                        size);
}

HRESULT AccessFilterValue(bool set, LONG key, LONG device, LONG filter, void* value, ULONG size)
{
    return LockedAccess(set, [&] { return static_cast<TreeRecord*>(FilterByIndex(device, filter)); }, FilterField, key,
                        value, size);
}

HRESULT AccessPinValue(bool set, LONG key, LONG device, LONG filter, LONG pin, void* value, ULONG size)
{
    return LockedAccess(set, [&] { return static_cast<TreeRecord*>(PinByIndex(device, filter, pin)); }, PinField, key,
                        value, size);
}
