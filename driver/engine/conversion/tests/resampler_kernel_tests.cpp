// Both kernel sets against the plain model of the converter, block after block, on
// random and full-scale samples, with the state the model keeps.
#include <gtest/gtest.h>

#include <random>

#include "driver/engine/conversion/processor_features.h"
#include "driver/engine/conversion/rate_tables.h"
#include "driver/engine/conversion/resampler_kernels.h"
#include "driver/engine/conversion/tests/reference_converter.h"

namespace {

struct ResamplerKernels {
    const char* name;
    RenderResampledKernel render;
    CaptureResampledKernel capture;
};

std::vector<ResamplerKernels> AvailableKernelSets()
{
    std::vector<ResamplerKernels> sets{
        {"portable", portable_kernels::RenderResampled, portable_kernels::CaptureResampled}};
    if (ProcessorHasAvx2()) {
        sets.push_back({"avx2", avx2_kernels::RenderResampled, avx2_kernels::CaptureResampled});
    }
    return sets;
}

// Random words, with runs of full scale so that saturation takes part.
std::int32_t TestWord(std::mt19937& random)
{
    const std::uint32_t pick = random() % 16;
    return pick == 0 ? INT32_MAX : pick == 1 ? INT32_MIN : static_cast<std::int32_t>(random());
}

struct Converter {
    Converter(std::uint32_t channels, ConversionDirection direction)
        : history(std::size_t{channels} * HistorySamplesPerChannel, 0x1234), state{}
    {
        state.history = history.data();
        RestartRateConverter(state, channels, direction);
    }
    std::vector<std::int32_t> history;
    RateConverterState state;
};

const std::uint32_t BlockSizes[] = {1, 64, 147, 200, 33, 257, 2};

}  // namespace

TEST(ResamplerKernels, RestartLeavesRenderAtPhase0AndCaptureAtEntry4245)
{
    Converter render(2, ConversionDirection::Render);
    Converter capture(2, ConversionDirection::Capture);
    EXPECT_EQ(render.state.coefficientIndex, 0u);
    EXPECT_EQ(capture.state.coefficientIndex, 4245u);
    EXPECT_EQ(capture.state.phaseAccumulator + capture.state.phaseLimit + capture.state.ringPosition, 0u);
    EXPECT_TRUE(std::all_of(capture.history.begin(), capture.history.end(), [](std::int32_t s) { return s == 0; }));
}

TEST(ResamplerKernels, RenderMatchesThePlainModel)
{
    ASSERT_TRUE(BuildRateTables(44100, true, 256));
    std::mt19937 random(11);
    for (const ResamplerKernels& kernels : AvailableKernelSets()) {
        for (SampleContainer container : {SampleContainer::Bits16, SampleContainer::Bits24, SampleContainer::Bits32}) {
            for (std::uint32_t channels : {1u, 2u, 3u, 8u}) {
                SCOPED_TRACE(testing::Message()
                             << kernels.name << " channels " << channels << " bytes " << ContainerBytes(container));
                const DeviceFormat format{channels, container, channels * ContainerBytes(container)};
                Converter converter(channels, ConversionDirection::Render);
                ReferenceRateConverter model(channels, false);
                for (std::uint32_t block : BlockSizes) {
                    std::vector<std::int32_t> runs(std::size_t{channels} * block);
                    for (auto& word : runs) word = TestWord(random);
                    std::vector<std::int32_t> values(std::size_t{channels} * (block * 160 / 147 + 2));
                    const std::uint32_t frames = model.Render(runs.data(), block, values.data());
                    values.resize(std::size_t{frames} * channels);
                    ASSERT_EQ(ResampledDeviceFrames(converter.state, ConversionDirection::Render, block), frames);

                    std::vector<std::uint8_t> device(std::size_t{frames} * format.frameBytes);
                    DeviceRing ring{device.data(), frames, 0};
                    ASSERT_EQ(kernels.render(format, runs.data(), block, block, converter.state, ring), frames);
                    EXPECT_EQ(ring.next, 0u);
                    std::vector<std::uint8_t> expected(device.size());
                    for (std::size_t i = 0; i < values.size(); ++i) {
                        ReferenceConverterSample(container, values[i], &expected[i * ContainerBytes(container)]);
                    }
                    ASSERT_EQ(device, expected) << "block " << block;
                    EXPECT_EQ(converter.state.coefficientIndex, model.coefficientIndex());
                    EXPECT_EQ(converter.state.phaseAccumulator, model.phaseAccumulator());
                    EXPECT_EQ(converter.state.phaseLimit, model.phaseLimit());
                }
            }
        }
    }
}

TEST(ResamplerKernels, CaptureMatchesThePlainModel)
{
    ASSERT_TRUE(BuildRateTables(44100, true, 256));
    std::mt19937 random(13);
    for (const ResamplerKernels& kernels : AvailableKernelSets()) {
        for (SampleContainer container : {SampleContainer::Bits16, SampleContainer::Bits24, SampleContainer::Bits32}) {
            for (std::uint32_t channels : {1u, 2u, 3u, 8u}) {
                SCOPED_TRACE(testing::Message()
                             << kernels.name << " channels " << channels << " bytes " << ContainerBytes(container));
                const DeviceFormat format{channels, container, channels * ContainerBytes(container)};
                Converter converter(channels, ConversionDirection::Capture);
                ReferenceRateConverter model(channels, true);
                for (std::uint32_t block : BlockSizes) {
                    const std::uint32_t frames =
                        ResampledDeviceFrames(converter.state, ConversionDirection::Capture, block);
                    std::vector<std::uint8_t> device(std::size_t{frames} * format.frameBytes);
                    for (auto& byte : device) byte = static_cast<std::uint8_t>(TestWord(random));
                    std::vector<std::int32_t> words;
                    for (std::size_t i = 0; i < std::size_t{frames} * channels; ++i) {
                        words.push_back(ReferenceCaptureSample(container, &device[i * ContainerBytes(container)]));
                    }
                    std::vector<std::int32_t> expected(std::size_t{channels} * block);
                    ASSERT_EQ(model.Capture(words.data(), block, expected.data()), frames);

                    std::vector<std::int32_t> runs(std::size_t{channels} * block);
                    DeviceRing ring{device.data(), frames, 0};
                    ASSERT_EQ(kernels.capture(format, ring, runs.data(), block, block, converter.state), frames);
                    ASSERT_EQ(runs, expected) << "block " << block;
                    EXPECT_EQ(converter.state.coefficientIndex % PolyphaseTableEntries,
                              model.coefficientIndex() % PolyphaseTableEntries);
                    EXPECT_EQ(converter.state.phaseLimit, model.phaseLimit());
                }
            }
        }
    }
}

TEST(ResamplerKernels, OnePeriodReturnsRenderToItsStart)
{
    ASSERT_TRUE(BuildRateTables(44100, true, 147));
    Converter converter(2, ConversionDirection::Render);
    const DeviceFormat format{2, SampleContainer::Bits32, 8};
    std::vector<std::int32_t> runs(2 * 147, 1 << 30);
    std::vector<std::uint8_t> device(160 * 8);
    DeviceRing ring{device.data(), 160, 0};
    EXPECT_EQ(ChooseRenderResampled()(format, runs.data(), 147, 147, converter.state, ring), 160u);
    EXPECT_EQ(converter.state.coefficientIndex, 0u);
    EXPECT_EQ(converter.state.phaseAccumulator, 0u);
    EXPECT_EQ(converter.state.phaseLimit, 0u);
}

TEST(ResamplerKernels, InconsistentPhaseFieldsRestartThePeriod)
{
    ASSERT_TRUE(BuildRateTables(44100, true, 256));
    Converter converter(2, ConversionDirection::Render);
    converter.state.phaseLimit = 0x7FFFFFF0;  // would emit frames until the limit
    converter.state.ringPosition = 1000;
    converter.state.coefficientIndex = 99999;
    const DeviceFormat format{2, SampleContainer::Bits16, 4};
    std::vector<std::int32_t> runs(2 * 256);
    std::vector<std::uint8_t> device(279 * 4);
    DeviceRing ring{device.data(), 279, 0};
    EXPECT_EQ(ResampledDeviceFrames(converter.state, ConversionDirection::Render, 256), 279u);
    EXPECT_EQ(ChooseRenderResampled()(format, runs.data(), 256, 256, converter.state, ring), 279u);
    EXPECT_EQ(converter.state.phaseLimit, 256 % 147 * 160u);
    EXPECT_LT(converter.state.ringPosition, 64u);
}

TEST(ResamplerKernels, RingsWrapAtTheirEnd)
{
    ASSERT_TRUE(BuildRateTables(44100, true, 256));
    const DeviceFormat format{2, SampleContainer::Bits24, 6};
    Converter straight(2, ConversionDirection::Render);
    Converter wrapped(2, ConversionDirection::Render);
    std::vector<std::int32_t> runs(2 * 100);
    std::mt19937 random(3);
    for (auto& word : runs) word = static_cast<std::int32_t>(random());
    std::vector<std::uint8_t> line(109 * 6);
    std::vector<std::uint8_t> loop(50 * 6);
    DeviceRing lineRing{line.data(), 109, 0};
    DeviceRing loopRing{loop.data(), 50, 30};
    ASSERT_EQ(ChooseRenderResampled()(format, runs.data(), 100, 100, straight.state, lineRing), 109u);
    ASSERT_EQ(ChooseRenderResampled()(format, runs.data(), 100, 100, wrapped.state, loopRing), 109u);
    EXPECT_EQ(loopRing.next, (30 + 109) % 50u);
    // The last 50 frames written fill the loop, the oldest of them at frame 30 + 59.
    for (std::uint32_t f = 59; f < 109; ++f) {
        ASSERT_TRUE(std::equal(line.begin() + f * 6, line.begin() + f * 6 + 6, loop.begin() + (30 + f) % 50 * 6)) << f;
    }
}
