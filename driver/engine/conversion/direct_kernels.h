// The direct paths (device rate = host rate): moving frames between a pin's slab runs and
// consecutive device frames, converting the container. `runs` points at the first frame
// to move in the run of the pin's first channel; channel c's run lies c × runLength words
// further.
#pragma once

#include <cstdint>

#include "driver/engine/conversion/device_frames.h"

using RenderDirectKernel = void (*)(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength,
                                    std::uint32_t frames, std::uint8_t* device);
using CaptureDirectKernel = void (*)(const DeviceFormat& format, const std::uint8_t* device, std::uint32_t frames,
                                     std::int32_t* runs, std::uint32_t runLength);

// Plain loops for every format and processor.
namespace portable_kernels {
void RenderDirect(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength, std::uint32_t frames,
                  std::uint8_t* device);
void CaptureDirect(const DeviceFormat& format, const std::uint8_t* device, std::uint32_t frames, std::int32_t* runs,
                   std::uint32_t runLength);
}  // namespace portable_kernels

// AVX2 loops for packed 2- and 8-channel frames; callable only where ProcessorHasAvx2().
namespace avx2_kernels {
bool HandlesDirect(const DeviceFormat& format);
void RenderDirect(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength, std::uint32_t frames,
                  std::uint8_t* device);
void CaptureDirect(const DeviceFormat& format, const std::uint8_t* device, std::uint32_t frames, std::int32_t* runs,
                   std::uint32_t runLength);
}  // namespace avx2_kernels

// The fastest kernels this processor runs for the format.
RenderDirectKernel ChooseRenderDirect(const DeviceFormat& format);
CaptureDirectKernel ChooseCaptureDirect(const DeviceFormat& format);
