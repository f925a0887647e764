// The per-pin state of the rate converter, kept in the pin record between calls, and the
// period bookkeeping the render and capture converters share.
#pragma once

#include <cstdint>

#include "driver/engine/conversion/rate_period.h"

struct RateConverterState {
    std::uint32_t coefficientIndex;  // entry of the polyphase table where the next phase begins
    std::uint32_t ringPosition;      // 0–63
    std::uint32_t phaseAccumulator;  // device time of the period, in units
    std::uint32_t phaseLimit;        // host time of the period, in units
    std::int32_t* history;           // 64 samples per channel; channel ch at ch × 64 ... ch × 64 + 63
};

constexpr std::uint32_t HistorySamplesPerChannel = 64;

enum class ConversionDirection : std::uint8_t { Render, Capture };

// Whether a pin at this rate goes through the rate converter: only a 48000 Hz device under
// a 44100 Hz host does; the converter implements no other ratio.
bool UsesRateConverter(std::uint32_t deviceRate, std::uint32_t hostRate);

// The state of a freshly opened pin: zero history, ring position, accumulator and limit;
// coefficient index 0 for render and 4245 for capture.
void RestartRateConverter(RateConverterState& state, std::uint32_t channels, ConversionDirection direction);

// Host frames since the period began (0–146) of a converter between two calls. Fields that
// do not describe a host-frame boundary (only a fault elsewhere leaves them so) restart
// the period, keeping the history, so no call can move more frames than its block needs.
std::uint32_t TakePeriodPosition(RateConverterState& state, ConversionDirection direction);

// Stores the accumulator, limit and coefficient index of a period position.
void StorePeriodPosition(RateConverterState& state, ConversionDirection direction, std::uint32_t position);

// The polyphase phase a converter uses for the host frame at a period position.
constexpr std::uint32_t ConverterPhase(ConversionDirection direction, std::uint32_t position)
{
    return direction == ConversionDirection::Render ? position : (CaptureFirstPhase + position) % PeriodHostFrames;
}

// Device frames the converter produces (render) or consumes (capture) in its next
// `hostFrames` host frames.
std::uint32_t ResampledDeviceFrames(const RateConverterState& state, ConversionDirection direction,
                                    std::uint32_t hostFrames);
