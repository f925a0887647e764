#include "driver/engine/conversion/rate_converter_state.h"

#include <cstring>

namespace {

// The period position the fields describe, or PeriodHostFrames when they describe none.
std::uint32_t DescribedPosition(const RateConverterState& state, ConversionDirection direction)
{
    if (state.phaseLimit % HostSampleUnits != 0) {
        return PeriodHostFrames;
    }
    const std::uint32_t position = state.phaseLimit / HostSampleUnits;
    if (position >= PeriodHostFrames || state.phaseAccumulator != DeviceFramesBefore(position) * DeviceSampleUnits) {
        return PeriodHostFrames;
    }
    // Capture wraps its index lazily, so the end of the table stands for its start.
    const std::uint32_t index = state.coefficientIndex == PolyphaseTableEntries ? 0 : state.coefficientIndex;
    return index == PhaseEntry(ConverterPhase(direction, position)) ? position : PeriodHostFrames;
}

}  // namespace

bool UsesRateConverter(std::uint32_t deviceRate, std::uint32_t hostRate)
{
    return deviceRate == ConvertedDeviceRate && hostRate == ConvertedHostRate;
}

void RestartRateConverter(RateConverterState& state, std::uint32_t channels, ConversionDirection direction)
{
    if (state.history != nullptr) {
        std::memset(state.history, 0, std::size_t{channels} * HistorySamplesPerChannel * sizeof(std::int32_t));
    }
    state.ringPosition = 0;
    StorePeriodPosition(state, direction, 0);
}

std::uint32_t TakePeriodPosition(RateConverterState& state, ConversionDirection direction)
{
    state.ringPosition %= HistorySamplesPerChannel;
    const std::uint32_t position = DescribedPosition(state, direction);
    return position < PeriodHostFrames ? position : 0;
}

void StorePeriodPosition(RateConverterState& state, ConversionDirection direction, std::uint32_t position)
{
    state.phaseLimit = position * HostSampleUnits;
    state.phaseAccumulator = static_cast<std::uint32_t>(DeviceFramesBefore(position)) * DeviceSampleUnits;
    state.coefficientIndex = PhaseEntry(ConverterPhase(direction, position));
}

std::uint32_t ResampledDeviceFrames(const RateConverterState& state, ConversionDirection direction,
                                    std::uint32_t hostFrames)
{
    const std::uint32_t described = DescribedPosition(state, direction);
    const std::uint32_t position = described < PeriodHostFrames ? described : 0;
    return static_cast<std::uint32_t>(DeviceFramesBefore(std::uint64_t{position} + hostFrames) -
                                      DeviceFramesBefore(position));
}
