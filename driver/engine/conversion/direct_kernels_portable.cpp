#include "driver/engine/conversion/direct_kernels.h"

namespace {

template <SampleContainer Container>
void RenderFrames(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength, std::uint32_t frames,
                  std::uint8_t* device)
{
    constexpr std::uint32_t sampleBytes = ContainerBytes(Container);
    for (std::uint32_t f = 0; f < frames; ++f) {
        std::uint8_t* frame = device + std::size_t{f} * format.frameBytes;
        for (std::uint32_t ch = 0; ch < format.channels; ++ch) {
            StoreSlabWord<Container>(runs[std::size_t{ch} * runLength + f], frame + ch * sampleBytes);
        }
    }
}

template <SampleContainer Container>
void CaptureFrames(const DeviceFormat& format, const std::uint8_t* device, std::uint32_t frames, std::int32_t* runs,
                   std::uint32_t runLength)
{
    constexpr std::uint32_t sampleBytes = ContainerBytes(Container);
    for (std::uint32_t f = 0; f < frames; ++f) {
        const std::uint8_t* frame = device + std::size_t{f} * format.frameBytes;
        for (std::uint32_t ch = 0; ch < format.channels; ++ch) {
            runs[std::size_t{ch} * runLength + f] = LoadSlabWord<Container>(frame + ch * sampleBytes);
        }
    }
}

}  // namespace

namespace portable_kernels {

void RenderDirect(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength, std::uint32_t frames,
                  std::uint8_t* device)
{
    switch (format.container) {
    case SampleContainer::Bits16: return RenderFrames<SampleContainer::Bits16>(format, runs, runLength, frames, device);
    case SampleContainer::Bits24: return RenderFrames<SampleContainer::Bits24>(format, runs, runLength, frames, device);
    case SampleContainer::Bits32: return RenderFrames<SampleContainer::Bits32>(format, runs, runLength, frames, device);
    }
}

void CaptureDirect(const DeviceFormat& format, const std::uint8_t* device, std::uint32_t frames, std::int32_t* runs,
                   std::uint32_t runLength)
{
    switch (format.container) {
    case SampleContainer::Bits16:
        return CaptureFrames<SampleContainer::Bits16>(format, device, frames, runs, runLength);
    case SampleContainer::Bits24:
        return CaptureFrames<SampleContainer::Bits24>(format, device, frames, runs, runLength);
    case SampleContainer::Bits32:
        return CaptureFrames<SampleContainer::Bits32>(format, device, frames, runs, runLength);
    }
}

}  // namespace portable_kernels
