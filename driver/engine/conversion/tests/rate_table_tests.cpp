#include <gtest/gtest.h>

#include <numeric>

#include "driver/engine/conversion/rate_tables.h"
#include "driver/engine/conversion/tests/reference_converter.h"

namespace {

// FNV-1a over the entries' little-endian bytes: pins every coefficient of a table.
std::uint32_t Fingerprint(const std::int32_t* table)
{
    std::uint32_t hash = 2166136261u;
    for (std::uint32_t i = 0; i < PolyphaseTableEntries; ++i) {
        for (int b = 0; b < 4; ++b) {
            hash = (hash ^ ((static_cast<std::uint32_t>(table[i]) >> (8 * b)) & 0xFF)) * 16777619u;
        }
    }
    return hash;
}

const PolyphaseTables& BuiltTables()
{
    EXPECT_TRUE(BuildRateTables(44100, true, 256));
    return RatePolyphaseTables();
}

}  // namespace

TEST(RateTables, BuiltOnlyForA44100HostWithConversion)
{
    EXPECT_FALSE(BuildRateTables(48000, true, 256));
    EXPECT_FALSE(BuildRateTables(44100, false, 256));
    EXPECT_FALSE(BuildRateTables(44100, true, 0));
    EXPECT_TRUE(BuildRateTables(44100, true, 256));
}

TEST(RateTables, PolyphaseTableHas135PhasesOf36TapsAnd12Of35)
{
    const std::int32_t* table = BuiltTables().render;
    int with36 = 0;
    int with35 = 0;
    std::uint32_t k = 0;
    for (std::uint32_t phase = 0; phase < PeriodHostFrames; ++phase) {
        ASSERT_EQ(k, PhaseEntry(phase));
        with36 += table[k] == 36;
        with35 += table[k] == 35;
        k += 1 + static_cast<std::uint32_t>(table[k]);
    }
    EXPECT_EQ(with36, 135);
    EXPECT_EQ(with35, 12);
    EXPECT_EQ(k, PolyphaseTableEntries);
    EXPECT_EQ(PhaseEntry(CaptureFirstPhase), 4245u);
}

TEST(RateTables, CoefficientsFollowTheWindowedSinc)
{
    const std::int32_t* render = BuiltTables().render;
    // Phase 0 starts on the window's edge, reaches full weight at its centre tap.
    EXPECT_EQ(render[1], 0);
    EXPECT_EQ(render[2], -2531);
    EXPECT_EQ(render[3], 9625);
    EXPECT_EQ(render[18], 2193173);
    EXPECT_EQ(render[19], 16738221);
    EXPECT_EQ(render[20], 758847);
    EXPECT_EQ(render[37], 36);  // phase 1's count
    EXPECT_EQ(render[38], -1887);
    EXPECT_EQ(render[5391], 19);
    EXPECT_EQ(FilterCoefficient(2640, 16777216.0, 16777216), 16777216);
    EXPECT_EQ(Fingerprint(render), 0x29d95c06u);
}

TEST(RateTables, CaptureTapsAreScaledToUnityGain)
{
    const PolyphaseTables& tables = BuiltTables();
    EXPECT_EQ(tables.capture[4246], -1204);
    EXPECT_EQ(Fingerprint(tables.capture), 0x5926d5a4u);
    for (std::uint32_t phase = 0; phase < PeriodHostFrames; ++phase) {
        const std::int32_t* taps = tables.capture + PhaseEntry(phase);
        ASSERT_EQ(taps[0], tables.render[PhaseEntry(phase)]);
        const std::int64_t sum = std::accumulate(taps + 1, taps + 1 + taps[0], std::int64_t{0});
        EXPECT_NEAR(static_cast<double>(sum) / 16777216.0, 1.0, 1e-4) << phase;
        const std::int32_t* padded = tables.paddedCapture[phase];
        EXPECT_TRUE(std::equal(taps + 1, taps + 1 + taps[0], padded + PaddedTapsBefore));
        EXPECT_TRUE(std::all_of(padded + PaddedTapsBefore + taps[0], padded + PaddedTapsPerPhase,
                                [](std::int32_t c) { return c == 0; }));
    }
}

TEST(RateTables, BlockFrameTableCountsDeviceFramesPerBlock)
{
    ASSERT_TRUE(BuildRateTables(44100, true, 147));
    const FrameTables& tables = RateFrameTables();
    EXPECT_TRUE(std::all_of(std::begin(tables.blockFrames), std::end(tables.blockFrames),
                            [](std::uint32_t n) { return n == 160; }));

    ASSERT_TRUE(BuildRateTables(44100, true, 1));
    EXPECT_EQ(tables.blockFrames[0], 2u);
    EXPECT_TRUE(std::all_of(tables.blockFrames + 1, std::end(tables.blockFrames),
                            [](std::uint32_t n) { return n == 1 || n == 2; }));
    EXPECT_EQ(std::accumulate(std::begin(tables.blockFrames), std::end(tables.blockFrames), 0u), 160u);

    for (std::uint32_t block : {1u, 32u, 64u, 100u, 256u, 333u, 2048u}) {
        ASSERT_TRUE(BuildRateTables(44100, true, block));
        const std::vector<std::uint32_t> expected = ReferenceFrameTable(block);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), tables.blockFrames)) << block;
        EXPECT_EQ(std::accumulate(std::begin(tables.blockFrames), std::end(tables.blockFrames), 0u), 160 * block);
        EXPECT_EQ(tables.blocksPerLargePacket, 8192 * 147 / (160 * block));
        const std::vector<std::uint32_t> large = ReferenceFrameTable(tables.blocksPerLargePacket * block);
        EXPECT_TRUE(std::equal(large.begin(), large.end(), tables.largePacketFrames)) << block;
        EXPECT_LE(*std::max_element(std::begin(tables.largePacketFrames), std::end(tables.largePacketFrames)), 8192u);
    }
}
