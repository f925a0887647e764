// What the converters read and update of a pin and of the running stream. The driver
// embeds a ConversionPin in each pin record and fills a HostStream at each (re)start.
#pragma once

#include <cstdint>

#include "driver/engine/conversion/channel_slab.h"
#include "driver/engine/conversion/rate_converter_state.h"

struct HostStream {
    ChannelSlabLayout slab;  // runLength is the active buffer size B
    std::uint32_t hostRate;  // active host rate
    std::uint32_t blocksPerLargePacket;
    std::int32_t startDelayMs;  // time to the first complete set of capture packets
};

// A large packet holds at most this many device frames; a large-packet pin has two.
constexpr std::uint32_t LargePacketFrames = 8192;

struct ConversionPin {
    // The wave format the pin was opened with.
    std::uint32_t channels;       // nChannels
    std::uint32_t bitsPerSample;  // wBitsPerSample, which picks the container
    std::uint32_t blockAlign;     // nBlockAlign
    std::uint32_t sampleRate;     // nSamplesPerSec

    std::uint32_t firstSlabChannel;
    bool largePacketMode;
    bool loopHalves;  // a looped pin in event mode: the packet converters use its halves

    // Standard pins: the 8 packet slots. Looped pins: first-half start, second-half start,
    // loop start, loop end. Large-packet pins: area start, middle, start and end of the
    // current two-packet ring. The loop converters use entries 2 and 3 as the loop.
    std::uint8_t* packetData[8];

    std::uint32_t submittedCount;
    std::uint32_t convertedCount;
    std::uint32_t rateTableIndex;  // next entry of BlockFrameTable / LargePacketFrameTable
    // Polled looped and large-packet pins: the address where the next block belongs,
    // before the BufferPosition shift. Kept as a number: it may lie outside the loop.
    std::uintptr_t loopPosition;
    std::uint32_t bufferPositionMs;  // the device's BufferPosition setting
    std::int32_t measuredOffsetMs;   // 0 for looped pins

    RateConverterState converter;
};
