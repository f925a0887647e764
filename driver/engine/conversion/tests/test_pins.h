// Pins with their own memory for the converter tests: a slab, eight packet slots (or a
// loop) and a history, wired into a HostStream and a ConversionPin as the driver does.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "driver/engine/conversion/conversion_pin.h"

struct TestStream {
    TestStream(std::uint32_t bufferSize, std::uint32_t outputChannels, std::uint32_t inputChannels,
               std::uint32_t hostRate);

    std::vector<std::int32_t> slab;
    HostStream host;
};

struct TestPin {
    // A pin restarted as the driver restarts it; its packet memory is 8 slots of
    // `slotFrames` frames.
    TestPin(std::uint32_t channels, std::uint32_t bitsPerSample, std::uint32_t sampleRate,
            std::uint32_t firstSlabChannel, ConversionDirection direction, std::uint32_t slotFrames = 2230);

    std::uint8_t* Slot(std::uint32_t slot) { return pin.packetData[slot]; }

    std::vector<std::uint8_t> memory;
    std::vector<std::int32_t> history;
    ConversionPin pin;
};

// Records the ranges handed to the cache flush.
struct FlushRecorder {
    static void Record(const void* start, const void* end);
    static std::vector<std::pair<const void*, const void*>> ranges;
};
