// One data range of a pin: the formats it advertises in KSPROPERTY_PIN_DATARANGES and
// offers to the data intersection.
#pragma once

#include <windows.h>

#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

struct DataRange {
    GUID majorFormat = KSDATAFORMAT_TYPE_AUDIO;
    GUID subFormat = KSDATAFORMAT_SUBTYPE_PCM;  // KSDATAFORMAT_SUBTYPE_WILDCARD matches any
    GUID specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    // A KSDATARANGE_AUDIO (88 bytes) with the limits below; false gives a bare
    // KSDATARANGE (64 bytes) without them, as bridge pins carry.
    bool audioLimits = true;
    ULONG maximumChannels = 2;
    ULONG minimumBitsPerSample = 16;
    ULONG maximumBitsPerSample = 16;
    ULONG minimumSampleFrequency = 44100;
    ULONG maximumSampleFrequency = 48000;
};

// PCM samples of minimumBits..maximumBits at minimumRate..maximumRate.
DataRange PcmRange(ULONG maximumChannels, ULONG minimumBits, ULONG maximumBits, ULONG minimumRate, ULONG maximumRate);
// The analogue signal of a bridge pin.
DataRange AnalogRange();

// Size of the range's record, which is also its FormatSize.
ULONG RecordSize(const DataRange& range);

}  // namespace hardware_simulator
