// AVX2 taps of the rate converter. The window of a phase is covered by six whole 8-entry
// blocks of the ring (blocks never straddle its wrap; a fixed count keeps the loops free of
// unpredictable branches); the zero-padded taps multiply the entries outside the window by
// 0, so every sum is the same as the portable kernel's. _mm256_mul_epi32 multiplies the
// even lanes; the odd lanes' taps are loaded one entry later instead of being shifted.
#include "driver/engine/conversion/resampler_kernels.h"

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "driver/engine/conversion/device_frames.h"
#include "driver/engine/conversion/rate_converter_state.h"
#include "driver/engine/conversion/rate_period.h"
#include "driver/engine/conversion/rate_tables.h"
#include "driver/engine/conversion/sample_container.h"

#pragma GCC push_options
#pragma GCC target("avx2")

#include "driver/engine/conversion/resampler_loop.h"

namespace {

constexpr std::uint32_t BlockEntries = 8;
constexpr std::uint32_t RingBlocks = HistorySamplesPerChannel / BlockEntries;
// Enough for 36 taps starting anywhere in a block: 7 + 36 entries; the odd taps of the
// last block are read one entry further.
constexpr std::uint32_t WindowBlockCount = 6;
static_assert(PaddedTapsBefore + WindowBlockCount * BlockEntries + 1 <= PaddedTapsPerPhase);

__m256i LoadLanes(const std::int32_t* entries)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(entries));
}

// The 64-bit products of the even lanes of `a` with taps[0, 2, 4, 6] and of the odd lanes
// of `a`, moved down, with taps[1, 3, 5, 7]; each upper half sits in an odd lane.
struct LaneProducts {
    __m256i even;
    __m256i odd;

    LaneProducts(__m256i evenSamples, __m256i oddSamples, const std::int32_t* taps)
        : even(_mm256_mul_epi32(evenSamples, LoadLanes(taps))), odd(_mm256_mul_epi32(oddSamples, LoadLanes(taps + 1)))
    {
    }
};

// Sum of the odd lanes.
std::int32_t SumOddLanes(__m256i lanes)
{
    __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(lanes), _mm256_extracti128_si256(lanes, 1));
    sum = _mm_add_epi32(sum, _mm_srli_si128(sum, 8));
    return _mm_extract_epi32(sum, 1);
}

// The blocks covering a window of a phase's taps that starts at ring entry `start`, and
// the padded taps lined up with the first block.
struct WindowBlocks {
    std::uint32_t first;
    const std::int32_t* taps;

    WindowBlocks(std::uint32_t start, std::uint32_t phase, const std::int32_t (*padded)[PaddedTapsPerPhase])
        : first(start / BlockEntries), taps(padded[phase] + PaddedTapsBefore - start % BlockEntries)
    {
    }

    std::size_t RingOffset(std::uint32_t block) const
    {
        return std::size_t{(first + block) % RingBlocks} * BlockEntries;
    }
};

struct Avx2Taps {
    static void Add(std::int32_t* ring, std::uint32_t r, std::int32_t x, std::uint32_t phase,
                    const PolyphaseTables& tables)
    {
        const WindowBlocks window(r, phase, tables.paddedRender);
        const __m256i sample = _mm256_set1_epi32(x);  // x in every lane, odd and even
        for (std::uint32_t block = 0; block < WindowBlockCount; ++block) {
            auto* entries = reinterpret_cast<__m256i*>(ring + window.RingOffset(block));
            const LaneProducts products(sample, sample, window.taps + block * BlockEntries);
            const __m256i upperHalves = _mm256_blend_epi32(_mm256_srli_epi64(products.even, 32), products.odd, 0xAA);
            _mm256_storeu_si256(entries, _mm256_add_epi32(_mm256_loadu_si256(entries), upperHalves));
        }
    }

    static std::int32_t Filter(const std::int32_t* ring, std::uint32_t q, std::uint32_t phase,
                               const PolyphaseTables& tables)
    {
        const WindowBlocks window(q, phase, tables.paddedCapture);
        // Only the odd lanes of the sum count: they gather every product's upper half.
        __m256i sum = _mm256_setzero_si256();
        for (std::uint32_t block = 0; block < WindowBlockCount; ++block) {
            const __m256i entries = LoadLanes(ring + window.RingOffset(block));
            const LaneProducts products(entries, _mm256_srli_epi64(entries, 32), window.taps + block * BlockEntries);
            sum = _mm256_add_epi32(sum, _mm256_add_epi32(products.even, products.odd));
        }
        return SumOddLanes(sum);
    }
};

}  // namespace

namespace avx2_kernels {

std::uint32_t RenderResampled(const DeviceFormat& format, const std::int32_t* runs, std::uint32_t runLength,
                              std::uint32_t hostFrames, RateConverterState& state, DeviceRing& ring)
{
    return RenderResampledAnyContainer<Avx2Taps>(format, runs, runLength, hostFrames, state, ring);
}

std::uint32_t CaptureResampled(const DeviceFormat& format, DeviceRing& ring, std::int32_t* runs,
                               std::uint32_t runLength, std::uint32_t hostFrames, RateConverterState& state)
{
    return CaptureResampledAnyContainer<Avx2Taps>(format, ring, runs, runLength, hostFrames, state);
}

}  // namespace avx2_kernels

#pragma GCC pop_options
