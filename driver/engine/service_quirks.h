// What the driver knows about the kernel audio drivers it meets: latency margins and
// latency modes per driver service, by Windows version.
#pragma once

#include <windows.h>

#include "driver/core/device_tree.h"

struct ServiceQuirk {
    const char* serviceName;  // null for the rows keyed by the enumerator
    DWORD inputMargin;        // milliseconds
    DWORD outputMargin;
    DWORD inputFactor;  // 8.24 fixed point
    DWORD outputFactor;
    DWORD latencyMode;  // 0, 1 or 2
    DWORD quirkFlags;
    DWORD streamFlags;
    DWORD minimumRate;
    DWORD maximumRate;
};

constexpr DWORD UnityFactor = 0x1000000;

// The device's row, merged with the OEM margins: margins and mode from the row, the
// margins overridden by the OEM block unless it leaves them to the table.
ServiceQuirk LookUpServiceQuirk(const DeviceRecord* device);
