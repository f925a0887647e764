// Tables of the rate converter, in static storage: the polyphase filter (built once per
// process) and the frame counts of blocks and large packets (rebuilt for each buffer size).
#pragma once

#include <cstdint>

#include "driver/engine/conversion/rate_period.h"

// Taps of one phase between zeros for 8-lane blocks: entry 8 + t holds tap t; entries 0–7
// and those after the last tap are 0, so any block of 8 ring entries around the window
// multiplies the samples outside it by 0.
constexpr std::uint32_t PaddedTapsBefore = 8;
constexpr std::uint32_t PaddedTapsPerPhase = 64;

struct PolyphaseTables {
    // PolyphaseTable: 147 phases in order, each a tap count followed by its taps; unity
    // gain for render.
    std::int32_t render[PolyphaseTableEntries];
    // The same layout with every tap scaled by 147/160, so that capture, whose phases sum
    // 160/147 as many taps per host frame, also has unity gain.
    std::int32_t capture[PolyphaseTableEntries];
    alignas(32) std::int32_t paddedRender[PeriodHostFrames][PaddedTapsPerPhase];
    alignas(32) std::int32_t paddedCapture[PeriodHostFrames][PaddedTapsPerPhase];
};

struct FrameTables {
    std::uint32_t blockFrames[PeriodHostFrames];        // BlockFrameTable
    std::uint32_t largePacketFrames[PeriodHostFrames];  // LargePacketFrameTable
    std::uint32_t blocksPerLargePacket;
};

// When the host runs at 44100 Hz with 48 kHz conversion enabled: builds the polyphase
// tables if they were never built and the frame tables for this buffer size, and returns
// true. Otherwise, or for a buffer size of 0, changes nothing and returns false.
bool BuildRateTables(std::uint32_t hostRate, bool conversionEnabled, std::uint32_t bufferSize);

// All zero until BuildRateTables built them (the converters then produce silence).
const PolyphaseTables& RatePolyphaseTables();
const FrameTables& RateFrameTables();

// Coefficient of the tap at x units after the start of its phase, for a filter whose
// centre tap is `centre`: round(scale × sin(πd/160) / (πd/160) × cos²(πd/5280)) with
// d = |x − 2640|, the sine folded into its first quadrant.
std::int32_t FilterCoefficient(std::int32_t x, double scale, std::int32_t centre);
