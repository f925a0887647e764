// The OEM configuration block as the driver reads it: every field at its fixed place.
// The values of the two shipped builds live in oem_block.cpp; vendors patch them in the
// built DLL.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/core/oem_layout.h"

#pragma pack(push, 1)
struct OemTextField {
    char tag[4];
    std::uint32_t length;
    char text[OemTextSize];
};

struct OemNumberField {
    char tag[4];
    std::uint32_t length;
    std::uint32_t value;
};

struct OemClassIdField {
    char tag[4];
    std::uint32_t length;
    char text[OemClassIdSize];
};

struct OemConfigBlock {
    char magic[OemMagicSize];
    OemTextField hardwareId;            // $HID
    OemTextField driverName;            // $OEM
    OemNumberField inputLatency;        // $LIS
    OemNumberField outputLatency;       // $LOS
    OemNumberField inputMargin;         // $LIM
    OemNumberField outputMargin;        // $LOM
    OemNumberField kernelBuffers;       // $BSK
    OemNumberField defaultFlags;        // $DFL
    OemNumberField enableAllDevices;    // $INS
    OemNumberField bufferSize;          // $BSZ
    OemNumberField controlPanelDialog;  // $CPL
    OemClassIdField classId;            // $CLS
    char classIdTerminator[4];          // not patched: ends the class id text for string routines
};
#pragma pack(pop)

static_assert(offsetof(OemConfigBlock, hardwareId) == OemFields[0].offset, "$HID");
static_assert(offsetof(OemConfigBlock, driverName) == OemFields[1].offset, "$OEM");
static_assert(offsetof(OemConfigBlock, inputLatency) == OemFields[2].offset, "$LIS");
static_assert(offsetof(OemConfigBlock, outputLatency) == OemFields[3].offset, "$LOS");
static_assert(offsetof(OemConfigBlock, inputMargin) == OemFields[4].offset, "$LIM");
static_assert(offsetof(OemConfigBlock, outputMargin) == OemFields[5].offset, "$LOM");
static_assert(offsetof(OemConfigBlock, kernelBuffers) == OemFields[6].offset, "$BSK");
static_assert(offsetof(OemConfigBlock, defaultFlags) == OemFields[7].offset, "$DFL");
static_assert(offsetof(OemConfigBlock, enableAllDevices) == OemFields[8].offset, "$INS");
static_assert(offsetof(OemConfigBlock, bufferSize) == OemFields[9].offset, "$BSZ");
static_assert(offsetof(OemConfigBlock, controlPanelDialog) == OemFields[10].offset, "$CPL");
static_assert(offsetof(OemConfigBlock, classId) == OemFields[11].offset, "$CLS");
static_assert(offsetof(OemConfigBlock, classIdTerminator) == OemBlockSize, "block size");

// Writable data, never written: a patched file must not meet values the compiler
// folded in from the initialiser.
extern OemConfigBlock OemConfig;
