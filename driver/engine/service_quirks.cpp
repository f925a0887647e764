#include "driver/engine/service_quirks.h"

#include <cstring>

#include "driver/core/flag_words.h"
#include "driver/core/oem_block.h"
#include "driver/engine/realtime_scheduling.h"

namespace {

constexpr DWORD U = UnityFactor;

// Searched from the row of the running Windows version on: before 6.0 from row 0, on
// 6.0 from row 7, from 6.1 on from row 8 (so "usbaudio" gets 5/5 ms, then 4/2 ms).
const ServiceQuirk ServiceQuirkTable[] = {
    {"STHDA", 0, 0, U, U, 0, 1, 0, 48000, 48000},
    {"ADIHdAudAddService", 0, 0, U, U, 0, 1, 0, 48000, 48000},
    {"VIAHdAudAddService", 0, 0, U, U, 0, 1, 0, 48000, 48000},
    {"cmpci", 10, 10, U, U, 2, 0, 0, 0, 0},
    {"CnxtHdAudService", 0, 0, U, U, 0, 0x81, 0, 48000, 48000},
    {"CnxtHdAudAddService", 0, 0, U, U, 0, 0x81, 0, 48000, 48000},
    {"HdAudAddService", 0, 0, U, U, 0, 0x81, 0, 48000, 48000},
    {"usbaudio", 5, 5, U, U, 0, 0, 0, 0, 0},
    {"usbaudio", 4, 2, U, U, 0, 0, 0, 0, 0},
    {"CnxtHdAudService", 0, 0, U, U, 0, 0x80, 0, 0, 0},
    {"CnxtHdAudAddService", 0, 0, U, U, 0, 0x80, 0, 0, 0},
    {"yswds", 0, 0, U, U, 1, 1, 0, 44100, 44100},
    {"ews88mt", 0, 0, U, U, 1, 0, 0, 0, 0},
    {"aliadwdm", 0, 0, U, U, 2, 0, 0, 0, 0},
    {"smwdm", 0, 0, U, U, 0, 9, 0, 48000, 48000},
    {"STHDA", 0, 0, U, U, 0, 2, Prefer48k, 0, 0},
    {"stac97", 0, 0, U, U, 0, 10, Force16Bit, 0, 0},
    {"cs429x", 0, 0, U, U, 0, 2, Force16Bit, 0, 0},
    {"STAC97", 0, 0, U, U, 0, 10, Force16Bit, 0, 0},
    {"ICM2_01", 0, 0, U, U, 1, 8, 0, 0, 0},
    {"ctaud2k", 0, 0, U, U, 0, 2, Prefer48k, 0, 0},
    {"sbusb", 0, 0, U, U, 0, 2, Force16Bit, 0, 0},
    {"P17", 0, 0, U, U, 0, 2, Prefer48k, 0, 0},
    {"nvnforce", 0, 0, U, U, 1, 8, 0, 0, 0},
    {"AtlsAud", 0, 0, U, U, 0, 16, 0, 48000, 48000},
    {"ativraxx", 0, 0, U, U, 0, 16, 0, 48000, 48000},
    {"sbpci", 0, 0, U, U, 0, 32, 0, 0, 0},
    {"wdm_au8810", 0, 0, U, U, 0, 32, 0, 0, 0},
    {"wdm_au8820", 0, 0, U, U, 0, 32, 0, 0, 0},
    {"wdm_au8830", 0, 0, U, U, 0, 32, 0, 0, 0},
    {"HdAudAddService", 0, 0, U, U, 0, 0x80000080, 0, 0, 0},
};
static_assert(sizeof(ServiceQuirkTable) / sizeof(ServiceQuirkTable[0]) == 31, "31 service rows");

// Behind the named rows stand the defaults by enumerator, for PCI devices and for all
// others; both carry the same values, so one row serves.
const ServiceQuirk DefaultRow = {nullptr, 0, 0, U, U, 0, 0, 0, 0, 0};

std::size_t FirstRowForThisWindows()
{
    if (!WindowsAtLeast(6, 0)) return 0;
    return WindowsAtLeast(6, 1) ? 8 : 7;
}

const ServiceQuirk& FindRow(const DeviceRecord* device)
{
    if (device->serviceName != nullptr && device->serviceName[0] != '\0') {
        for (std::size_t row = FirstRowForThisWindows(); row < sizeof(ServiceQuirkTable) / sizeof(ServiceQuirkTable[0]);
             ++row)
            if (std::strcmp(device->serviceName, ServiceQuirkTable[row].serviceName) == 0)
                return ServiceQuirkTable[row];
    }
    return DefaultRow;
}

}  // namespace

ServiceQuirk LookUpServiceQuirk(const DeviceRecord* device)
{
    const ServiceQuirk& row = FindRow(device);
    ServiceQuirk merged = {nullptr, row.inputMargin, row.outputMargin, U, U, row.latencyMode, 0x80000000, 0, 0, 0};
    if (OemConfig.inputMargin.value != OemMarginFromQuirkTable) merged.inputMargin = OemConfig.inputMargin.value;
    if (OemConfig.outputMargin.value != OemMarginFromQuirkTable) merged.outputMargin = OemConfig.outputMargin.value;
    return merged;
}
