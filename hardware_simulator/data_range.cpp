#include "hardware_simulator/data_range.h"

namespace hardware_simulator {

DataRange PcmRange(ULONG maximumChannels, ULONG minimumBits, ULONG maximumBits, ULONG minimumRate, ULONG maximumRate)
{
    DataRange range;
    range.maximumChannels = maximumChannels;
    range.minimumBitsPerSample = minimumBits;
    range.maximumBitsPerSample = maximumBits;
    range.minimumSampleFrequency = minimumRate;
    range.maximumSampleFrequency = maximumRate;
    return range;
}

DataRange AnalogRange()
{
    DataRange range;
    range.subFormat = KSDATAFORMAT_SUBTYPE_ANALOG;
    range.specifier = KSDATAFORMAT_SPECIFIER_NONE;
    range.audioLimits = false;
    return range;
}

ULONG RecordSize(const DataRange& range)
{
    return range.audioLimits ? sizeof(KsDataRangeAudio) : sizeof(KsDataFormat);
}

}  // namespace hardware_simulator
