// The container table at its edges, through the pin converters of both directions, and
// the saturation of the resampled paths.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver/engine/conversion/pin_converters.h"
#include "driver/engine/conversion/rate_tables.h"
#include "driver/engine/conversion/tests/reference_converter.h"
#include "driver/engine/conversion/tests/test_pins.h"

namespace {

std::vector<std::uint8_t> RenderOneSample(std::uint32_t bits, std::int32_t word)
{
    TestStream stream(1, 2, 2, 48000);
    TestPin pin(1, bits, 48000, 0, ConversionDirection::Render);
    stream.host.slab.samples[0] = word;
    EXPECT_EQ(RenderToPackets(stream.host, pin.pin, nullptr), 1u);
    return std::vector<std::uint8_t>(pin.Slot(0), pin.Slot(0) + pin.pin.blockAlign);
}

std::int32_t CaptureOneSample(std::uint32_t bits, std::vector<std::uint8_t> bytes)
{
    TestStream stream(1, 2, 2, 48000);
    TestPin pin(1, bits, 48000, 0, ConversionDirection::Capture);
    std::copy(bytes.begin(), bytes.end(), pin.Slot(0));
    EXPECT_EQ(CaptureFromPackets(stream.host, pin.pin), 1u);
    return InputRun(stream.host.slab, 0)[0];
}

using Bytes = std::vector<std::uint8_t>;

}  // namespace

TEST(Containers, RenderTruncatesToTheUpperBytes)
{
    EXPECT_EQ(RenderOneSample(24, 0x12345678), (Bytes{0x56, 0x34, 0x12}));
    EXPECT_EQ(RenderOneSample(16, 0x12345678), (Bytes{0x34, 0x12}));
    EXPECT_EQ(RenderOneSample(32, 0x12345678), (Bytes{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(RenderOneSample(24, -1), (Bytes{0xFF, 0xFF, 0xFF}));  // no rounding up to 0
    EXPECT_EQ(RenderOneSample(16, INT32_MIN), (Bytes{0x00, 0x80}));
    EXPECT_EQ(RenderOneSample(8, 0x12345678), (Bytes{0x34, 0x12}));               // below 24 bits: 16-bit
    EXPECT_EQ(RenderOneSample(64, 0x12345678), (Bytes{0x78, 0x56, 0x34, 0x12}));  // 32 or more: 32-bit
}

TEST(Containers, CaptureLeftJustifiesWithZerosBelow)
{
    EXPECT_EQ(CaptureOneSample(24, {0x56, 0x34, 0x12}), 0x12345600);
    EXPECT_EQ(CaptureOneSample(16, {0x34, 0x12}), 0x12340000);
    EXPECT_EQ(CaptureOneSample(32, {0x78, 0x56, 0x34, 0x12}), 0x12345678);
    EXPECT_EQ(CaptureOneSample(24, {0xFF, 0xFF, 0xFF}), static_cast<std::int32_t>(0xFFFFFF00));
    EXPECT_EQ(CaptureOneSample(16, {0x00, 0x80}), INT32_MIN);
}

TEST(Containers, ResampledRenderSaturatesOvershoot)
{
    ASSERT_TRUE(BuildRateTables(44100, true, 147));
    for (std::uint32_t bits : {32u, 24u, 16u}) {
        TestStream stream(147, 2, 2, 44100);
        TestPin pin(1, bits, 48000, 0, ConversionDirection::Render);
        const SampleContainer container = ContainerForBits(bits);
        std::int32_t highest = 0;
        std::int32_t lowest = 0;
        // Full-scale square waves ring past full scale at every edge.
        for (int block = 0; block < 8; ++block) {
            std::fill_n(stream.host.slab.samples, 147, block % 2 ? INT32_MIN : INT32_MAX);
            ASSERT_EQ(RenderToPackets(stream.host, pin.pin, nullptr), 160u);
            for (std::uint32_t f = 0; f < 160; ++f) {
                const std::int32_t word = ReferenceCaptureSample(container, pin.Slot(0) + f * pin.pin.blockAlign);
                highest = std::max(highest, word);
                lowest = std::min(lowest, word);
                if (block > 0 && f > 40 && f < 120) {
                    EXPECT_EQ(word < 0, block % 2 == 1) << "wrapped at bits " << bits << " frame " << f;
                }
            }
        }
        EXPECT_EQ(highest, bits == 16 ? 0x7FFF0000 : 0x7FFFFF00) << bits;
        EXPECT_EQ(lowest, INT32_MIN) << bits;
    }
}

TEST(Containers, ResampledCaptureSaturatesOvershoot)
{
    ASSERT_TRUE(BuildRateTables(44100, true, 147));
    TestStream stream(147, 2, 2, 44100);
    TestPin pin(1, 32, 48000, 0, ConversionDirection::Capture);
    std::int32_t highest = 0;
    std::int32_t lowest = 0;
    for (int block = 0; block < 8; ++block) {
        auto* words = reinterpret_cast<std::int32_t*>(pin.Slot(block % 8));
        std::fill_n(words, 160, block % 2 ? INT32_MIN : 0x7FFFFF00);
        ASSERT_EQ(CaptureFromPackets(stream.host, pin.pin), 160u);
        const std::int32_t* run = InputRun(stream.host.slab, 0);
        highest = std::max(highest, *std::max_element(run, run + 147));
        lowest = std::min(lowest, *std::min_element(run, run + 147));
    }
    EXPECT_EQ(highest, 0x7FFFFF00);
    EXPECT_EQ(lowest, INT32_MIN);
}
