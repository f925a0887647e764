#include "asio_host/sample_types.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Bits of an integer type; 0 for the float types.
int IntegerBits(ASIOSampleType type)
{
    if (type == ASIOSTInt16LSB) return 16;
    if (type == ASIOSTInt24LSB) return 24;
    if (type == ASIOSTInt32LSB) return 32;
    if (type >= ASIOSTInt32LSB16 && type <= ASIOSTInt32LSB24) return 16 + 2 * (type - ASIOSTInt32LSB16);
    return 0;
}

int Bytes(ASIOSampleType type)
{
    if (type == ASIOSTInt16LSB) return 2;
    if (type == ASIOSTInt24LSB) return 3;
    if (type == ASIOSTFloat64LSB) return 8;
    return 4;
}

}  // namespace

const char* SampleTypeName(ASIOSampleType type)
{
    switch (type) {
    case ASIOSTInt16LSB: return "Int16LSB";
    case ASIOSTInt24LSB: return "Int24LSB";
    case ASIOSTInt32LSB: return "Int32LSB";
    case ASIOSTFloat32LSB: return "Float32LSB";
    case ASIOSTFloat64LSB: return "Float64LSB";
    case ASIOSTInt32LSB16: return "Int32LSB16";
    case ASIOSTInt32LSB16 + 1: return "Int32LSB18";
    case ASIOSTInt32LSB16 + 2: return "Int32LSB20";
    case ASIOSTInt32LSB24: return "Int32LSB24";
    default: return nullptr;
    }
}

void WriteSamples(ASIOSampleType type, void* buffer, const float* samples, long count, long bufferSize)
{
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    const int size = Bytes(type), bits = IntegerBits(type);
    const double scale = bits != 0 ? std::ldexp(1.0, bits - 1) - 1.0 : 1.0;
    for (long i = 0; i < count; ++i) {
        const double value = std::clamp(double(samples[i]), -1.0, 1.0);
        std::uint8_t* out = bytes + i * size;
        if (type == ASIOSTFloat32LSB) {
            const float single = float(value);
            std::memcpy(out, &single, 4);
        } else if (type == ASIOSTFloat64LSB) {
            std::memcpy(out, &value, 8);
        } else {
            const auto integer = std::uint32_t(std::int32_t(std::lround(value * scale)));
            for (int b = 0; b < size; ++b) out[b] = std::uint8_t(integer >> (8 * b));
        }
    }
    if (count < bufferSize) std::memset(bytes + count * size, 0, std::size_t(bufferSize - count) * size);
}

void ReadSamples(ASIOSampleType type, const void* buffer, float* samples, long count)
{
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const int size = Bytes(type), bits = IntegerBits(type);
    const double scale = bits != 0 ? std::ldexp(1.0, bits - 1) : 1.0;
    for (long i = 0; i < count; ++i) {
        const std::uint8_t* in = bytes + i * size;
        if (type == ASIOSTFloat32LSB) {
            std::memcpy(&samples[i], in, 4);
        } else if (type == ASIOSTFloat64LSB) {
            double value;
            std::memcpy(&value, in, 8);
            samples[i] = float(value);
        } else {
            std::uint32_t integer = 0;
            for (int b = 0; b < size; ++b) integer |= std::uint32_t(in[b]) << (8 * b);
            // Sign-extend from the type's width.
            const int shift = 32 - bits;
            const std::int32_t value = std::int32_t(integer << shift) >> shift;
            samples[i] = float(double(value) / scale);
        }
    }
}
