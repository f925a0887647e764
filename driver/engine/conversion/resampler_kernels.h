// The resampled paths (44100 Hz host, 48000 Hz device) through the polyphase converter.
// Render adds each host frame's taps into the history ring and emits the device frames
// that are then complete; capture pushes the device frames of each host frame into the
// ring and filters its n most recent ones. Both saturate to 24 bits and return the
// device frames they moved, starting at ring.next and leaving ring.next after the last.
#pragma once

#include <cstdint>

#include "driver/engine/conversion/device_frames.h"
#include "driver/engine/conversion/rate_converter_state.h"

using RenderResampledKernel = std::uint32_t (*)(const DeviceFormat& format, const std::int32_t* runs,
                                                std::uint32_t runLength, std::uint32_t hostFrames,
                                                RateConverterState& state, DeviceRing& ring);
using CaptureResampledKernel = std::uint32_t (*)(const DeviceFormat& format, DeviceRing& ring, std::int32_t* runs,
                                                 std::uint32_t runLength, std::uint32_t hostFrames,
                                                 RateConverterState& state);

namespace portable_kernels {
std::uint32_t RenderResampled(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength,
                              std::uint32_t hostFrames, RateConverterState& state, DeviceRing& ring);
std::uint32_t CaptureResampled(const DeviceFormat& format, DeviceRing& ring, std::int32_t* runs,
                               std::uint32_t runLength, std::uint32_t hostFrames, RateConverterState& state);
}  // namespace portable_kernels

// Callable only where ProcessorHasAvx2().
namespace avx2_kernels {
std::uint32_t RenderResampled(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength,
                              std::uint32_t hostFrames, RateConverterState& state, DeviceRing& ring);
std::uint32_t CaptureResampled(const DeviceFormat& format, DeviceRing& ring, std::int32_t* runs,
                               std::uint32_t runLength, std::uint32_t hostFrames, RateConverterState& state);
}  // namespace avx2_kernels

RenderResampledKernel ChooseRenderResampled();
CaptureResampledKernel ChooseCaptureResampled();
