// The converters the streaming thread runs once per switch and pin. Each returns the
// device frames it moved, 0 when the pin's format, slab runs or device memory cannot be
// used (nothing is touched then). A pin whose rate differs from the host's goes through
// the rate converter.
#pragma once

#include <cstdint>

#include "driver/engine/conversion/conversion_pin.h"

// Flushes [start, end) from the processor's caches so that the device sees the writes.
using CacheFlush = void (*)(const void* start, const void* end);

// Slab -> the render packet of slot (submitted count mod 8); for loop halves the half
// (submitted count mod 2), which is then flushed, and the submitted count + 1.
std::uint32_t RenderToPackets(const HostStream& host, ConversionPin& pin, CacheFlush flush);

// The capture packet of slot (converted count mod 8), or for loop halves the half
// (converted count mod 2) -> slab; then the converted count + 1.
std::uint32_t CaptureFromPackets(const HostStream& host, ConversionPin& pin);

// Slab -> the loop, from the loop position plus (BufferPosition + start delay − measured
// offset) ms of frames; the position then advances by the frames written, which are
// flushed (in two pieces when the write wrapped).
std::uint32_t RenderToLoop(const HostStream& host, ConversionPin& pin, CacheFlush flush);

// The loop, from the loop position minus (BufferPosition + measured offset − start delay)
// ms of frames -> slab; the position then advances by the frames read.
std::uint32_t CaptureFromLoop(const HostStream& host, ConversionPin& pin);
