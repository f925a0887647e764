// The driver streaming through the simulator's clocked devices, in-process: a host
// plays a known signal, the device loops it back, and the host checks every frame that
// returns; restarts are provoked through the simulator's faults and the host's habits.
// The product streams on its USB audio class driver's packet pins and, as the QORDA-8
// does on Windows 10 and later, on the USB Audio 2.0 class driver's looped pins.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <tuple>

#include "driver/core/active_pins.h"
#include "driver/core/settings.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/starvation_watchdog.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_run.h"
#include "driver/engine/streaming_thread.h"
#include "driver/tests/streaming_fixture.h"
#include "hardware_simulator/simulator_state.h"

namespace {

struct LoopbackCase {
    double rate;
    long bufferSize;
};

void PrintTo(const LoopbackCase& c, std::ostream* out)
{
    *out << c.rate << " Hz, " << c.bufferSize << " frames";
}

class LoopbackStreaming : public Streaming,
                          public testing::WithParamInterface<std::tuple<StreamedDevice, LoopbackCase>> {};

// Every frame returns as it was sent. The stream may glitch where this machine's
// scheduling leaves it too little margin (Wine gives no real-time priority; how often is
// the streaming benchmark's business): the signal may jump there, but only where the
// device counted a glitch, the stream restarted or a render block was left out.
TEST_P(LoopbackStreaming, TheSignalComesBackBitExact)
{
    const LoopbackCase param = std::get<1>(GetParam());
    PlugIn(std::get<0>(GetParam()).make());
    const bool notifying = std::get<0>(GetParam()).notifying;
    void (*edit)(DeviceRecord*) = [](DeviceRecord* device) { device->kernelBuffers = 4; };
    if (notifying)
        edit = [](DeviceRecord* device) {
            device->kernelBuffers = 4;
            AllowNotifications(device);
        };
    ASSERT_TRUE(OpenHost(param.bufferSize, param.rate, {}, edit));
    long inputLatency = 0, outputLatency = 0;
    ASSERT_EQ(host.Driver()->getLatencies(&inputLatency, &outputLatency), ASE_OK);
    DisturbanceMark mark;
    Start();
    ASSERT_TRUE(StreamFor(2.0, param.rate, param.bufferSize))
        << RestartSummary() << "; " << host.Switches() << " switches";
    for (DWORD index = 0; notifying && index < ActivePinCount; ++index)
        EXPECT_NE(ActivePins[index].pin->notificationEvent, nullptr) << "every pin streams in event mode";
    host.Driver()->stop();

    LoopbackCheck check = CheckLoopback(host.RecordedInput(0), 0, 8 * param.bufferSize + 4096);
    ASSERT_GE(check.roundTrip, 0) << "the signal sent never came back";
    EXPECT_FALSE(check.corrupt) << "frames that the host never sent";
    Disturbances disturbances = mark.Since();
    unsigned jumpsAllowed =
        disturbances.total + (std::get<0>(GetParam()).jumpsPerStarvation - 1) * disturbances.starvations;
    EXPECT_LE(check.discontinuities, jumpsAllowed)
        << "the signal jumped where nothing disturbed the stream; " << disturbances.text;

    std::vector<SwitchTiming> timings = host.Timings();
    for (std::size_t number = 0; number < timings.size(); ++number) {
        ASSERT_EQ(timings[number].index, long(number % 2)) << "switch " << number;
        ASSERT_EQ(timings[number].samplePosition, ULONGLONG(number) * param.bufferSize) << "switch " << number;
    }
    std::printf(
        "[ round trip ] %s, %.0f Hz, %ld frames: measured %ld frames (device loop %lu), "
        "reported input %ld + output %ld = %ld; %u glitches, %u jumps\n",
        std::get<0>(GetParam()).name, param.rate, param.bufferSize, check.roundTrip, LoopbackLatencyFrames,
        inputLatency, outputLatency, inputLatency + outputLatency, disturbances.total, check.discontinuities);
}

std::string LoopbackCaseName(const testing::TestParamInfo<std::tuple<StreamedDevice, LoopbackCase>>& info)
{
    const LoopbackCase& c = std::get<1>(info.param);
    return std::string(std::get<0>(info.param).name) + "_" + std::to_string(long(c.rate)) + "Hz_" +
           std::to_string(c.bufferSize);
}

INSTANTIATE_TEST_SUITE_P(RatesAndBlockSizes, LoopbackStreaming,
                         testing::Combine(testing::Values(OnPackets),
                                          testing::Values(LoopbackCase{48000, 64}, LoopbackCase{48000, 256},
                                                          LoopbackCase{48000, 2048}, LoopbackCase{44100, 64},
                                                          LoopbackCase{44100, 256}, LoopbackCase{44100, 2048})),
                         LoopbackCaseName);
// Looped pins in event mode, paced by the capture pin's notifications while the render
// pin, started a moment later, follows: the codec at the smallest block at both rates, a
// middle and the largest; the USB Audio 2.0 class driver, whose buffers are whole
// milliseconds, at the smallest and largest sizes that make its halves whole blocks (at
// 48000 Hz only).
INSTANTIATE_TEST_SUITE_P(EventRatesAndBlockSizes, LoopbackStreaming,
                         testing::Combine(testing::Values(OnCodecEvents),
                                          testing::Values(LoopbackCase{48000, 64}, LoopbackCase{44100, 64},
                                                          LoopbackCase{48000, 256}, LoopbackCase{44100, 2048})),
                         LoopbackCaseName);
INSTANTIATE_TEST_SUITE_P(EventBlockSizes, LoopbackStreaming,
                         testing::Combine(testing::Values(OnUsbAudio2Events),
                                          testing::Values(LoopbackCase{48000, 96}, LoopbackCase{48000, 1920})),
                         LoopbackCaseName);
// Looped pins: the smallest block at one rate, a middle and the largest at the other.
INSTANTIATE_TEST_SUITE_P(LoopedRatesAndBlockSizes, LoopbackStreaming,
                         testing::Combine(testing::Values(OnUsbAudio2),
                                          testing::Values(LoopbackCase{48000, 64}, LoopbackCase{44100, 256},
                                                          LoopbackCase{44100, 2048})),
                         LoopbackCaseName);

TEST_F(Streaming, AHostAt44100HearsThe48kHeadsetThroughBothConverters)
{
    PlugIn(sim::UsbHeadset());
    HostHabits habits;
    habits.sineHz = 997;
    habits.sineAmplitude = 0.5;
    ASSERT_TRUE(OpenHost(256, 44100, habits));
    ASSERT_GT(ActivePinCount, 0u);
    EXPECT_EQ(PinWaveFormat(ActivePins[0].pin)->samplesPerSec, 48000u) << "the headset runs at 48 kHz";
    DisturbanceMark mark;
    Start();
    ASSERT_TRUE(StreamFor(2.0, 44100, 256));
    host.Driver()->stop();

    std::vector<INT32> input = host.RecordedInput(0);
    ASSERT_GT(input.size(), 44100u);
    // Past the start, where the converters' filters have filled: a steady sine. A sine
    // never steps further between two frames than its steepest slope; a dropped or
    // repeated block jumps further, and a restart leaves a run of silence. Each such
    // break must be one the device counted or a restart; the gain is measured over the
    // longest stretch between breaks.
    const double steepest = 2 * 3.14159265358979323846 * 997 / 44100 * 0.5;
    constexpr std::size_t SilentRun = 8;
    constexpr std::size_t OneBreak = 1024;  // breaks closer together are one disturbance
    auto sampleAt = [&](std::size_t frame) { return input[frame] / 2147483648.0; };
    const std::size_t from = input.size() / 2;
    std::size_t stretchStart = from, bestStart = from, bestEnd = from, breaks = 0, lastBreak = 0, silent = 0;
    for (std::size_t frame = from + 1; frame <= input.size(); ++frame) {
        bool broken = frame == input.size();
        if (!broken) {
            silent = std::fabs(sampleAt(frame)) < 1.0 / 4096 ? silent + 1 : 0;
            broken = silent >= SilentRun || std::fabs(sampleAt(frame) - sampleAt(frame - 1)) > steepest * 1.1;
        }
        if (!broken) continue;
        std::size_t stretchEnd = silent >= SilentRun ? frame + 1 - silent : frame;
        if (stretchEnd > stretchStart && stretchEnd - stretchStart > bestEnd - bestStart) {
            bestStart = stretchStart;
            bestEnd = stretchEnd;
        }
        if (frame < input.size() && (breaks == 0 || frame - lastBreak > OneBreak)) ++breaks;
        if (frame < input.size()) lastBreak = frame;
        stretchStart = frame + 1;
    }
    Disturbances disturbances = mark.Since();
    EXPECT_LE(breaks, disturbances.total)
        << "a discontinuity in the returned sine where nothing disturbed the stream; " << disturbances.text;
    ASSERT_GE(bestEnd - bestStart, 11025u) << "no quarter of a second of steady sine";
    double sumSquares = 0;
    for (std::size_t frame = bestStart; frame < bestEnd; ++frame) sumSquares += sampleAt(frame) * sampleAt(frame);
    double amplitude = std::sqrt(2 * sumSquares / double(bestEnd - bestStart));
    EXPECT_NEAR(20 * std::log10(amplitude / 0.5), 0.0, 0.3) << "gain through both converters, in dB";
}

// The host hears of the stream once the device's queues are primed: after two switches
// with packet pins only, after two large packets' worth when a pin is timed by the thread.
TEST_F(Streaming, TheFirstHostSwitchFollowsThePriming)
{
    struct Case {
        const char* name;
        sim::Device device;
        void (*edit)(DeviceRecord*);
        bool eventMode;
    };
    const Case cases[] = {
        {"standard", ProductDevice(), nullptr, false},
        {"large packets", ProductDevice(), [](DeviceRecord* device) { device->flags |= LargePacketMode; }, false},
        {"looped, polled", sim::HdAudioCodec(), nullptr, false},
        {"looped, notifying", sim::HdAudioCodec(),
         [](DeviceRecord* device) {
             for (FilterRecord* filter = FirstFilter(device); filter; filter = NextFilter(filter))
                 filter->flags |= NotifyAllowed;
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlugIn(c.device);
        ASSERT_TRUE(OpenHost(256, 48000, {}, c.edit));
        ASSERT_GT(ActivePinCount, 0u);
        PinRecord* first = ActivePins[0].pin;
        EXPECT_EQ(first->notificationEvent != nullptr, c.eventMode);
        bool timed = !IsStandardMode(first->streamFlags);
        Start();
        ASSERT_TRUE(StreamFor(1.0, 48000, 256));
        host.Driver()->stop();
        std::vector<SwitchTiming> timings = host.Timings();
        ASSERT_FALSE(timings.empty());
        DWORD expected = timed ? 2 * BlocksPerLargePacket + 1 : 2;
        EXPECT_EQ(timings[0].switchEvent, expected);
        EXPECT_EQ(timings[0].samplePosition, 0u);
        // Later switches follow at the block rate: no burst of catching up.
        EXPECT_TRUE(IsPlausibleSwitchRate(timings, 256, 48000));
        EndCase();
    }
}

// Leaves the pins of `dataFlow` out of the stream and lets the others notify.
template <ULONG dataFlow>
void NotifyingWithout(DeviceRecord* device)
{
    AllowNotifications(device);
    for (FilterRecord* filter = FirstFilter(device); filter; filter = NextFilter(filter))
        for (PinRecord* pin = FirstPin(filter); pin; pin = NextPin(pin))
            if (pin->dataFlow == dataFlow) pin->flags &= ~RecordEnabled;
}

// The device's inputs hear a count of its frames, never silence, in the top 16 bits.
INT32 CountedFrame(ULONG, ULONGLONG frame)
{
    return INT32(DWORD(frame % 0xFFFF + 1) << 16);
}

// Places where the inputs do not go on counting from one sound frame to the next; the
// frames that do in `counted`.
unsigned CountingJumps(const std::vector<INT32>& input, std::size_t* counted)
{
    unsigned jumps = 0;
    DWORD last = 0;
    *counted = 0;
    for (INT32 sample : input) {
        DWORD count = DWORD(sample) >> 16;
        if (count == 0) continue;
        if (last != 0 && count != last % 0xFFFF + 1)
            ++jumps;
        else if (last != 0)
            ++*counted;
        last = count;
    }
    return jumps;
}

// With the pins of one direction only, the pin of the other times the switches on its
// own notifications: a render master plays every block as sent, a capture master hands
// over every block it heard.
TEST_F(Streaming, EventModeWithPinsOfOneDirection)
{
    for (bool renderOnly : {true, false}) {
        SCOPED_TRACE(renderOnly ? "render only" : "capture only");
        PlugIn(AnalogueCodec(true));
        sim::AnalogueSide side;
        side.inputs = sim::InputSource::Generator;
        side.generator = CountedFrame;
        side.recordOutputs = true;
        ASSERT_TRUE(sim::SetAnalogueSide(0, side));
        ASSERT_TRUE(OpenHost(256, 48000, {},
                             renderOnly ? NotifyingWithout<KSPIN_DATAFLOW_OUT> : NotifyingWithout<KSPIN_DATAFLOW_IN>));
        ASSERT_EQ(ActivePinCount, 1u);
        DisturbanceMark mark;
        Start();
        ASSERT_TRUE(StreamFor(1.5, 48000, 256)) << RestartSummary();
        ASSERT_NE(Stream.master, nullptr);
        EXPECT_NE(Stream.master->notificationEvent, nullptr) << "event mode";
        host.Driver()->stop();
        Disturbances disturbances = mark.Since();
        if (renderOnly) {
            // The recording holds the silence of the priming first.
            LoopbackCheck check = CheckLoopback(sim::RecordedOutput(0, 0), 0, 1 << 16);
            ASSERT_GE(check.roundTrip, 0) << "the signal sent was never played";
            EXPECT_FALSE(check.corrupt) << "frames that the host never sent";
            EXPECT_LE(check.discontinuities, disturbances.total + disturbances.starvations) << disturbances.text;
        } else {
            std::size_t counted = 0;
            unsigned jumps = CountingJumps(host.RecordedInput(0), &counted);
            EXPECT_GE(counted, std::size_t(48000));
            EXPECT_LE(jumps, disturbances.total) << disturbances.text;
        }
        EndCase();
    }
}

// Outputs go to the device once per switch: by the host's outputReady when it calls it
// inside bufferSwitch, else by the thread after bufferSwitch returns. (A switch that
// trims a render queue grown too deep sends its block nowhere.)
TEST_F(Streaming, OutputsAreSentOncePerSwitchWithOrWithoutOutputReady)
{
    for (bool callsOutputReady : {true, false}) {
        SCOPED_TRACE(callsOutputReady ? "host calls outputReady" : "host never calls it");
        PlugIn(ProductDevice());
        HostHabits habits;
        habits.callOutputReady = callsOutputReady;
        ASSERT_TRUE(OpenHost(256, 48000, habits));
        Start();
        ASSERT_TRUE(StreamFor(0.5, 48000, 256));
        host.Driver()->stop();
        std::vector<SwitchTiming> timings = host.Timings();
        ASSERT_GT(timings.size(), 10u);
        for (std::size_t number = 0; number + 1 < timings.size(); ++number) {
            const SwitchTiming& now = timings[number];
            const SwitchTiming& next = timings[number + 1];
            EXPECT_EQ(now.renderPacketsAtExit - now.renderPacketsAtEntry + (now.trimsAtExit - now.trimsAtEntry),
                      callsOutputReady ? 1u : 0u);
            EXPECT_EQ(next.renderPacketsAtEntry - now.renderPacketsAtEntry + (next.trimsAtEntry - now.trimsAtEntry),
                      1u);
        }
        ExpectSignalReturnsAfter(0);
        EndCase();
    }
}

// Each cause of a restart, provoked while streaming: the stream restarts, marks the
// resynchronisation, and the signal flows again without the host doing anything.
// Causes that only packets have are provoked on packet pins; the others on both kinds.
class PacketPinRestart : public StreamRestart {};

class AnyPinRestart : public StreamRestart, public testing::WithParamInterface<StreamedDevice> {
protected:
    void StartStreaming(long bufferSize)
    {
        StreamRestart::StartStreaming(GetParam().make(), bufferSize, {},
                                      GetParam().notifying ? AllowNotifications : nullptr);
    }
};

// Looped pins in event mode restart into event mode again.
INSTANTIATE_TEST_SUITE_P(PacketAndLoopedPins, AnyPinRestart, testing::Values(OnPackets, OnUsbAudio2, OnCodecEvents),
                         [](const testing::TestParamInfo<StreamedDevice>& info) { return info.param.name; });

TEST_P(AnyPinRestart, AStalledDeviceClock)
{
    StartStreaming(256);
    LONG before = Restarts(RestartCause::Stall);
    sim::SetClockStalled(0, true);
    AwaitRestart(RestartCause::Stall, before, 5000);
    sim::SetClockStalled(0, false);
    ExpectRestartAndRecovery(RestartCause::Stall, before);
}

TEST_F(PacketPinRestart, ThreadLateForItsTimedSwitches)
{
    // Large packets time the switches between completions; a host that blocks for
    // 120 ms lets dozens of them fall due at once.
    HostHabits habits;
    habits.sleepInSwitchMs = 120;
    habits.sleepAtSwitch = 400;
    LONG before = Restarts(RestartCause::TimerLag);
    StartStreaming(ProductDevice(), 64, habits, [](DeviceRecord* device) { device->flags |= LargePacketMode; });
    ExpectRestartAndRecovery(RestartCause::TimerLag, before);
}

TEST_P(AnyPinRestart, AStarvedSystem)
{
    StoreDefaultsValue("Flags", GlobalFlagStarvationWatchdog);
    StartStreaming(256);
    LONG before = Restarts(RestartCause::Starvation);
    // The heartbeat stops as if its thread had not run for a second.
    DWORD start = GetTickCount();
    while (Restarts(RestartCause::Starvation) == before && GetTickCount() - start < 3000) {
        HeartbeatTime = timeGetTime() - 1000;
        Sleep(1);
    }
    ExpectRestartAndRecovery(RestartCause::Starvation, before);
}

TEST_F(PacketPinRestart, RenderCompletionsLaggingBehindCapture)
{
    StartStreaming(ProductDevice(), 256);
    LONG before = Restarts(RestartCause::RenderOverrun);
    // About five blocks late: the render queue stays deeper than it should, short of full.
    sim::SetCompletionDelay(0, KSPIN_DATAFLOW_IN, 27, 0);
    AwaitRestart(RestartCause::RenderOverrun, before, 5000);
    sim::SetCompletionDelay(0, KSPIN_DATAFLOW_IN, 0, 0);
    ExpectRestartAndRecovery(RestartCause::RenderOverrun, before);
}

TEST_F(PacketPinRestart, RenderThatStopsCompleting)
{
    StartStreaming(ProductDevice(), 256);
    LONG before = Restarts(RestartCause::CaptureBacklog);
    sim::SetPinsStalled(0, KSPIN_DATAFLOW_IN, true);
    AwaitRestart(RestartCause::CaptureBacklog, before, 5000);
    sim::SetPinsStalled(0, KSPIN_DATAFLOW_IN, false);
    ExpectRestartAndRecovery(RestartCause::CaptureBacklog, before);
}

// A service whose render queue must never run dry (unlike the USB audio class driver's).
sim::Device DeviceIntolerantOfDryQueues()
{
    sim::Device device = ProductDevice();
    device.service = "ews88mt";
    return device;
}

TEST_F(PacketPinRestart, ARenderQueueThatRunsDry)
{
    StartStreaming(DeviceIntolerantOfDryQueues(), 256);
    LONG before = Restarts(RestartCause::RenderUnderrun);
    // Without capture completions no switch comes, and render plays out its queue.
    sim::SetPinsStalled(0, KSPIN_DATAFLOW_OUT, true);
    AwaitRestart(RestartCause::RenderUnderrun, before, 5000);
    sim::SetPinsStalled(0, KSPIN_DATAFLOW_OUT, false);
    ExpectRestartAndRecovery(RestartCause::RenderUnderrun, before);
}

// At the start after a stall restart a pin refuses KSSTATE_RUN: render pins when the
// first capture completes, capture pins right away. It would never complete: the stream
// restarts at once instead of stalling for a second.
TEST_F(PacketPinRestart, APinThatCannotStart)
{
    for (ULONG dataFlow : {ULONG(KSPIN_DATAFLOW_IN), ULONG(KSPIN_DATAFLOW_OUT)}) {
        SCOPED_TRACE(dataFlow == KSPIN_DATAFLOW_IN ? "render" : "capture");
        StartStreaming(ProductDevice(), 256);
        LONG before = Restarts(RestartCause::RunFailure);
        sim::FailPinStateChange(0, dataFlow, KSSTATE_RUN, ERROR_GEN_FAILURE, 1);
        LONG stalls = Restarts(RestartCause::Stall);
        sim::SetClockStalled(0, true);
        AwaitRestart(RestartCause::Stall, stalls, 5000);
        sim::SetClockStalled(0, false);
        ExpectRestartAndRecovery(RestartCause::RunFailure, before, 1500);
        EXPECT_EQ(Restarts(RestartCause::Stall), stalls + 1);
        EndCase();
    }
}

TEST_P(AnyPinRestart, ASampleRateChangeReopensThePinsWithoutAStop)
{
    StartStreaming(256);
    LONG before = Restarts(RestartCause::RestartRequest);
    ASSERT_EQ(host.Driver()->setSampleRate(44100), ASE_OK);
    ASSERT_TRUE(AwaitRestart(RestartCause::RestartRequest, before, 3000));
    long after = MarkRecovery();
    ASSERT_TRUE(StreamFor(1.0, 44100, 256));
    for (DWORD index = 0; index < ActivePinCount; ++index)
        EXPECT_EQ(PinWaveFormat(ActivePins[index].pin)->samplesPerSec, 44100u);
    host.Driver()->stop();
    ExpectSignalReturnsAfter(after);
}

TEST_P(AnyPinRestart, AnUnpluggedDeviceIsWaitedForAndStopEndsTheWaitPromptly)
{
    StartStreaming(256);
    LONG before = AllRestarts();
    ASSERT_TRUE(sim::Unplug(0));
    DWORD start = GetTickCount();
    while (AllRestarts() < before + 2 && GetTickCount() - start < 10000) Sleep(10);
    EXPECT_GE(AllRestarts(), before + 2) << "the thread keeps restarting while the device is away";
    long unplugged = host.Switches();
    Sleep(300);
    EXPECT_EQ(host.Switches(), unplugged) << "no switches without the device";
    ASSERT_TRUE(sim::Replug(0));
    ExpectFlowingAgain();

    // Unplugged again, stop comes while the thread pauses between attempts to reopen.
    ASSERT_EQ(host.Driver()->start(), ASE_OK);
    ASSERT_TRUE(StreamFor(0.3, 48000, 256));
    ASSERT_TRUE(sim::Unplug(0));
    Sleep(1500);
    DWORD stopStart = GetTickCount();
    EXPECT_EQ(host.Driver()->stop(), ASE_OK);
    EXPECT_LT(GetTickCount() - stopStart, 2000u) << "stop waits for no retry pause";
    // That stop leaves nothing behind for the next start.
    ASSERT_TRUE(sim::Replug(0));
    ASSERT_EQ(host.Driver()->start(), ASE_OK);
    EXPECT_TRUE(StreamFor(0.3, 48000, 256));
}

}  // namespace

// The host's sample rate changed while the stream starts, or twice before the thread
// answers the first request: the thread reopens at the last rate and streams on.
TEST_F(StreamRestart, RateChangesThatComeBeforeTheThreadCanAnswer)
{
    PlugIn(ProductDevice());
    ASSERT_TRUE(OpenHost(256, 44100));
    Start();
    // Before the thread has waited for its start.
    ASSERT_EQ(host.Driver()->setSampleRate(48000), ASE_OK);
    long after = MarkRecovery();
    ASSERT_TRUE(StreamFor(1.0, 48000, 256)) << "no switches after a rate change at the start; " << RestartSummary();
    ExpectSignalReturnsAfter(after);

    ASSERT_EQ(host.Driver()->setSampleRate(44100), ASE_OK);
    ASSERT_EQ(host.Driver()->setSampleRate(44100), ASE_OK);
    after = MarkRecovery();
    ASSERT_TRUE(StreamFor(1.0, 44100, 256)) << "no switches after two rate changes in a row; " << RestartSummary();
    for (DWORD index = 0; index < ActivePinCount; ++index)
        EXPECT_EQ(PinWaveFormat(ActivePins[index].pin)->samplesPerSec, 44100u);
    host.Driver()->stop();
    ExpectSignalReturnsAfter(after);
}

// What a host's own threads do beside the streaming thread.
class HostThreads : public Streaming {
protected:
    static inline IAsioDriver* driver = nullptr;
    static inline std::atomic<long> outputsFromHostThreads{0};
};

// A host that hands each block to a worker thread of its own, which calls outputReady
// and ends: every block still plays. Windows cancels the requests a thread left
// outstanding when it ends, so the packets must not be that thread's requests.
TEST_F(HostThreads, OutputReadyFromThreadsThatEndAtOnceLosesNoBlock)
{
    PlugIn(ProductDevice());
    HostHabits habits;
    habits.inSwitch = [](long) {
        std::thread worker([] {
            if (driver->outputReady() == ASE_NotPresent) ++outputsFromHostThreads;
        });
        worker.join();
    };
    ASSERT_TRUE(OpenHost(256, 48000, habits));
    driver = host.Driver();
    Start();
    ASSERT_TRUE(StreamFor(0.5, 48000, 256)) << RestartSummary();
    host.Driver()->stop();
    EXPECT_GE(outputsFromHostThreads.load(), host.Switches() - 1);
    LoopbackCheck check = CheckLoopback(host.RecordedInput(0), 0, 8 * 256 + 4096);
    ASSERT_GE(check.roundTrip, 0) << "the signal sent never came back";
    EXPECT_FALSE(check.corrupt) << "frames that the host never sent";
    Disturbances disturbances = recoveryMark.Since();
    EXPECT_LE(check.discontinuities, disturbances.total)
        << "blocks lost where nothing disturbed the stream; " << disturbances.text;
}

// The host's sample position, read on another thread while the stream restarts again and
// again, never goes back: the switches that prime the device after each restart do not
// count.
TEST_F(HostThreads, TheSamplePositionNeverGoesBackAcrossRestarts)
{
    PlugIn(ProductDevice());
    ASSERT_TRUE(OpenHost(2048, 48000));
    std::atomic<bool> reading{true};
    std::atomic<ULONGLONG> backwards{0};
    IAsioDriver* driver = host.Driver();
    std::thread reader([&] {
        ULONGLONG highest = 0;
        while (reading) {
            ASIOSamples position;
            ASIOTimeStamp time;
            driver->getSamplePosition(&position, &time);
            ULONGLONG now = (ULONGLONG(position.hi) << 32) | position.lo;
            if (now < highest) ++backwards;
            if (now > highest) highest = now;
        }
    });
    Start();
    ASSERT_TRUE(StreamFor(0.2, 48000, 2048));
    LONG before = Restarts(RestartCause::RestartRequest);
    for (int restart = 0; restart < 6; ++restart) {
        ASSERT_EQ(driver->setSampleRate(restart % 2 ? 48000 : 44100), ASE_OK);
        ASSERT_TRUE(AwaitRestart(RestartCause::RestartRequest, before + restart, 3000));
        ASSERT_TRUE(StreamFor(0.1, 44100, 2048)) << RestartSummary();
    }
    reading = false;
    reader.join();
    host.Driver()->stop();
    EXPECT_EQ(backwards.load(), 0u) << "times the position went back";
}
