// The stream comes back by itself: from a device that stalls or fails its requests,
// from pins that cannot open again, from a thread that wakes up late; and the restarts
// that need no new format keep the pins' handles.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdlib>

#include "driver/core/active_pins.h"
#include "driver/core/settings.h"
#include "driver/engine/pin_requests.h"
#include "driver/engine/starvation_watchdog.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_run.h"
#include "driver/tests/streaming_fixture.h"

namespace {

constexpr ULONG_PTR StatusCancelled = 0xC0000120;
constexpr ULONG_PTR StatusUnsuccessful = 0xC0000001;

PinRecord* ActivePinOf(ULONG dataFlow)
{
    for (DWORD index = 0; index < ActivePinCount; ++index)
        if (ActivePins[index].pin->dataFlow == dataFlow) return ActivePins[index].pin;
    return nullptr;
}

// The longest run of silent frames after the signal first came back at or after `from`.
std::size_t LongestSilenceAfterSignal(const std::vector<INT32>& input, std::size_t from)
{
    std::size_t frame = from;
    while (frame < input.size() && input[frame] == 0) ++frame;
    std::size_t longest = 0, run = 0;
    for (; frame < input.size(); ++frame) {
        run = input[frame] == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// The device's recorded output from `from` on carries the host's output channel 0 as
// sent: at least `frames` of the frames it played are sent frames in order (glitches of
// this loaded machine may break them into runs), and none is a frame never sent.
bool OutputCarriesTheSignal(const std::vector<INT32>& played, std::size_t from, std::size_t frames)
{
    // The device recorded from its plug-in on, the host sent from its start.
    constexpr long MaxLead = 4 * 48000;
    LoopbackChecker checker(0, MaxLead);
    for (std::size_t frame = 0; frame < played.size(); ++frame) checker.Add(frame < from ? 0 : played[frame]);
    checker.Finish();
    return checker.VerifiedFrames() >= frames && checker.CorruptFrames() == 0;
}

// A looped master without notifications times the switches from its position. When the
// device stops, the position stands still: that is a stall, as a silent wait is.
TEST_F(StreamRestart, ALoopedPolledMasterOfAStalledDevice)
{
    StartStreaming(AnalogueCodec(), 256);
    ASSERT_NE(Stream.master, nullptr);
    ASSERT_EQ(Stream.master->notificationEvent, nullptr);
    LONG before = Restarts(RestartCause::Stall);
    sim::SetClockStalled(0, true);
    EXPECT_TRUE(AwaitRestart(RestartCause::Stall, before, 4000)) << "a stalled polled master never restarts";
    sim::SetClockStalled(0, false);
    ExpectRestartAndRecovery(RestartCause::Stall, before);
}

// An event-mode master whose reopen could not have its notifications runs polled; it
// must stall into a restart all the same, and get its notifications back there.
TEST_F(StreamRestart, AnEventMasterThatFellBackToPolling)
{
    StartStreaming(AnalogueCodec(true), 256, {}, AllowNotifications);
    PinRecord* master = Stream.master;
    ASSERT_NE(master, nullptr);
    ASSERT_NE(master->notificationEvent, nullptr);
    // The master reopens first; the render pin then runs polled too, asking for no
    // notifications.
    sim::FailPinProperty(0, KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_BUFFER_WITH_NOTIFICATION, ERROR_NOT_SUPPORTED, 1);
    LONG stalls = Restarts(RestartCause::Stall);
    sim::SetClockStalled(0, true);
    ASSERT_TRUE(AwaitRestart(RestartCause::Stall, stalls, 4000));
    sim::SetClockStalled(0, false);
    ASSERT_TRUE(StreamFor(0.3, 48000, 256));
    ASSERT_EQ(master->notificationEvent, nullptr) << "the reopened master runs polled";
    for (DWORD index = 0; index < ActivePinCount; ++index)
        EXPECT_EQ(ActivePins[index].pin->notificationEvent, nullptr) << "a pin that no notification paces notifies";

    stalls = Restarts(RestartCause::Stall);
    sim::SetClockStalled(0, true);
    EXPECT_TRUE(AwaitRestart(RestartCause::Stall, stalls, 4000)) << "the polled master never restarts";
    sim::SetClockStalled(0, false);
    long recovered = host.Switches();
    ASSERT_TRUE(AwaitRestart(RestartCause::Stall, stalls, 1));
    ASSERT_TRUE(StreamFor(0.5, 48000, 256));
    EXPECT_NE(master->notificationEvent, nullptr) << "notifications are back";
    host.Driver()->stop();
    ExpectSignalReturnsAfter(recovered);
}

// A master that cannot open has no time to give: the thread keeps restarting until it
// opens again.
TEST_F(StreamRestart, ALoopedMasterThatCannotReopen)
{
    StartStreaming(AnalogueCodec(), 256);
    ASSERT_NE(Stream.master, nullptr);
    // All attempts of the next restart fail (five, and one more once the render pin
    // opened); the restart after it succeeds.
    sim::FailPinCreation(0, KSPIN_DATAFLOW_OUT, ERROR_GEN_FAILURE, 6);
    LONG stalls = Restarts(RestartCause::Stall);
    sim::SetClockStalled(0, true);
    ASSERT_TRUE(AwaitRestart(RestartCause::Stall, stalls, 4000));
    sim::SetClockStalled(0, false);
    EXPECT_TRUE(AwaitRestart(RestartCause::Stall, stalls + 1, 6000)) << "the thread waits on a closed master";
    ExpectRestartAndRecovery(RestartCause::Stall, stalls + 1);
}

// A capture pin that cannot open paces nothing: the outputs play on, timed by the
// render pins' own completions, and the host keeps getting its switches. The pin is
// tried again now and then, and the stream takes it back once it opens.
TEST_F(StreamRestart, ACapturePinThatCannotReopenLeavesTheOutputsPlaying)
{
    PlugIn(ProductDevice());
    sim::AnalogueSide side;
    side.inputs = sim::InputSource::Loopback;
    side.loopbackLatencyFrames = LoopbackLatencyFrames;
    side.recordOutputs = true;
    ASSERT_TRUE(sim::SetAnalogueSide(0, side));
    ASSERT_TRUE(OpenHost(256, 48000));
    Start();
    ASSERT_TRUE(StreamFor(0.3, 48000, 256));

    // Five attempts at the restart, one more once the render pin opened, then two
    // seconds of retries while the outputs play alone.
    sim::FailPinCreation(0, KSPIN_DATAFLOW_OUT, ERROR_GEN_FAILURE, 10);
    LONG stalls = Restarts(RestartCause::Stall);
    LONG returns = Restarts(RestartCause::PinReturned);
    sim::SetClockStalled(0, true);
    ASSERT_TRUE(AwaitRestart(RestartCause::Stall, stalls, 4000));
    sim::SetClockStalled(0, false);
    // The restart closes both pins; the render pin opens, the capture pin does not.
    auto renderAlone = [] {
        return IsPinOpen(ActivePinOf(KSPIN_DATAFLOW_IN)) && !IsPinOpen(ActivePinOf(KSPIN_DATAFLOW_OUT));
    };
    DWORD start = GetTickCount();
    while (!renderAlone() && GetTickCount() - start < 5000) Sleep(10);
    ASSERT_TRUE(renderAlone());
    std::size_t playedBefore = sim::RecordedOutput(0, 0).size();
    EXPECT_TRUE(StreamFor(0.5, 48000, 256)) << "no switches without the capture pin; " << RestartSummary();
    EXPECT_EQ(Restarts(RestartCause::PinReturned), returns) << "the capture pin came back too soon to tell";
    EXPECT_TRUE(OutputCarriesTheSignal(sim::RecordedOutput(0, 0), playedBefore, 4 * 256))
        << "the outputs are silent without the capture pin";

    ExpectRestartAndRecovery(RestartCause::PinReturned, returns, 5000);
    EXPECT_EQ(Restarts(RestartCause::Stall), stalls + 1) << "the outputs stalled";
}

// A pin that gave up while another opened met its device on the way back, or failed
// for a moment: it is tried once more, so that the stream does not start without it.
TEST_F(StreamRestart, APinThatGaveUpWhileAnotherOpenedIsTriedAgain)
{
    for (ULONG dataFlow : {ULONG(KSPIN_DATAFLOW_OUT), ULONG(KSPIN_DATAFLOW_IN)}) {
        SCOPED_TRACE(dataFlow == KSPIN_DATAFLOW_OUT ? "capture" : "render");
        StartStreaming(ProductDevice(), 256);
        // The five attempts of the next restart fail.
        sim::FailPinCreation(0, dataFlow, ERROR_GEN_FAILURE, 5);
        LONG stalls = Restarts(RestartCause::Stall);
        LONG returns = Restarts(RestartCause::PinReturned);
        sim::SetClockStalled(0, true);
        ASSERT_TRUE(AwaitRestart(RestartCause::Stall, stalls, 4000));
        sim::SetClockStalled(0, false);
        long recovered = host.Switches();
        ASSERT_TRUE(StreamFor(1.0, 48000, 256)) << RestartSummary();
        EXPECT_TRUE(IsPinOpen(ActivePinOf(dataFlow)));
        EXPECT_EQ(Restarts(RestartCause::Stall), stalls + 1);
        EXPECT_EQ(Restarts(RestartCause::PinReturned), returns) << "the pin came back only with another restart";
        host.Driver()->stop();
        ExpectSignalReturnsAfter(recovered);
        EndCase();
    }
}

// A capture request the device gave back, whole or in part, delivered nothing beyond its
// DataUsed: the host hears silence there, not what the packet held eight blocks ago.
TEST_F(StreamRestart, WhatACaptureRequestDidNotDeliverIsSilence)
{
    const long bufferSize = 256;
    struct Case {
        const char* name;
        ULONG_PTR status;
        ULONG deliveredFrames;
    } cases[] = {{"cancelled untouched", StatusCancelled, 0}, {"short delivery", 0, bufferSize / 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartStreaming(ProductDevice(), bufferSize);
        PinRecord* capture = ActivePinOf(KSPIN_DATAFLOW_OUT);
        ASSERT_NE(capture, nullptr);
        // A glitch shows in the inputs a round trip after it happened: the inputs are
        // checked from a while after the mark on.
        DisturbanceMark mark;
        LONG restarts = AllRestarts();
        ASSERT_TRUE(StreamFor(0.1, 48000, bufferSize));
        std::size_t from = std::size_t(host.Switches()) * bufferSize;
        sim::EndStreamRequests(0, KSPIN_DATAFLOW_OUT, c.status, c.deliveredFrames * PinWaveFormat(capture)->blockAlign,
                               1);
        ASSERT_TRUE(StreamFor(0.5, 48000, bufferSize));
        host.Driver()->stop();
        EXPECT_EQ(AllRestarts(), restarts) << "a request given back is no device failure";
        // From a block before the fault, while the signal flowed; what came before is the
        // start's business.
        std::vector<INT32> input = host.RecordedInput(0);
        EXPECT_GE(LongestSilenceAfterSignal(input, from - bufferSize), std::size_t(bufferSize - c.deliveredFrames))
            << "stale frames where the request delivered none";
        std::fill(input.begin(), input.begin() + std::ptrdiff_t(std::min(from, input.size())), 0);
        LoopbackCheck check = CheckLoopback(input, 0, 8 * bufferSize + 4096);
        EXPECT_FALSE(check.corrupt);
        Disturbances disturbances = mark.Since();
        EXPECT_LE(check.discontinuities, disturbances.total) << disturbances.text;
        EndCase();
    }
}

// A stream request that fails is a device failing: the stream restarts with its pins
// opened anew, and the signal comes back.
TEST_F(StreamRestart, AFailedStreamRequest)
{
    for (ULONG dataFlow : {ULONG(KSPIN_DATAFLOW_OUT), ULONG(KSPIN_DATAFLOW_IN)}) {
        SCOPED_TRACE(dataFlow == KSPIN_DATAFLOW_OUT ? "capture" : "render");
        StartStreaming(ProductDevice(), 256);
        LONG before = Restarts(RestartCause::DeviceError);
        LONG reopens = StreamReopens;
        sim::EndStreamRequests(0, dataFlow, StatusUnsuccessful, 0, 1);
        ExpectRestartAndRecovery(RestartCause::DeviceError, before, 3000);
        EXPECT_EQ(StreamReopens, reopens + 1);
        EndCase();
    }
}

// While a capture packet waits for its switch (the render queue is full), it stays the
// driver's: were it queued again, the device would write the next frames into it
// before it is converted.
TEST_F(StreamRestart, ACapturePacketWaitingForItsSwitchIsNotQueuedAgain)
{
    StartStreaming(ProductDevice(), 2048);
    PinRecord* capture = ActivePinOf(KSPIN_DATAFLOW_OUT);
    ASSERT_NE(capture, nullptr);
    LONG backlogs = Restarts(RestartCause::CaptureBacklog);
    sim::SetPinsStalled(0, KSPIN_DATAFLOW_IN, true);
    DWORD mostWaiting = 0;
    DWORD start = GetTickCount();
    while (Restarts(RestartCause::CaptureBacklog) == backlogs && GetTickCount() - start < 5000) {
        // Resubmission follows conversion: read what was queued again first.
        DWORD resubmitted = capture->conversion.submittedCount;
        DWORD converted = capture->conversion.convertedCount;
        DWORD completed = capture->completedCount;
        EXPECT_LE(LONG(resubmitted - converted), 0) << "a packet went back to the device before its switch";
        mostWaiting = std::max(mostWaiting, completed - converted);
        Sleep(2);
    }
    sim::SetPinsStalled(0, KSPIN_DATAFLOW_IN, false);
    EXPECT_GE(mostWaiting, 2u) << "the render queue never held capture packets back";
    ExpectRestartAndRecovery(RestartCause::CaptureBacklog, backlogs);
}

// Restarts for causes that need no new format go back to the start on the pins' open
// handles; a pin that does not follow has every pin opened anew instead.
TEST_F(StreamRestart, TimingCausesRestartOnTheOpenHandles)
{
    for (bool stopFails : {false, true}) {
        SCOPED_TRACE(stopFails ? "the soft restart fails" : "soft restart");
        StoreDefaultsValue("Flags", GlobalFlagStarvationWatchdog);
        StartStreaming(ProductDevice(), 256);
        LONG before = Restarts(RestartCause::Starvation);
        LONG reopens = StreamReopens;
        unsigned creations = sim::Counters().Calls(sim::Operation::KsCreatePin);
        if (stopFails) sim::FailPinStateChange(0, KSPIN_DATAFLOW_IN, KSSTATE_STOP, ERROR_GEN_FAILURE, 1);
        DWORD start = GetTickCount();
        while (Restarts(RestartCause::Starvation) == before && GetTickCount() - start < 3000) {
            HeartbeatTime = timeGetTime() - 1000;
            Sleep(1);
        }
        ExpectRestartAndRecovery(RestartCause::Starvation, before);
        EXPECT_EQ(StreamReopens, reopens + (stopFails ? 1 : 0));
        EXPECT_EQ(sim::Counters().Calls(sim::Operation::KsCreatePin) > creations, stopFails);
        EndCase();
    }
}

// At 64 frames a host that returns late from one bufferSwitch, or a thread woken late
// once, costs a glitch the device counts at most, and never a restart.
TEST_F(StreamRestart, ALateWakeUpAtSmallBlocksCostsNoRestart)
{
    for (DWORD lateMs : {2u, 30u}) {
        SCOPED_TRACE(std::to_string(lateMs) + " ms late");
        HostHabits habits;
        habits.sleepInSwitchMs = lateMs;
        habits.sleepAtSwitch = 300;
        PlugIn(ProductDevice());
        ASSERT_TRUE(OpenHost(64, 48000, habits));
        DisturbanceMark mark;
        Start();
        ASSERT_TRUE(StreamFor(1.5, 48000, 64)) << RestartSummary();
        host.Driver()->stop();
        Disturbances disturbances = mark.Since();
        EXPECT_EQ(disturbances.restarts, 0u) << disturbances.text;
        LoopbackCheck check = CheckLoopback(host.RecordedInput(0), 0, 8 * 64 + 4096);
        EXPECT_FALSE(check.corrupt);
        EXPECT_LE(check.discontinuities, disturbances.total) << disturbances.text;
        EndCase();
    }
}

}  // namespace

// The render direction stands still for more than a second while capture goes on: the
// queue rules restart the stream, and its render queue fills again behind the stalled
// device. Once the device plays again, the queue is trimmed back to its depth, so the
// round trip is what it was before within a few blocks, not the full queue's worth.
TEST_F(StreamRestart, ARenderDirectionThatStoodStillGetsItsRoundTripBack)
{
    constexpr long Block = 1024;
    PlugIn(ProductDevice());
    ASSERT_TRUE(OpenHost(Block, 44100));
    Start();
    ASSERT_TRUE(StreamFor(1.0, 44100, Block));
    sim::SetPinsStalled(0, KSPIN_DATAFLOW_IN, true);
    Sleep(1400);
    sim::SetPinsStalled(0, KSPIN_DATAFLOW_IN, false);
    long unstalledAt = host.Switches();
    ASSERT_TRUE(StreamFor(1.5, 44100, Block));
    host.Driver()->stop();

    std::vector<INT32> input = host.RecordedInput(0);
    long before = FindRoundTrip(input, 0, 0, 40000);
    long after = FindRoundTrip(input, 0, std::size_t(unstalledAt + 24) * Block, 40000);
    ASSERT_GE(before, 0);
    ASSERT_GE(after, 0) << "the signal does not come back";
    EXPECT_LE(std::labs(after - before), 2 * Block)
        << "round trip " << before << " frames before the stall, " << after << " after it; " << RestartSummary();
}
