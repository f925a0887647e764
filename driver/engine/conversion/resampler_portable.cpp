#include "driver/engine/conversion/resampler_kernels.h"

#include "driver/engine/conversion/resampler_loop.h"

namespace {

// Upper 32 bits of the signed 64-bit product: the converter's one multiplication.
std::int32_t MultiplyHigh(std::int32_t sample, std::int32_t coefficient)
{
    return static_cast<std::int32_t>((std::int64_t{sample} * coefficient) >> 32);
}

struct PortableTaps {
    // ring(r + t) += upper half of x × tap t, for the phase's taps, wrapping at 64.
    static void Add(std::int32_t* ring, std::uint32_t r, std::int32_t x, std::uint32_t phase,
                    const PolyphaseTables& tables)
    {
        const std::int32_t* taps = tables.render + PhaseEntry(phase) + 1;
        const std::uint32_t count = Period.taps[phase];
        const std::uint32_t beforeWrap = count < HistorySamplesPerChannel - r ? count : HistorySamplesPerChannel - r;
        for (std::uint32_t t = 0; t < beforeWrap; ++t) {
            ring[r + t] += MultiplyHigh(x, taps[t]);
        }
        for (std::uint32_t t = beforeWrap; t < count; ++t) {
            ring[t - beforeWrap] += MultiplyHigh(x, taps[t]);
        }
    }

    // Sum of the upper halves of ring(q + t) × tap t, wrapping at 64.
    static std::int32_t Filter(const std::int32_t* ring, std::uint32_t q, std::uint32_t phase,
                               const PolyphaseTables& tables)
    {
        const std::int32_t* taps = tables.capture + PhaseEntry(phase) + 1;
        const std::uint32_t count = Period.taps[phase];
        const std::uint32_t beforeWrap = count < HistorySamplesPerChannel - q ? count : HistorySamplesPerChannel - q;
        std::int32_t sum = 0;
        for (std::uint32_t t = 0; t < beforeWrap; ++t) {
            sum += MultiplyHigh(ring[q + t], taps[t]);
        }
        for (std::uint32_t t = beforeWrap; t < count; ++t) {
            sum += MultiplyHigh(ring[t - beforeWrap], taps[t]);
        }
        return sum;
    }
};

}  // namespace

namespace portable_kernels {

std::uint32_t RenderResampled(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength,
                              std::uint32_t hostFrames, RateConverterState& state, DeviceRing& ring)
{
    return RenderResampledAnyContainer<PortableTaps>(format, runs, runLength, hostFrames, state, ring);
}

std::uint32_t CaptureResampled(const DeviceFormat& format, DeviceRing& ring, std::int32_t* runs,
                               std::uint32_t runLength, std::uint32_t hostFrames, RateConverterState& state)
{
    return CaptureResampledAnyContainer<PortableTaps>(format, ring, runs, runLength, hostFrames, state);
}

}  // namespace portable_kernels
