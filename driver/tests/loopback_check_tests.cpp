// The loopback check that every streaming test and the soak stand on: what a glitch may
// do to the returning signal (drop, repeat, insert silence) passes, a frame that was
// never sent does not.
#include <gtest/gtest.h>

#include <vector>

#include "driver/loopback_host/loopback_check.h"

namespace {

constexpr long MaxDelay = 4096;

// `count` input frames carry the sent frames from `firstSent` on.
void AppendSent(std::vector<INT32>& input, ULONGLONG firstSent, std::size_t count)
{
    for (std::size_t frame = 0; frame < count; ++frame) input.push_back(LoopbackSignal(firstSent + frame, 0));
}

void AppendSilence(std::vector<INT32>& input, std::size_t count)
{
    input.insert(input.end(), count, 0);
}

// Silence while the signal travels, then the signal at round trip `delay` for `count` frames.
std::vector<INT32> Returning(long delay, std::size_t count)
{
    std::vector<INT32> input;
    AppendSilence(input, std::size_t(delay));
    AppendSent(input, 0, count);
    return input;
}

TEST(LoopbackCheck, AnUndisturbedSignalHasItsRoundTripAndNoJump)
{
    LoopbackCheck check = CheckLoopback(Returning(300, 5000), 0, MaxDelay);
    EXPECT_EQ(check.roundTrip, 300);
    EXPECT_EQ(check.discontinuities, 0u);
    EXPECT_FALSE(check.corrupt);
}

TEST(LoopbackCheck, SilenceOfARenderQueueThatRanDryIsNoJump)
{
    std::vector<INT32> input = Returning(300, 1000);
    AppendSilence(input, 28);
    AppendSent(input, 1000, 1000);
    LoopbackCheck check = CheckLoopback(input, 0, MaxDelay);
    EXPECT_EQ(check.discontinuities, 0u);
    EXPECT_FALSE(check.corrupt);
}

TEST(LoopbackCheck, DroppedAndRepeatedFramesAreJumpsNotCorruption)
{
    std::vector<INT32> input = Returning(300, 1000);
    AppendSent(input, 1000 + 64, 1000);   // a block lost
    AppendSent(input, 2064 - 128, 1000);  // two blocks again
    LoopbackCheck check = CheckLoopback(input, 0, MaxDelay);
    EXPECT_EQ(check.discontinuities, 2u);
    EXPECT_FALSE(check.corrupt);
}

// Seen at 44100 Hz and 64 frames: a capture packet that begins after lost frames holds
// four sent frames, then the silence of a render queue that ran dry, then the frames
// that follow those four. No window of eight frames lies between the two glitches.
TEST(LoopbackCheck, AShortRunBeforeSilenceAfterAJumpIsNoCorruption)
{
    std::vector<INT32> input = Returning(544, 99392 - 544);
    ULONGLONG sent = 99392 - 544;
    AppendSent(input, sent + 28, 4);
    AppendSilence(input, 28);
    AppendSent(input, sent + 32, 2000);
    LoopbackCheck check = CheckLoopback(input, 0, MaxDelay);
    EXPECT_FALSE(check.corrupt);
    EXPECT_EQ(check.discontinuities, 1u);
}

TEST(LoopbackCheck, TwoJumpsAFewFramesApartAreBothCounted)
{
    std::vector<INT32> input = Returning(300, 1000);
    AppendSent(input, 500, 3);
    AppendSent(input, 800, 1000);
    LoopbackCheck check = CheckLoopback(input, 0, MaxDelay);
    EXPECT_FALSE(check.corrupt);
    EXPECT_EQ(check.discontinuities, 2u);
}

TEST(LoopbackCheck, FramesThatWereNeverSentAreCorrupt)
{
    struct Case {
        const char* name;
        INT32 (*make)(ULONGLONG sent);
    } cases[] = {
        {"bits below the signal's", [](ULONGLONG sent) { return INT32(LoopbackSignal(sent, 0) | 0x100); }},
        {"another channel's signal", [](ULONGLONG sent) { return LoopbackSignal(sent, 1); }},
        // A packet converted while the device was writing it again carries frames
        // that are sent only later.
        {"frames from the future", [](ULONGLONG sent) { return LoopbackSignal(sent + 5000, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<INT32> input = Returning(300, 1000);
        for (ULONGLONG sent = 1000; sent < 1064; ++sent) input.push_back(c.make(sent));
        AppendSent(input, 1064, 1000);
        EXPECT_TRUE(CheckLoopback(input, 0, MaxDelay).corrupt);
    }
}

TEST(LoopbackCheck, ASentFrameThatIsZeroPassesAsSilence)
{
    ULONGLONG zero = 1;
    while (LoopbackSignal(zero, 0) != 0) ++zero;
    std::vector<INT32> input;
    AppendSilence(input, std::size_t(zero) - 200);
    AppendSent(input, zero - 500, 1000);
    LoopbackCheck check = CheckLoopback(input, 0, MaxDelay);
    EXPECT_EQ(check.discontinuities, 0u);
    EXPECT_FALSE(check.corrupt);
}

TEST(LoopbackCheck, TheRunAfterTheLastJumpIsFollowedFrameByFrame)
{
    LoopbackChecker checker(0, MaxDelay);
    std::vector<INT32> input = Returning(300, 1000);
    AppendSent(input, 1100, 500);
    for (INT32 sample : input) checker.Add(sample);
    EXPECT_EQ(checker.RunStart(), 1300);
    EXPECT_EQ(checker.LastVerified(), LONGLONG(input.size()) - 1);
    EXPECT_EQ(checker.Frames(), input.size());
    EXPECT_EQ(checker.Discontinuities(), 1u);
}

}  // namespace
