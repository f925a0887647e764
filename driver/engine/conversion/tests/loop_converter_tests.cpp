// The loop converters' position rule and cache flushes, and the halves of event-mode
// looped pins.
#include <gtest/gtest.h>

#include <numeric>

#include "driver/engine/conversion/pin_converters.h"
#include "driver/engine/conversion/tests/test_pins.h"

namespace {

constexpr std::uint32_t LoopFrames = 100;

// A 48 kHz stereo 16-bit pin whose loop is its first 100 frames, position at `frame`.
struct LoopPin : TestPin {
    LoopPin(ConversionDirection direction, std::uint32_t frame) : TestPin(2, 16, 48000, 0, direction)
    {
        pin.packetData[2] = memory.data();
        pin.packetData[3] = memory.data() + LoopFrames * 4;
        pin.loopPosition = reinterpret_cast<std::uintptr_t>(memory.data() + frame * 4);
    }
    std::uint32_t PositionFrame() const
    {
        return static_cast<std::uint32_t>((pin.loopPosition - reinterpret_cast<std::uintptr_t>(memory.data())) / 4);
    }
    // Left sample of loop frame f, as the upper half of a slab word.
    std::int32_t Left(std::uint32_t f) const
    {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(memory[f * 4] | memory[f * 4 + 1] << 8) << 16);
    }
};

// Left channel of block frame f: (f + 1) in the upper half.
void FillRamp(TestStream& stream)
{
    for (std::uint32_t f = 0; f < stream.host.slab.runLength; ++f) {
        OutputRun(stream.host.slab, 0)[f] = static_cast<std::int32_t>((f + 1) << 16);
    }
}

}  // namespace

TEST(LoopConverters, RenderWrapsAndFlushesInTwoPieces)
{
    TestStream stream(32, 2, 2, 48000);
    LoopPin loop(ConversionDirection::Render, 90);
    FillRamp(stream);
    FlushRecorder::ranges.clear();
    EXPECT_EQ(RenderToLoop(stream.host, loop.pin, FlushRecorder::Record), 32u);
    EXPECT_EQ(loop.Left(90), 1 << 16);
    EXPECT_EQ(loop.Left(99), 10 << 16);
    EXPECT_EQ(loop.Left(0), 11 << 16);
    EXPECT_EQ(loop.Left(21), 32 << 16);
    EXPECT_EQ(loop.PositionFrame(), 22u);
    const std::uint8_t* base = loop.memory.data();
    ASSERT_EQ(FlushRecorder::ranges.size(), 2u);
    EXPECT_EQ(FlushRecorder::ranges[0], (std::pair<const void*, const void*>{base + 90 * 4, base + 100 * 4}));
    EXPECT_EQ(FlushRecorder::ranges[1], (std::pair<const void*, const void*>{base, base + 22 * 4}));
}

TEST(LoopConverters, RenderWritesAheadByBufferPositionAndStartDelay)
{
    TestStream stream(32, 2, 2, 48000);
    stream.host.startDelayMs = 1;
    LoopPin loop(ConversionDirection::Render, 0);
    loop.pin.bufferPositionMs = 2;
    loop.pin.measuredOffsetMs = 2;  // 1 ms ahead: 48 frames
    FillRamp(stream);
    FlushRecorder::ranges.clear();
    EXPECT_EQ(RenderToLoop(stream.host, loop.pin, FlushRecorder::Record), 32u);
    EXPECT_EQ(loop.Left(48), 1 << 16);
    EXPECT_EQ(loop.Left(79), 32 << 16);
    EXPECT_EQ(loop.PositionFrame(), 32u);  // advanced by the frames written
    ASSERT_EQ(FlushRecorder::ranges.size(), 1u);
    EXPECT_EQ(FlushRecorder::ranges[0].first, loop.memory.data() + 48 * 4);
}

TEST(LoopConverters, CaptureReadsBehindByBufferPositionLessStartDelay)
{
    TestStream stream(32, 2, 2, 48000);
    stream.host.startDelayMs = 1;
    LoopPin loop(ConversionDirection::Capture, 50);
    loop.pin.bufferPositionMs = 2;  // (2 + 0 − 1) ms behind: 48 frames, from frame 2
    for (std::uint32_t f = 0; f < LoopFrames; ++f) loop.memory[f * 4 + 1] = static_cast<std::uint8_t>(f);
    EXPECT_EQ(CaptureFromLoop(stream.host, loop.pin), 32u);
    EXPECT_EQ(InputRun(stream.host.slab, 0)[0], 2 << 24);
    EXPECT_EQ(InputRun(stream.host.slab, 0)[31], 33 << 24);
    EXPECT_EQ(loop.PositionFrame(), 82u);
}

TEST(LoopConverters, OffsetsLongerThanTheLoopStayInside)
{
    TestStream stream(32, 2, 2, 48000);
    LoopPin render(ConversionDirection::Render, 10);
    render.pin.bufferPositionMs = 1001;  // 48048 frames: 480 loops and 48 frames
    FillRamp(stream);
    EXPECT_EQ(RenderToLoop(stream.host, render.pin, nullptr), 32u);
    EXPECT_EQ(render.Left(58), 1 << 16);
    EXPECT_EQ(render.Left((58 + 31) % LoopFrames), 32 << 16);
    EXPECT_TRUE(std::all_of(render.memory.begin() + LoopFrames * 4, render.memory.end(),
                            [](std::uint8_t b) { return b == 0; }));

    LoopPin capture(ConversionDirection::Capture, 10);
    capture.pin.bufferPositionMs = 0xFFFFFFFFu;  // a setting far beyond any loop
    EXPECT_EQ(CaptureFromLoop(stream.host, capture.pin), 32u);
}

TEST(LoopConverters, EmptyOrMissingLoopsMoveNothing)
{
    TestStream stream(32, 2, 2, 48000);
    LoopPin loop(ConversionDirection::Render, 0);
    loop.pin.packetData[3] = loop.pin.packetData[2] + 3;  // less than one frame
    EXPECT_EQ(RenderToLoop(stream.host, loop.pin, nullptr), 0u);
    loop.pin.packetData[2] = nullptr;
    EXPECT_EQ(CaptureFromLoop(stream.host, loop.pin), 0u);
    loop.pin.firstSlabChannel = 1;  // its runs would end past the slab
    loop.pin.packetData[2] = loop.memory.data();
    EXPECT_EQ(RenderToPackets(stream.host, loop.pin, nullptr), 0u);
}

TEST(LoopConverters, EventModeHalvesAlternateAndRenderFlushesItsHalf)
{
    TestStream stream(32, 2, 2, 48000);
    TestPin render(2, 16, 48000, 0, ConversionDirection::Render);
    render.pin.loopHalves = true;
    render.pin.packetData[1] = render.memory.data() + 32 * 4;
    FillRamp(stream);
    FlushRecorder::ranges.clear();
    EXPECT_EQ(RenderToPackets(stream.host, render.pin, FlushRecorder::Record), 32u);
    EXPECT_EQ(RenderToPackets(stream.host, render.pin, FlushRecorder::Record), 32u);
    EXPECT_EQ(render.pin.submittedCount, 2u);
    ASSERT_EQ(FlushRecorder::ranges.size(), 2u);
    EXPECT_EQ(FlushRecorder::ranges[1],
              (std::pair<const void*, const void*>{render.memory.data() + 128, render.memory.data() + 256}));

    TestPin capture(2, 16, 48000, 0, ConversionDirection::Capture);
    capture.pin.loopHalves = true;
    capture.pin.packetData[1] = render.memory.data() + 32 * 4;
    capture.pin.convertedCount = 1;
    EXPECT_EQ(CaptureFromPackets(stream.host, capture.pin), 32u);
    EXPECT_EQ(InputRun(stream.host.slab, 0)[31], 32 << 16);
    EXPECT_EQ(capture.pin.convertedCount, 2u);
}
