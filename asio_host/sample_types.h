// The little-endian sample types a host may meet in a driver's channel buffers, read
// and written as floats of full scale 1.0.
#pragma once

#include "driver/core/asio_types.h"

constexpr ASIOSampleType ASIOSTInt16LSB = 16;
constexpr ASIOSampleType ASIOSTInt24LSB = 17;  // packed, 3 bytes
constexpr ASIOSampleType ASIOSTFloat32LSB = 19;
constexpr ASIOSampleType ASIOSTFloat64LSB = 20;
// 32-bit containers holding 16, 18, 20 or 24 bits, aligned to the low end.
constexpr ASIOSampleType ASIOSTInt32LSB16 = 24;
constexpr ASIOSampleType ASIOSTInt32LSB24 = 27;

// The name of a supported type; null for any other (big-endian and DSD ones).
const char* SampleTypeName(ASIOSampleType type);

// Writes `count` samples and silence for the rest of the `bufferSize` frames.
void WriteSamples(ASIOSampleType type, void* buffer, const float* samples, long count, long bufferSize);
void ReadSamples(ASIOSampleType type, const void* buffer, float* samples, long count);
