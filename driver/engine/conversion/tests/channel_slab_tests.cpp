#include <gtest/gtest.h>

#include "driver/engine/conversion/channel_slab.h"
#include "driver/engine/conversion/pin_converters.h"
#include "driver/engine/conversion/tests/test_pins.h"

TEST(ChannelSlab, EachDirectionHasAtLeastTwoRuns)
{
    std::int32_t samples[64];
    const ChannelSlabLayout noOutputs = MakeChannelSlabLayout(samples, 8, 0, 2);
    EXPECT_EQ(noOutputs.outputRuns, 2u);
    EXPECT_EQ(InputRun(noOutputs, 0), samples + 2 * 8);  // the first input is run 2
    EXPECT_EQ(SlabWords(noOutputs), 32u);

    const ChannelSlabLayout noInputs = MakeChannelSlabLayout(samples, 8, 4, 0);
    EXPECT_EQ(noInputs.inputRuns, 2u);
    EXPECT_EQ(InputRun(noInputs, 1), samples + 5 * 8);
}

TEST(ChannelSlab, OddPinsOwnAPadRunThatMustFit)
{
    std::int32_t samples[64];
    const ChannelSlabLayout layout = MakeChannelSlabLayout(samples, 4, 2, 4);
    EXPECT_EQ(PinRunCount(1), 2u);
    EXPECT_EQ(PinRunCount(8), 8u);
    EXPECT_TRUE(PinFitsInputRuns(layout, 2, 1));
    EXPECT_FALSE(PinFitsInputRuns(layout, 3, 1));  // its pad run would be run 4 of 4
    EXPECT_FALSE(PinFitsOutputRuns(layout, 0, 3));
    EXPECT_FALSE(PinFitsOutputRuns(layout, 0, 0));
}

TEST(ChannelSlab, MonoCapturePinFillsTwoHostChannels)
{
    TestStream stream(4, 2, 4, 48000);
    TestPin mono(1, 16, 48000, 2, ConversionDirection::Capture);
    const std::uint8_t packet[] = {0x01, 0x00, 0x02, 0x00, 0x03, 0x80, 0xFF, 0x7F};
    std::copy(std::begin(packet), std::end(packet), mono.Slot(0));

    ASSERT_EQ(CaptureFromPackets(stream.host, mono.pin), 4u);
    CopyPadChannel(stream.host.slab, mono.pin.firstSlabChannel, mono.pin.channels);

    const std::int32_t expected[] = {0x00010000, 0x00020000, static_cast<std::int32_t>(0x80030000), 0x7FFF0000};
    for (std::uint32_t run : {2u, 3u}) {
        const std::int32_t* samples = InputRun(stream.host.slab, run);
        EXPECT_EQ(std::vector<std::int32_t>(samples, samples + 4),
                  std::vector<std::int32_t>(std::begin(expected), std::end(expected)));
    }
    EXPECT_EQ(InputRun(stream.host.slab, 1)[0], 0);  // runs of other pins stay
}

TEST(ChannelSlab, PadCopyLeavesEvenPinsAlone)
{
    std::vector<std::int32_t> samples(4 * 6, 7);
    const ChannelSlabLayout layout = MakeChannelSlabLayout(samples.data(), 4, 2, 4);
    InputRun(layout, 1)[0] = 1;
    CopyPadChannel(layout, 0, 2);
    EXPECT_EQ(InputRun(layout, 2)[0], 7);
}
