// A plain model of the conversion formulas, written straight from their description: the
// container table sample by sample, and the rate converter with its accumulator, limit,
// coefficient index and modulo-64 ring. The kernels must match it bit for bit.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/engine/conversion/sample_container.h"

// Device bytes of one slab word, and back.
void ReferenceRenderSample(SampleContainer container, std::int32_t word, std::uint8_t* bytes);
std::int32_t ReferenceCaptureSample(SampleContainer container, const std::uint8_t* bytes);
// Device bytes of a saturated 24-bit converter value.
void ReferenceConverterSample(SampleContainer container, std::int32_t value24, std::uint8_t* bytes);

// One host block of `channels` planar runs of `frames` samples <-> interleaved device
// frames of packed samples.
std::vector<std::uint8_t> ReferenceRenderDirect(SampleContainer container, std::uint32_t channels,
                                                const std::vector<std::int32_t>& runs, std::uint32_t frames);
std::vector<std::int32_t> ReferenceCaptureDirect(SampleContainer container, std::uint32_t channels,
                                                 const std::vector<std::uint8_t>& device, std::uint32_t frames);

// The converter of one pin, started as a pin restart leaves it.
class ReferenceRateConverter {
public:
    ReferenceRateConverter(std::uint32_t channels, bool capture);

    // Planar runs of `hostFrames` samples -> saturated 24-bit values, frame after frame;
    // returns the device frames written.
    std::uint32_t Render(const std::int32_t* runs, std::uint32_t hostFrames, std::int32_t* device);
    // Device slab words, frame after frame -> planar runs of `hostFrames` slab words;
    // returns the device frames read.
    std::uint32_t Capture(const std::int32_t* device, std::uint32_t hostFrames, std::int32_t* runs);

    std::uint32_t coefficientIndex() const { return k_; }
    std::uint32_t phaseAccumulator() const { return accumulator_; }
    std::uint32_t phaseLimit() const { return limit_; }

private:
    std::int32_t& Ring(std::uint32_t ch, std::uint32_t index) { return ring_[ch * 64 + index % 64]; }

    std::uint32_t channels_;
    std::uint32_t k_;
    std::uint32_t r_ = 0;
    std::uint32_t accumulator_ = 0;
    std::uint32_t limit_ = 0;
    std::vector<std::int32_t> ring_;
};

// BlockFrameTable by its counting loop.
std::vector<std::uint32_t> ReferenceFrameTable(std::uint32_t hostFramesPerEntry);
