#include "hardware_simulator/loopback_timeline.h"

#include <algorithm>

namespace hardware_simulator {

// More than a step's frames at any rate a device takes.
constexpr ULONG StepMargin = 4096;

LoopbackTimeline::LoopbackTimeline(ULONG latencyFrames)
    : slots_(std::size_t(latencyFrames) + StepMargin), samples_(slots_.size() * Channels)
{
}

void LoopbackTimeline::Write(ULONGLONG frame, ULONG rate, const INT32* samples, ULONG channels)
{
    std::size_t slot = frame % slots_.size();
    slots_[slot] = {frame, rate};
    INT32* kept = &samples_[slot * Channels];
    ULONG written = std::min(channels, Channels);
    std::copy(samples, samples + written, kept);
    std::fill(kept + written, kept + Channels, 0);
}

INT32 LoopbackTimeline::Read(ULONGLONG frame, ULONG rate, ULONG channel) const
{
    std::size_t slot = frame % slots_.size();
    if (channel >= Channels || slots_[slot].frame != frame || slots_[slot].rate != rate) return 0;
    return samples_[slot * Channels + channel];
}

}  // namespace hardware_simulator
