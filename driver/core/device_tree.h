// The device tree: devices (PnP device nodes) own filters (kernel-streaming audio
// filters) own pins (the sink pins that carry PCM). Records live in one fixed arena
// that every scan resets, so no record pointer may be kept across a rescan.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include "driver/core/flag_words.h"
#include "driver/engine/conversion/conversion_pin.h"
#include "kernel_streaming/kernel_streaming.h"

enum RecordLevel : DWORD {
    DeviceLevel = 0,
    FilterLevel = 1,
    PinLevel = 2,
};

struct TreeRecord {
    TreeRecord* previous;
    TreeRecord* next;
    TreeRecord* firstChild;
    DWORD level;
    DWORD flags;
};

struct DeviceRecord : TreeRecord {
    SP_DEVINFO_DATA deviceInfo;
    char* friendlyName;
    char* manufacturer;
    char* serviceName;
    char* locationText;
    char* hardwareId;
    DWORD enumerator;  // up to three characters and their NUL, compared as one number
    DWORD kernelBuffers;
    DWORD bufferPosition;
    DWORD latencyIn;
    DWORD latencyOut;
    DWORD bufferSize;
    DWORD deviceId;
};

struct FilterRecord : TreeRecord {
    SP_DEVICE_INTERFACE_DATA interfaceData;
    SP_DEVICE_INTERFACE_DATA aliasData;
    char* friendlyName;
    SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail;  // its device path opens the filter
    HANDLE handle;                              // open during enumeration and while streams use it
    DWORD pinTypeCount;
    DWORD nodeClasses;
};

// Node classes of a filter's topology.
constexpr DWORD NodeClassAdc = 0x1;
constexpr DWORD NodeClassDac = 0x2;
constexpr DWORD NodeClassDigital = 0x4;  // S/PDIF or HDMI interface

constexpr int PacketSlots = 8;

struct PinRecord : TreeRecord {
    // One block: KsCreatePin takes the connect request followed by its data format.
    BYTE connection[PinConnectionSize];
    DWORD pinId;
    GUID majorFormat;
    GUID subFormat;
    GUID specifier;
    char* name;  // may be absent
    DWORD possibleInstances;
    DWORD currentInstances;
    DWORD dataFlow;  // KSPIN_DATAFLOW_IN (render) or KSPIN_DATAFLOW_OUT (capture)
    DWORD channels;  // of the best data range
    DWORD bits;
    DWORD lowestRate;
    DWORD highestRate;  // lowered when only a fallback rate worked

    // Kernel streaming. Every request on the pin uses an OVERLAPPED of its own record,
    // so nothing is allocated per request.
    OVERLAPPED requestOverlapped;  // property requests; its event is the request event
    OVERLAPPED packetOverlapped[PacketSlots];
    KsStreamHeader streamHeaders[PacketSlots];
    DeviceRecord* device;
    FilterRecord* filter;
    HANDLE handle;  // INVALID_HANDLE_VALUE while closed
    volatile ULONG* positionRegister;
    HANDLE notificationEvent;
    DWORD recordedState;  // the last KSSTATE set
    DWORD fifoFrames;
    DWORD fifoBytes;
    DWORD chipsetDelay;  // 100 ns units
    DWORD codecDelay;
    WORD lastCreateResult;  // Windows error of the last KsCreatePin

    // Stream set-up.
    DWORD streamFlags;
    DWORD kernelBuffers;    // 2, 3 or 4
    DWORD* bufferPosition;  // the owning device's setting, milliseconds
    bool formatBySearch;

    // What the sample converters read and advance: the open format, the packet pointers
    // (looped pins: first half, second half, buffer start, buffer end; large-packet pins:
    // area start, middle, ring start and ring end), the submitted and converted counts,
    // the rate-table index, the first slab channel and the rate converter's state.
    ConversionPin conversion;

    // Packet flow seen by the streaming thread.
    DWORD completedCount;
    volatile LONG inFlight;  // render packets submitted and not yet completed
    DWORD overrunCount;      // capture completions in a row with the render queue too deep
    DWORD lastCompletionTime;
    // A non-master large-packet pin measures how far its completions lie from the
    // master's (or the reference period's): the reference seen at its previous completion.
    DWORD previousReferenceTime;
    DWORD previousReferenceCount;
};

// The pin's connect request, data format and wave format inside its connection block.
inline KsPinConnect* PinConnect(PinRecord* pin)
{
    return reinterpret_cast<KsPinConnect*>(pin->connection);
}
inline KsDataFormat* PinDataFormat(PinRecord* pin)
{
    return reinterpret_cast<KsDataFormat*>(pin->connection + sizeof(KsPinConnect));
}
inline KsWaveFormatExtensible* PinWaveFormat(PinRecord* pin)
{
    return reinterpret_cast<KsWaveFormatExtensible*>(pin->connection + sizeof(KsPinConnect) + sizeof(KsDataFormat));
}
inline const KsWaveFormatExtensible* PinWaveFormat(const PinRecord* pin)
{
    return PinWaveFormat(const_cast<PinRecord*>(pin));
}

extern DeviceRecord* FirstDevice;

inline DeviceRecord* NextDevice(DeviceRecord* device)
{
    return static_cast<DeviceRecord*>(device->next);
}
inline FilterRecord* FirstFilter(DeviceRecord* device)
{
    return static_cast<FilterRecord*>(device->firstChild);
}
inline FilterRecord* NextFilter(FilterRecord* filter)
{
    return static_cast<FilterRecord*>(filter->next);
}
inline PinRecord* FirstPin(FilterRecord* filter)
{
    return static_cast<PinRecord*>(filter->firstChild);
}
inline PinRecord* NextPin(PinRecord* pin)
{
    return static_cast<PinRecord*>(pin->next);
}

// The arena: zero-filled allocations from its top. Null when full. Every allocation is
// aligned for the records' pointers and 64-bit fields, which the kernel checks in the
// OVERLAPPEDs and stream headers of a pin record.
constexpr SIZE_T ArenaSize = 1024 * 1024;
constexpr SIZE_T ArenaAlignment = 8;
static_assert(ArenaAlignment >= sizeof(void*) && ArenaAlignment >= alignof(PinRecord), "records fit the arena");
void ResetArena();
void* AllocateFromArena(SIZE_T size);
// Frees `start` and everything allocated after it.
void ReleaseArenaFrom(void* start);
// A copy of `text` (at most `limit` bytes with its NUL) in the arena, or null when full.
char* CopyTextToArena(const char* text, SIZE_T limit);

// Calls `visitor` for every pin in tree order.
typedef void (*PinVisitor)(DeviceRecord* device, FilterRecord* filter, PinRecord* pin, void* context);
void WalkTree(PinVisitor visitor, void* context);

// Records by 0-based position in tree order; a negative index selects the first.
DeviceRecord* DeviceByIndex(LONG device);
FilterRecord* FilterByIndex(LONG device, LONG filter);
PinRecord* PinByIndex(LONG device, LONG filter, LONG pin);

// The first enabled device, or null.
DeviceRecord* FindSelectedDevice();

// The device, filter and pin that contain `record` (null where the level is above it).
void FindRecordOwners(TreeRecord* record, DeviceRecord** device, FilterRecord** filter, PinRecord** pin);
