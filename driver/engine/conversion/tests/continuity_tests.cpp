// A long ramp through render, the device and capture in packets sized by PacketFrames, in
// blocks of several sizes: every packet holds exactly what the converters made of its
// block, and the ramp comes out whole, delayed by 32 host frames.
#include <gtest/gtest.h>

#include <cmath>

#include "driver/engine/conversion/packet_frames.h"
#include "driver/engine/conversion/pin_converters.h"
#include "driver/engine/conversion/rate_tables.h"
#include "driver/engine/conversion/tests/test_pins.h"

namespace {

constexpr std::uint32_t RampFrames = 30000;
constexpr std::int64_t RampStart = -1932735283;  // −0.9 of full scale
constexpr std::int64_t RampStep = 128849;        // to +0.9 over the ramp
// Render delays by 2640 time units and capture by 2480: 5120 units, 32 host frames.
constexpr std::uint32_t ChainDelay = 32;

std::int32_t Ramp(std::int64_t frame, std::uint32_t channel)
{
    const std::int64_t value = RampStart + RampStep * frame;
    return static_cast<std::int32_t>(channel == 0 ? value : -value - 1);
}

// Runs the ramp through a stereo render pin looped back into a stereo capture pin.
std::vector<std::int32_t> RunChain(std::uint32_t block)
{
    EXPECT_TRUE(BuildRateTables(44100, true, block));
    TestStream stream(block, 2, 2, 44100);
    TestPin render(2, 24, 48000, 0, ConversionDirection::Render);
    TestPin capture(2, 24, 48000, 0, ConversionDirection::Capture);
    render.pin.rateTableIndex = 147;  // after the silent priming packets
    std::vector<std::int32_t> received;
    for (std::uint32_t start = 0; start < RampFrames; start += block) {
        for (std::uint32_t f = 0; f < block; ++f) {
            for (std::uint32_t ch = 0; ch < 2; ++ch) {
                OutputRun(stream.host.slab, ch)[f] = Ramp(start + f, ch);
            }
        }
        std::uint8_t* renderPacket = render.Slot(render.pin.submittedCount % 8);
        const std::uint32_t produced = RenderToPackets(stream.host, render.pin, nullptr);
        EXPECT_EQ(PacketFrames(stream.host, render.pin), produced) << "render block at " << start;
        ++render.pin.submittedCount;

        const std::uint32_t packetFrames = PacketFrames(stream.host, capture.pin);
        EXPECT_EQ(packetFrames, produced) << "capture block at " << start;
        std::copy_n(renderPacket, std::size_t{packetFrames} * 6, capture.Slot(capture.pin.convertedCount % 8));
        EXPECT_EQ(CaptureFromPackets(stream.host, capture.pin), packetFrames) << "capture block at " << start;
        for (std::uint32_t f = 0; f < block; ++f) {
            received.push_back(InputRun(stream.host.slab, 0)[f]);
            received.push_back(InputRun(stream.host.slab, 1)[f]);
        }
    }
    return received;
}

}  // namespace

TEST(Continuity, RampSurvivesRenderAndCaptureWhole)
{
    const std::vector<std::int32_t> whole = RunChain(2048);
    for (std::uint32_t f = 200; f < RampFrames; ++f) {
        for (std::uint32_t ch = 0; ch < 2; ++ch) {
            // A dropped or repeated frame would be off by a whole step.
            ASSERT_LT(std::llabs(whole[2 * f + ch] - std::int64_t{Ramp(f - ChainDelay, ch)}), RampStep / 4)
                << "frame " << f << " channel " << ch;
        }
    }
    for (std::uint32_t block : {64u, 100u, 147u, 256u, 333u}) {
        const std::vector<std::int32_t> blocks = RunChain(block);
        const std::size_t common = std::min(blocks.size(), whole.size());
        EXPECT_TRUE(std::equal(blocks.begin(), blocks.begin() + static_cast<std::ptrdiff_t>(common), whole.begin()))
            << "blocks of " << block << " changed the result";
    }
}

TEST(Continuity, LargePacketsHoldTheirBlocksConverted)
{
    constexpr std::uint32_t block = 100;
    ASSERT_TRUE(BuildRateTables(44100, true, block));
    TestStream stream(block, 2, 2, 44100);
    stream.host.blocksPerLargePacket = RateFrameTables().blocksPerLargePacket;
    TestPin render(2, 16, 48000, 0, ConversionDirection::Render, 4096);
    render.pin.largePacketMode = true;
    std::uint8_t* middle = render.memory.data() + render.memory.size() / 2;
    render.pin.packetData[1] = middle;
    for (int packet = 0; packet < 300; ++packet) {
        const std::uint32_t frames = PacketFrames(stream.host, render.pin);
        // Even packets end at the middle of the area, odd ones start there.
        EXPECT_EQ(render.pin.packetData[packet % 2 ? 3 : 2], packet % 2 ? middle + frames * 4 : middle - frames * 4);
        std::uint32_t written = 0;
        for (std::uint32_t b = 0; b < stream.host.blocksPerLargePacket; ++b) {
            written += RenderToLoop(stream.host, render.pin, nullptr);
        }
        ASSERT_EQ(written, frames) << "packet " << packet;
        ++render.pin.submittedCount;
    }
    EXPECT_EQ(render.pin.rateTableIndex, 300u % 147);
}

TEST(Continuity, PacketsOfPinsAtTheHostRateAreWholeBlocks)
{
    TestStream stream(256, 2, 2, 48000);
    stream.host.blocksPerLargePacket = 32;
    TestPin pin(2, 16, 48000, 0, ConversionDirection::Render);
    pin.pin.packetData[1] = pin.memory.data() + 8192 * 4;
    EXPECT_EQ(PacketFrames(stream.host, pin.pin), 256u);
    pin.pin.largePacketMode = true;
    EXPECT_EQ(PacketFrames(stream.host, pin.pin), 8192u);
    EXPECT_EQ(pin.pin.packetData[2], pin.memory.data());
    EXPECT_EQ(pin.pin.rateTableIndex, 0u);
}
