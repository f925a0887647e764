// AVX2 direct paths for 2- and 8-channel pins with packed frames. Interleaving is done in
// registers on groups of 8 consecutive device samples (one 8-channel frame, four 2-channel
// frames); the container moves then work on those groups whatever the channel count.
// Results are bit-identical to the portable kernels, which also move the frames that do
// not fill a whole tile.
#include "driver/engine/conversion/direct_kernels.h"

#include <immintrin.h>

#pragma GCC push_options
#pragma GCC target("avx2")

namespace {

using Words = __m256i;  // 8 consecutive device samples as slab words

__m256i LoadTwoHalves(const void* low, const void* high)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(low))),
                                   _mm_loadu_si128(static_cast<const __m128i*>(high)), 1);
}

void StoreTwoHalves(void* low, void* high, __m256i value)
{
    _mm_storeu_si128(static_cast<__m128i*>(low), _mm256_castsi256_si128(value));
    _mm_storeu_si128(static_cast<__m128i*>(high), _mm256_extracti128_si256(value, 1));
}

// Transposes the 4 × 4 words in each 128-bit lane of a0..a3.
void TransposeLanes(__m256i& a0, __m256i& a1, __m256i& a2, __m256i& a3)
{
    const __m256i t0 = _mm256_unpacklo_epi32(a0, a1);
    const __m256i t1 = _mm256_unpackhi_epi32(a0, a1);
    const __m256i t2 = _mm256_unpacklo_epi32(a2, a3);
    const __m256i t3 = _mm256_unpackhi_epi32(a2, a3);
    a0 = _mm256_unpacklo_epi64(t0, t2);
    a1 = _mm256_unpackhi_epi64(t0, t2);
    a2 = _mm256_unpacklo_epi64(t1, t3);
    a3 = _mm256_unpackhi_epi64(t1, t3);
}

// Byte shuffles (functions, so that no AVX2 code runs at static initialisation): 4 samples
// of 3 bytes in a lane <-> 4 slab words with low byte 0.
__m256i UnpackThreeBytes()
{
    // One row per 128-bit lane.
    // clang-format off
    return _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11,
                            -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
    // clang-format on
}
__m256i PackThreeBytes()
{
    // One row per 128-bit lane.
    // clang-format off
    return _mm256_setr_epi8(1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15, -1, -1, -1, -1,
                            1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15, -1, -1, -1, -1);
    // clang-format on
}
// A lane holding 8 samples of 16 bits: samples 0–3 (low lane) or 4–7 (high lane) to words.
__m256i UnpackTwoBytes()
{
    // One row per 128-bit lane.
    // clang-format off
    return _mm256_setr_epi8(-1, -1, 0, 1, -1, -1, 2, 3, -1, -1, 4, 5, -1, -1, 6, 7,
                            -1, -1, 8, 9, -1, -1, 10, 11, -1, -1, 12, 13, -1, -1, 14, 15);
    // clang-format on
}

// 16 device samples <-> two groups of words. The 24-bit moves touch 4 bytes past the 48
// they convert (writes there are rewritten by the next group), so the caller keeps at
// least one frame after every tile it hands them.
template <SampleContainer Container>
void StoreWordPair(Words first, Words second, std::uint8_t* out)
{
    if constexpr (Container == SampleContainer::Bits32) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), first);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), second);
    } else if constexpr (Container == SampleContainer::Bits16) {
        const __m256i packed = _mm256_packs_epi32(_mm256_srai_epi32(first, 16), _mm256_srai_epi32(second, 16));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute4x64_epi64(packed, 0xD8));
    } else {
        StoreTwoHalves(out, out + 12, _mm256_shuffle_epi8(first, PackThreeBytes()));
        StoreTwoHalves(out + 24, out + 36, _mm256_shuffle_epi8(second, PackThreeBytes()));
    }
}

template <SampleContainer Container>
void LoadWordPair(const std::uint8_t* in, Words& first, Words& second)
{
    if constexpr (Container == SampleContainer::Bits32) {
        first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32));
    } else if constexpr (Container == SampleContainer::Bits16) {
        const auto* half = reinterpret_cast<const __m128i*>(in);
        first = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_loadu_si128(half)), UnpackTwoBytes());
        second = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_loadu_si128(half + 1)), UnpackTwoBytes());
    } else {
        first = _mm256_shuffle_epi8(LoadTwoHalves(in, in + 12), UnpackThreeBytes());
        second = _mm256_shuffle_epi8(LoadTwoHalves(in + 24, in + 36), UnpackThreeBytes());
    }
}

// Frames of one tile: 8 frames of 2 channels or 4 of 8 channels, 32 or 16 samples.
template <std::uint32_t Channels>
constexpr std::uint32_t TileFrames = Channels == 2 ? 8 : 4;

template <std::uint32_t Channels, SampleContainer Container>
void RenderTile(const std::int32_t* runs, std::size_t runLength, std::uint8_t* out)
{
    constexpr std::uint32_t frameBytes = Channels * ContainerBytes(Container);
    if constexpr (Channels == 2) {
        const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(runs));
        const __m256i right = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(runs + runLength));
        const __m256i frames0145 = _mm256_unpacklo_epi32(left, right);
        const __m256i frames2367 = _mm256_unpackhi_epi32(left, right);
        StoreWordPair<Container>(_mm256_permute2x128_si256(frames0145, frames2367, 0x20),
                                 _mm256_permute2x128_si256(frames0145, frames2367, 0x31), out);
    } else {
        // Lane 0 carries channels 0–3, lane 1 channels 4–7; transposing gives whole frames.
        __m256i a[4];
        for (std::size_t c = 0; c < 4; ++c) {
            a[c] = LoadTwoHalves(runs + c * runLength, runs + (c + 4) * runLength);
        }
        TransposeLanes(a[0], a[1], a[2], a[3]);
        StoreWordPair<Container>(a[0], a[1], out);
        StoreWordPair<Container>(a[2], a[3], out + 2 * frameBytes);
    }
}

template <std::uint32_t Channels, SampleContainer Container>
void CaptureTile(const std::uint8_t* in, std::int32_t* runs, std::size_t runLength)
{
    constexpr std::uint32_t frameBytes = Channels * ContainerBytes(Container);
    if constexpr (Channels == 2) {
        Words frames0123;
        Words frames4567;
        LoadWordPair<Container>(in, frames0123, frames4567);
        // Word order 0 2 1 3 in each lane puts a channel's two frames side by side.
        const __m256i frames0145 = _mm256_shuffle_epi32(_mm256_permute2x128_si256(frames0123, frames4567, 0x20), 0xD8);
        const __m256i frames2367 = _mm256_shuffle_epi32(_mm256_permute2x128_si256(frames0123, frames4567, 0x31), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(runs), _mm256_unpacklo_epi64(frames0145, frames2367));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(runs + runLength),
                            _mm256_unpackhi_epi64(frames0145, frames2367));
    } else {
        __m256i a[4];
        LoadWordPair<Container>(in, a[0], a[1]);
        LoadWordPair<Container>(in + 2 * frameBytes, a[2], a[3]);
        TransposeLanes(a[0], a[1], a[2], a[3]);
        for (std::size_t c = 0; c < 4; ++c) {
            StoreTwoHalves(runs + c * runLength, runs + (c + 4) * runLength, a[c]);
        }
    }
}

// Frames the tiles may move: whole tiles, leaving one frame after the last 24-bit tile.
template <std::uint32_t Channels, SampleContainer Container>
std::uint32_t TiledFrames(std::uint32_t frames)
{
    constexpr std::uint32_t spare = Container == SampleContainer::Bits24 ? 1 : 0;
    return frames > spare ? (frames - spare) / TileFrames<Channels> * TileFrames<Channels> : 0;
}

template <std::uint32_t Channels, SampleContainer Container>
void RenderTiles(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength, std::uint32_t frames,
                 std::uint8_t* device)
{
    constexpr std::uint32_t frameBytes = Channels * ContainerBytes(Container);
    const std::uint32_t tiled = TiledFrames<Channels, Container>(frames);
    for (std::uint32_t f = 0; f < tiled; f += TileFrames<Channels>) {
        RenderTile<Channels, Container>(runs + f, runLength, device + std::size_t{f} * frameBytes);
    }
    portable_kernels::RenderDirect(format, runs + tiled, runLength, frames - tiled,
                                   device + std::size_t{tiled} * frameBytes);
}

template <std::uint32_t Channels, SampleContainer Container>
void CaptureTiles(const DeviceFormat& format, const std::uint8_t* device, std::uint32_t frames, std::int32_t* runs,
                  std::uint32_t runLength)
{
    constexpr std::uint32_t frameBytes = Channels * ContainerBytes(Container);
    const std::uint32_t tiled = TiledFrames<Channels, Container>(frames);
    for (std::uint32_t f = 0; f < tiled; f += TileFrames<Channels>) {
        CaptureTile<Channels, Container>(device + std::size_t{f} * frameBytes, runs + f, runLength);
    }
    portable_kernels::CaptureDirect(format, device + std::size_t{tiled} * frameBytes, frames - tiled, runs + tiled,
                                    runLength);
}

template <std::uint32_t Channels>
void RenderChannels(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength, std::uint32_t frames,
                    std::uint8_t* device)
{
    switch (format.container) {
    case SampleContainer::Bits16:
        return RenderTiles<Channels, SampleContainer::Bits16>(format, runs, runLength, frames, device);
    case SampleContainer::Bits24:
        return RenderTiles<Channels, SampleContainer::Bits24>(format, runs, runLength, frames, device);
    case SampleContainer::Bits32:
        return RenderTiles<Channels, SampleContainer::Bits32>(format, runs, runLength, frames, device);
    }
}

template <std::uint32_t Channels>
void CaptureChannels(const DeviceFormat& format, const std::uint8_t* device, std::uint32_t frames, std::int32_t* runs,
                     std::uint32_t runLength)
{
    switch (format.container) {
    case SampleContainer::Bits16:
        return CaptureTiles<Channels, SampleContainer::Bits16>(format, device, frames, runs, runLength);
    case SampleContainer::Bits24:
        return CaptureTiles<Channels, SampleContainer::Bits24>(format, device, frames, runs, runLength);
    case SampleContainer::Bits32:
        return CaptureTiles<Channels, SampleContainer::Bits32>(format, device, frames, runs, runLength);
    }
}

}  // namespace

namespace avx2_kernels {

bool HandlesDirect(const DeviceFormat& format)
{
    return (format.channels == 2 || format.channels == 8) && HasPackedFrames(format);
}

void RenderDirect(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength, std::uint32_t frames,
                  std::uint8_t* device)
{
    if (format.channels == 2) {
        RenderChannels<2>(format, runs, runLength, frames, device);
    } else {
        RenderChannels<8>(format, runs, runLength, frames, device);
    }
}

void CaptureDirect(const DeviceFormat& format, const std::uint8_t* device, std::uint32_t frames, std::int32_t* runs,
                   std::uint32_t runLength)
{
    if (format.channels == 2) {
        CaptureChannels<2>(format, device, frames, runs, runLength);
    } else {
        CaptureChannels<8>(format, device, frames, runs, runLength);
    }
}

}  // namespace avx2_kernels

#pragma GCC pop_options
