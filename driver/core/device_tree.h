// The device tree: devices (PnP device nodes) own filters (kernel-streaming audio
// filters) own pins (the sink pins that carry PCM). Records live in one fixed arena
// that every scan resets, so no record pointer may be kept across a rescan.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include "driver/engine/kernel_streaming.h"

// Bits of every record's flag word.
constexpr DWORD RecordEnabled = 0x80000000;     // persistent
constexpr DWORD PinInstanceFree = 0x40000000;   // run time
constexpr DWORD RecordRunTimeMarks = 0x30000000;
constexpr DWORD RecordRealTime = 0x00080000;    // WaveRT filter or device (run time)

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
    HANDLE handle;  // open during enumeration and while streams use it
    DWORD pinTypeCount;
    DWORD nodeClasses;
};

// Node classes of a filter's topology.
constexpr DWORD NodeClassAdc = 0x1;
constexpr DWORD NodeClassDac = 0x2;
constexpr DWORD NodeClassDigital = 0x4;  // S/PDIF or HDMI interface

struct PinRecord : TreeRecord {
    BYTE connection[PinConnectionSize];  // pin connection and format request
    DWORD pinId;
    GUID majorFormat;
    GUID subFormat;
    GUID specifier;
    char* name;  // may be absent
    DWORD possibleInstances;
    DWORD currentInstances;
    DWORD dataFlow;  // KSPIN_DATAFLOW_IN (render) or KSPIN_DATAFLOW_OUT (capture)
    DWORD channels;
    DWORD bits;
    DWORD lowestRate;
    DWORD highestRate;
};

extern DeviceRecord* FirstDevice;

inline DeviceRecord* NextDevice(DeviceRecord* device) { return static_cast<DeviceRecord*>(device->next); }
inline FilterRecord* FirstFilter(DeviceRecord* device) { return static_cast<FilterRecord*>(device->firstChild); }
inline FilterRecord* NextFilter(FilterRecord* filter) { return static_cast<FilterRecord*>(filter->next); }
inline PinRecord* FirstPin(FilterRecord* filter) { return static_cast<PinRecord*>(filter->firstChild); }
inline PinRecord* NextPin(PinRecord* pin) { return static_cast<PinRecord*>(pin->next); }

// The arena: zero-filled, 4-byte aligned allocations from its top. Null when full.
constexpr SIZE_T ArenaSize = 1024 * 1024;
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
