// Both kernel sets against the plain model on random samples, for every container, the
// specialised and the general channel counts, and frame counts around the tile sizes;
// the bytes around the output must stay untouched.
#include <gtest/gtest.h>

#include <random>

#include "driver/engine/conversion/direct_kernels.h"
#include "driver/engine/conversion/processor_features.h"
#include "driver/engine/conversion/tests/reference_converter.h"

namespace {

struct DirectKernels {
    const char* name;
    RenderDirectKernel render;
    CaptureDirectKernel capture;
    bool (*handles)(const DeviceFormat&);
};

bool HandlesAll(const DeviceFormat&)
{
    return true;
}

std::vector<DirectKernels> AvailableKernelSets()
{
    std::vector<DirectKernels> sets{
        {"portable", portable_kernels::RenderDirect, portable_kernels::CaptureDirect, HandlesAll}};
    if (ProcessorHasAvx2()) {
        sets.push_back({"avx2", avx2_kernels::RenderDirect, avx2_kernels::CaptureDirect, avx2_kernels::HandlesDirect});
    }
    return sets;
}

constexpr std::uint8_t Guard = 0xA5;
constexpr std::int32_t GuardWord = 0x5A5A5A5A;
constexpr std::uint32_t GuardSize = 64;

}  // namespace

TEST(DirectKernels, MatchThePlainModelAndStayInsideTheirBuffers)
{
    std::mt19937 random(7);
    for (const DirectKernels& kernels : AvailableKernelSets()) {
        for (SampleContainer container : {SampleContainer::Bits16, SampleContainer::Bits24, SampleContainer::Bits32}) {
            for (std::uint32_t channels : {1u, 2u, 3u, 8u}) {
                const DeviceFormat format{channels, container, channels * ContainerBytes(container)};
                if (!kernels.handles(format)) {
                    continue;
                }
                for (std::uint32_t frames : {0u, 1u, 3u, 4u, 5u, 8u, 9u, 16u, 17u, 255u, 256u}) {
                    SCOPED_TRACE(testing::Message() << kernels.name << " channels " << channels << " bytes "
                                                    << ContainerBytes(container) << " frames " << frames);
                    std::vector<std::int32_t> runs(std::size_t{channels} * frames);
                    for (auto& word : runs) word = static_cast<std::int32_t>(random());
                    const std::size_t deviceBytes = std::size_t{frames} * format.frameBytes;

                    std::vector<std::uint8_t> device(deviceBytes + GuardSize, Guard);
                    kernels.render(format, runs.data(), frames, frames, device.data());
                    const auto expectedDevice = ReferenceRenderDirect(container, channels, runs, frames);
                    EXPECT_TRUE(std::equal(expectedDevice.begin(), expectedDevice.end(), device.begin()));
                    EXPECT_TRUE(std::all_of(device.begin() + static_cast<std::ptrdiff_t>(deviceBytes), device.end(),
                                            [](std::uint8_t b) { return b == Guard; }));

                    // Runs one sample longer than the block, with guards between and after.
                    for (std::size_t i = 0; i < deviceBytes; ++i) device[i] = static_cast<std::uint8_t>(random());
                    const std::uint32_t runLength = frames + 1;
                    std::vector<std::int32_t> captured(std::size_t{channels} * runLength + GuardSize, GuardWord);
                    kernels.capture(format, device.data(), frames, captured.data(), runLength);
                    const auto expectedRuns = ReferenceCaptureDirect(
                        container, channels,
                        std::vector<std::uint8_t>(device.begin(),
                                                  device.begin() + static_cast<std::ptrdiff_t>(deviceBytes)),
                        frames);
                    for (std::uint32_t ch = 0; ch < channels; ++ch) {
                        EXPECT_TRUE(std::equal(expectedRuns.begin() + ch * frames,
                                               expectedRuns.begin() + (ch + 1) * frames,
                                               captured.begin() + ch * runLength));
                        EXPECT_EQ(captured[ch * runLength + frames], GuardWord);
                    }
                    EXPECT_EQ(captured.back(), GuardWord);
                }
            }
        }
    }
}

TEST(DirectKernels, PaddedFramesLeaveThePaddingAlone)
{
    const DeviceFormat format{2, SampleContainer::Bits24, 8};  // two 3-byte samples in 8 bytes
    const std::int32_t runs[] = {0x11223344, 0x55667788, -1, 0};
    std::vector<std::uint8_t> device(16, Guard);
    ChooseRenderDirect(format)(format, runs, 2, 2, device.data());
    EXPECT_EQ(device, (std::vector<std::uint8_t>{0x33, 0x22, 0x11, 0xFF, 0xFF, 0xFF, Guard, Guard, 0x77, 0x66, 0x55,
                                                 0x00, 0x00, 0x00, Guard, Guard}));
    std::int32_t captured[4] = {};
    ChooseCaptureDirect(format)(format, device.data(), 2, captured, 2);
    EXPECT_EQ(captured[0], 0x11223300);
    EXPECT_EQ(captured[3], 0);
}
