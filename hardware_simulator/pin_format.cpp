#include "hardware_simulator/pin_format.h"

#include <algorithm>
#include <cstring>

namespace hardware_simulator {

PinFormat ReadPinFormat(const BYTE* bytes)
{
    KsDataFormat header{};
    std::memcpy(&header.formatSize, bytes, sizeof(header.formatSize));
    std::memcpy(&header, bytes, std::min<std::size_t>(header.formatSize, sizeof(header)));

    PinFormat format;
    format.formatSize = header.formatSize;
    format.sampleSize = header.sampleSize;
    format.majorFormat = header.majorFormat;
    format.subFormat = header.subFormat;
    format.specifier = header.specifier;
    if (header.formatSize > sizeof(KsDataFormat))
        std::memcpy(&format.wave, bytes + sizeof(KsDataFormat),
                    std::min<std::size_t>(header.formatSize - sizeof(KsDataFormat), sizeof(format.wave)));
    return format;
}

}  // namespace hardware_simulator
