// The device containers of a pin and the moves of single samples between a slab word
// (32-bit, device sample left-justified) and device bytes (little-endian). Reducing the
// word length truncates; nothing here rounds or dithers.
#pragma once

#include <cstdint>

enum class SampleContainer : std::uint8_t {
    Bits16,
    Bits24,  // packed, three bytes
    Bits32,
};

// The container of a pin's wBitsPerSample: 32 or more, 24, else 16.
constexpr SampleContainer ContainerForBits(std::uint32_t bitsPerSample)
{
    return bitsPerSample >= 32   ? SampleContainer::Bits32
           : bitsPerSample == 24 ? SampleContainer::Bits24
                                 : SampleContainer::Bits16;
}

constexpr std::uint32_t ContainerBytes(SampleContainer container)
{
    return container == SampleContainer::Bits32 ? 4 : container == SampleContainer::Bits24 ? 3 : 2;
}

// Slab word to device bytes: the upper 2, 3 or 4 bytes of the word.
template <SampleContainer Container>
inline void StoreSlabWord(std::int32_t word, std::uint8_t* bytes)
{
    const auto value = static_cast<std::uint32_t>(word);
    constexpr std::uint32_t skipped = 4 - ContainerBytes(Container);
    for (std::uint32_t i = 0; i < ContainerBytes(Container); ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * (i + skipped)));
    }
}

// Device bytes to slab word: the device sample in the top bytes, zeros below.
template <SampleContainer Container>
inline std::int32_t LoadSlabWord(const std::uint8_t* bytes)
{
    constexpr std::uint32_t skipped = 4 - ContainerBytes(Container);
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < ContainerBytes(Container); ++i) {
        value |= std::uint32_t{bytes[i]} << (8 * (i + skipped));
    }
    return static_cast<std::int32_t>(value);
}

constexpr std::int32_t Min24BitSample = -8388608;
constexpr std::int32_t Max24BitSample = 8388607;

constexpr std::int32_t SaturateTo24Bits(std::int32_t value)
{
    return value < Min24BitSample ? Min24BitSample : value > Max24BitSample ? Max24BitSample : value;
}

// A saturated 24-bit value v of the rate converter to device bytes: v × 2^8 in 32 bits,
// the three low bytes of v, or floor(v / 2^8) in 16 bits; all three are the upper bytes of
// the slab word v × 2^8.
template <SampleContainer Container>
inline void StoreConverterSample(std::int32_t value24, std::uint8_t* bytes)
{
    StoreSlabWord<Container>(value24 * 256, bytes);
}
