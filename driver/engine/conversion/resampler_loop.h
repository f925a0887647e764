// The host-frame loops of the rate converter. The portable and AVX2 kernels differ only in
// their Taps, which add one host sample into the ring (render) or filter the ring into one
// host sample (capture). Every template here depends on Taps, so each kernel file has
// instantiations of its own, compiled for its own processor; include this header after
// everything else. The loops are specialised for 1, 2 and 8 channels (Channels = 0 takes
// the count from the format).
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/engine/conversion/device_frames.h"
#include "driver/engine/conversion/rate_converter_state.h"
#include "driver/engine/conversion/rate_tables.h"
#include "driver/engine/conversion/sample_container.h"

// Walks the device frames of a ring, wrapping at its end.
template <typename Taps>
class RingCursor {
public:
    RingCursor(const DeviceFormat& format, const DeviceRing& ring)
        : start_(ring.start),
          end_(ring.start + std::size_t{ring.frames} * format.frameBytes),
          frame_(ring.start + std::size_t{ring.next % ring.frames} * format.frameBytes),
          frameBytes_(format.frameBytes)
    {
    }

    std::uint8_t* Frame() const { return frame_; }

    void Advance()
    {
        frame_ += frameBytes_;
        if (frame_ == end_) {
            frame_ = start_;
        }
    }

    std::uint32_t Next() const
    {
        return static_cast<std::uint32_t>(static_cast<std::size_t>(frame_ - start_) / frameBytes_);
    }

private:
    std::uint8_t* start_;
    std::uint8_t* end_;
    std::uint8_t* frame_;
    std::uint32_t frameBytes_;
};

template <typename Taps, SampleContainer Container, std::uint32_t Channels>
std::uint32_t RenderResampledFrames(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength,
                                    std::uint32_t hostFrames, RateConverterState& state, DeviceRing& ring)
{
    if (ring.frames == 0) {
        return 0;
    }
    constexpr std::uint32_t sampleBytes = ContainerBytes(Container);
    const std::uint32_t channels = Channels != 0 ? Channels : format.channels;
    const PolyphaseTables& tables = RatePolyphaseTables();
    std::int32_t* const history = state.history;
    std::uint32_t position = TakePeriodPosition(state, ConversionDirection::Render);
    std::uint32_t r = state.ringPosition;
    RingCursor<Taps> device(format, ring);
    std::uint32_t moved = 0;
    for (std::uint32_t f = 0; f < hostFrames; ++f) {
        // The taps start at the next device frame to be emitted, ring entry r.
        for (std::uint32_t ch = 0; ch < channels; ++ch) {
            Taps::Add(history + std::size_t{ch} * HistorySamplesPerChannel, r, runs[std::size_t{ch} * runLength + f],
                      position, tables);
        }
        for (std::uint32_t e = Period.deviceFrames[position]; e > 0; --e) {
            std::uint8_t* frame = device.Frame();
            for (std::uint32_t ch = 0; ch < channels; ++ch) {
                std::int32_t& sum = history[std::size_t{ch} * HistorySamplesPerChannel + r];
                StoreConverterSample<Container>(SaturateTo24Bits(sum), frame + ch * sampleBytes);
                sum = 0;
            }
            r = (r + 1) % HistorySamplesPerChannel;
            device.Advance();
            ++moved;
        }
        position = position + 1 == PeriodHostFrames ? 0 : position + 1;
    }
    state.ringPosition = r;
    StorePeriodPosition(state, ConversionDirection::Render, position);
    ring.next = device.Next();
    return moved;
}

template <typename Taps, SampleContainer Container, std::uint32_t Channels>
std::uint32_t CaptureResampledFrames(const DeviceFormat& format, DeviceRing& ring, std::int32_t* runs,
                                     std::uint32_t runLength, std::uint32_t hostFrames, RateConverterState& state)
{
    if (ring.frames == 0) {
        return 0;
    }
    constexpr std::uint32_t sampleBytes = ContainerBytes(Container);
    const std::uint32_t channels = Channels != 0 ? Channels : format.channels;
    const PolyphaseTables& tables = RatePolyphaseTables();
    std::int32_t* const history = state.history;
    std::uint32_t position = TakePeriodPosition(state, ConversionDirection::Capture);
    std::uint32_t phase = ConverterPhase(ConversionDirection::Capture, position);
    std::uint32_t r = state.ringPosition;
    RingCursor<Taps> device(format, ring);
    std::uint32_t moved = 0;
    for (std::uint32_t f = 0; f < hostFrames; ++f) {
        for (std::uint32_t e = Period.deviceFrames[position]; e > 0; --e) {
            const std::uint8_t* frame = device.Frame();
            for (std::uint32_t ch = 0; ch < channels; ++ch) {
                history[std::size_t{ch} * HistorySamplesPerChannel + r] =
                    LoadSlabWord<Container>(frame + ch * sampleBytes);
            }
            r = (r + 1) % HistorySamplesPerChannel;
            device.Advance();
            ++moved;
        }
        // The window is the phase's n most recent device frames, oldest first.
        const std::uint32_t q = (r + HistorySamplesPerChannel - Period.taps[phase]) % HistorySamplesPerChannel;
        for (std::uint32_t ch = 0; ch < channels; ++ch) {
            const std::int32_t sum =
                Taps::Filter(history + std::size_t{ch} * HistorySamplesPerChannel, q, phase, tables);
            runs[std::size_t{ch} * runLength + f] = SaturateTo24Bits(sum) * 256;
        }
        position = position + 1 == PeriodHostFrames ? 0 : position + 1;
        phase = phase + 1 == PeriodHostFrames ? 0 : phase + 1;
    }
    state.ringPosition = r;
    StorePeriodPosition(state, ConversionDirection::Capture, position);
    ring.next = device.Next();
    return moved;
}

template <typename Taps, SampleContainer Container>
std::uint32_t RenderResampledAnyChannels(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength,
                                         std::uint32_t hostFrames, RateConverterState& state, DeviceRing& ring)
{
    switch (format.channels) {
    case 1: return RenderResampledFrames<Taps, Container, 1>(format, runs, runLength, hostFrames, state, ring);
    case 2: return RenderResampledFrames<Taps, Container, 2>(format, runs, runLength, hostFrames, state, ring);
    case 8: return RenderResampledFrames<Taps, Container, 8>(format, runs, runLength, hostFrames, state, ring);
    default: return RenderResampledFrames<Taps, Container, 0>(format, runs, runLength, hostFrames, state, ring);
    }
}

template <typename Taps, SampleContainer Container>
std::uint32_t CaptureResampledAnyChannels(const DeviceFormat& format, DeviceRing& ring, std::int32_t* runs,
                                          std::uint32_t runLength, std::uint32_t hostFrames, RateConverterState& state)
{
    switch (format.channels) {
    case 1: return CaptureResampledFrames<Taps, Container, 1>(format, ring, runs, runLength, hostFrames, state);
    case 2: return CaptureResampledFrames<Taps, Container, 2>(format, ring, runs, runLength, hostFrames, state);
    case 8: return CaptureResampledFrames<Taps, Container, 8>(format, ring, runs, runLength, hostFrames, state);
    default: return CaptureResampledFrames<Taps, Container, 0>(format, ring, runs, runLength, hostFrames, state);
    }
}

template <typename Taps>
std::uint32_t RenderResampledAnyContainer(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength,
                                          std::uint32_t hostFrames, RateConverterState& state, DeviceRing& ring)
{
    switch (format.container) {
    case SampleContainer::Bits16:
        return RenderResampledAnyChannels<Taps, SampleContainer::Bits16>(format, runs, runLength, hostFrames, state,
                                                                         ring);
    case SampleContainer::Bits24:
        return RenderResampledAnyChannels<Taps, SampleContainer::Bits24>(format, runs, runLength, hostFrames, state,
                                                                         ring);
    case SampleContainer::Bits32:
        return RenderResampledAnyChannels<Taps, SampleContainer::Bits32>(format, runs, runLength, hostFrames, state,
                                                                         ring);
    }
    return 0;
}

template <typename Taps>
std::uint32_t CaptureResampledAnyContainer(const DeviceFormat& format, DeviceRing& ring, std::int32_t* runs,
                                           std::uint32_t runLength, std::uint32_t hostFrames, RateConverterState& state)
{
    switch (format.container) {
    case SampleContainer::Bits16:
        return CaptureResampledAnyChannels<Taps, SampleContainer::Bits16>(format, ring, runs, runLength, hostFrames,
                                                                          state);
    case SampleContainer::Bits24:
        return CaptureResampledAnyChannels<Taps, SampleContainer::Bits24>(format, ring, runs, runLength, hostFrames,
                                                                          state);
    case SampleContainer::Bits32:
        return CaptureResampledAnyChannels<Taps, SampleContainer::Bits32>(format, ring, runs, runLength, hostFrames,
                                                                          state);
    }
    return 0;
}
