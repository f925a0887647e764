#include "driver/core/device_tree.h"

#include <cstring>

DeviceRecord* FirstDevice;

namespace {

// The arena is module data: no heap, and freeing the whole tree is one store.
alignas(ArenaAlignment) BYTE Arena[ArenaSize];
SIZE_T ArenaTop;

}  // namespace

void ResetArena()
{
    ArenaTop = 0;
    FirstDevice = nullptr;
}

void* AllocateFromArena(SIZE_T size)
{
    SIZE_T rounded = (size + ArenaAlignment - 1) & ~(ArenaAlignment - 1);
    if (rounded < size || rounded > ArenaSize - ArenaTop) return nullptr;
    void* block = Arena + ArenaTop;
    std::memset(block, 0, rounded);
    ArenaTop += rounded;
    return block;
}

void ReleaseArenaFrom(void* start)
{
    BYTE* mark = static_cast<BYTE*>(start);
    if (mark >= Arena && mark <= Arena + ArenaTop) ArenaTop = SIZE_T(mark - Arena);
}

char* CopyTextToArena(const char* text, SIZE_T limit)
{
    SIZE_T length = 0;
    while (length + 1 < limit && text[length] != '\0') ++length;
    char* copy = static_cast<char*>(AllocateFromArena(length + 1));
    if (copy != nullptr) std::memcpy(copy, text, length);
    return copy;
}

void WalkTree(PinVisitor visitor, void* context)
{
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device))
        for (FilterRecord* filter = FirstFilter(device); filter != nullptr; filter = NextFilter(filter))
            for (PinRecord* pin = FirstPin(filter); pin != nullptr; pin = NextPin(pin))
                visitor(device, filter, pin, context);
}

namespace {

TreeRecord* RecordByIndex(TreeRecord* first, LONG index)
{
    TreeRecord* record = first;
    for (LONG step = 0; record != nullptr && step < index; ++step) record = record->next;
    return record;
}

}  // namespace

DeviceRecord* DeviceByIndex(LONG device)
{
    return static_cast<DeviceRecord*>(RecordByIndex(FirstDevice, device));
}

FilterRecord* FilterByIndex(LONG device, LONG filter)
{
    DeviceRecord* owner = DeviceByIndex(device);
    return owner ? static_cast<FilterRecord*>(RecordByIndex(owner->firstChild, filter)) : nullptr;
}

PinRecord* PinByIndex(LONG device, LONG filter, LONG pin)
{
    FilterRecord* owner = FilterByIndex(device, filter);
    return owner ? static_cast<PinRecord*>(RecordByIndex(owner->firstChild, pin)) : nullptr;
}

DeviceRecord* FindSelectedDevice()
{
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device))
        if (device->flags & RecordEnabled) return device;
    return nullptr;
}

void FindRecordOwners(TreeRecord* record, DeviceRecord** device, FilterRecord** filter, PinRecord** pin)
{
    *device = nullptr;
    *filter = nullptr;
    *pin = nullptr;
    for (DeviceRecord* d = FirstDevice; d != nullptr; d = NextDevice(d)) {
        if (d == record) {
            *device = d;
            return;
        }
        for (FilterRecord* f = FirstFilter(d); f != nullptr; f = NextFilter(f)) {
            if (f == record) {
                *device = d;
                *filter = f;
                return;
            }
            for (PinRecord* p = FirstPin(f); p != nullptr; p = NextPin(p)) {
                if (p == record) {
                    *device = d;
                    *filter = f;
                    *pin = p;
                    return;
                }
            }
        }
    }
}
