// How the conversion kernels see the device side of a pin: its frame format, and the
// frames they move as a ring that wraps to its start.
#pragma once

#include <cstdint>

#include "driver/engine/conversion/sample_container.h"

struct DeviceFormat {
    std::uint32_t channels;
    SampleContainer container;
    std::uint32_t frameBytes;  // nBlockAlign: channel samples follow each other within it
};

// Device frames [0, frames) from `start`; after the last one the next is frame 0 again. A
// packet is a ring exactly as long as the frames a call moves, so it never wraps.
struct DeviceRing {
    std::uint8_t* start;
    std::uint32_t frames;
    std::uint32_t next;  // the next frame to move
};

// Whether frames of this format are channel samples packed back to back, as the
// vectorised kernels need.
constexpr bool HasPackedFrames(const DeviceFormat& format)
{
    return format.frameBytes == format.channels * ContainerBytes(format.container);
}
