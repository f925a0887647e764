// The data format a client hands to pin creation, decoded from the bytes that follow
// its KSPIN_CONNECT: the KSDATAFORMAT and as much of the wave format as FormatSize covers.
#pragma once

#include <windows.h>

#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

struct PinFormat {
    ULONG formatSize = 0;
    ULONG sampleSize = 0;
    GUID majorFormat{};
    GUID subFormat{};
    GUID specifier{};
    // The WAVEFORMATEX of an 82-byte format leaves the extensible fields 0.
    KsWaveFormatExtensible wave{};
};

// Reads no byte past the FormatSize the data format at `bytes` declares, as the kernel
// copies only that much of a connection request.
PinFormat ReadPinFormat(const BYTE* bytes);

}  // namespace hardware_simulator
