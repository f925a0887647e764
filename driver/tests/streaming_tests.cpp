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
#include "driver/core/com_objects.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/core/settings.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/restart_causes.h"
#include "driver/engine/starvation_watchdog.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_run.h"
#include "driver/engine/streaming_thread.h"
#include "driver/loopback_host/loopback_host.h"
#include "hardware_simulator/hardware_simulator.h"
#include "hardware_simulator/simulator_state.h"

namespace sim = hardware_simulator;

namespace {

constexpr ULONG LoopbackLatencyFrames = 32;

std::string DriverKey()
{
    return std::string("SOFTWARE\\") + OemConfig.driverName.text;
}

LONG Restarts(RestartCause cause)
{
    return StreamRestarts[int(cause)];
}

LONG AllRestarts()
{
    LONG total = 0;
    for (int cause = 0; cause < int(RestartCause::Count); ++cause) total += StreamRestarts[cause];
    return total;
}

// Waits until `cause` has restarted the stream more often than `before`.
bool AwaitRestart(RestartCause cause, LONG before, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (Restarts(cause) == before && GetTickCount() - start < timeoutMs) Sleep(5);
    return Restarts(cause) != before;
}

// The restarts so far by cause, for failure messages.
std::string RestartSummary()
{
    std::string summary;
    for (int cause = 1; cause < int(RestartCause::Count); ++cause)
        if (StreamRestarts[cause] != 0)
            summary += std::string(RestartCauseName(RestartCause(cause))) + ": " + std::to_string(StreamRestarts[cause]) + "; ";
    return summary.empty() ? "no restarts" : summary;
}

// Frames of `seconds` at `rate`, as switches of `bufferSize`.
long SwitchesFor(double seconds, double rate, long bufferSize)
{
    return long(seconds * rate / bufferSize);
}

// The mean period of the switches after the first lies within a fifth of the block time.
bool IsPlausibleSwitchRate(const std::vector<SwitchTiming>& timings, long bufferSize, double rate)
{
    if (timings.size() < 10) return false;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double seconds = double(timings.back().time - timings[1].time) / double(frequency.QuadPart);
    double period = seconds / double(timings.size() - 2);
    double ideal = bufferSize / rate;
    return period > ideal * 0.8 && period < ideal * 1.2;
}

// The product's own device: the 64-bit build drives the QORDA-8, the 32-bit one the
// DESK PRO.
sim::Device ProductDevice()
{
#ifdef _WIN64
    return sim::Qorda8();
#else
    return sim::QordaDeskPro();
#endif
}

// The devices a test streams through: the product on the USB audio class driver's packet
// pins, and the QORDA-8 as Windows 10 and later drive it, on looped pins.
struct StreamedDevice {
    const char* name;
    sim::Device (*make)();
    // From this block size on the stream has margin enough for this machine's scheduling:
    // packet pins queue kernel buffers ahead, a polled looped pin is written one block
    // ahead of the device.
    long steadyFromBlock;
    // Where the signal may jump for each render starvation: a block written too late
    // into a looped buffer plays as silence, and then, stale, one cycle later.
    unsigned jumpsPerStarvation;
};
const StreamedDevice OnPackets = {"PacketPins", ProductDevice, 256, 1};
const StreamedDevice OnUsbAudio2 = {"UsbAudio2", sim::Qorda8UsbAudio2, 2048, 2};

void PrintTo(const StreamedDevice& device, std::ostream* out)
{
    *out << device.name;
}

class Streaming : public testing::Test {
protected:
    void SetUp() override
    {
        AttachModule(GetModuleHandleA(nullptr));
        savedHardwareId = OemConfig.hardwareId;
        OemConfig.hardwareId.text[0] = '\0';
        RegDeleteTreeA(HKEY_CURRENT_USER, DriverKey().c_str());
        GlobalSettingsFlags = 0;
    }
    void TearDown() override
    {
        host.Close();
        EndModule();
        sim::StopDeviceClock();
        sim::Clear();
        OemConfig.hardwareId = savedHardwareId;
        RegDeleteTreeA(HKEY_CURRENT_USER, DriverKey().c_str());
    }

    // Plugs `device` in with its outputs looped back and starts its clock.
    void PlugIn(sim::Device device)
    {
        ASSERT_TRUE(sim::Install(sim::Machine{{device}}));
        sim::AnalogueSide side;
        side.inputs = sim::InputSource::Loopback;
        side.loopbackLatencyFrames = LoopbackLatencyFrames;
        ASSERT_TRUE(sim::SetAnalogueSide(0, side));
        sim::StartDeviceClock();
    }

    // Takes the driver so that its scan sees the machine, then lets `edit` change the
    // device's records as stored settings would, then opens the host.
    bool OpenHost(long bufferSize, double rate, const HostHabits& habits = {},
                  void (*edit)(DeviceRecord*) = nullptr)
    {
        IAsioDriver* driver = reinterpret_cast<IAsioDriver*>(&DriverObject);
        driver->AddRef();
        if (edit != nullptr && FirstDevice != nullptr) edit(FirstDevice);
        bool opened = host.Open(bufferSize, rate, habits);
        EXPECT_TRUE(opened) << host.Failure();
        driver->Release();
        MarkRecovery();
        return opened;
    }

    void Start() { ASSERT_EQ(host.Driver()->start(), ASE_OK); }

    // Streams for `seconds`; false when the switches did not come.
    bool StreamFor(double seconds, double rate, long bufferSize)
    {
        long target = host.Switches() + SwitchesFor(seconds, rate, bufferSize);
        return host.WaitForSwitches(target, DWORD(seconds * 1000) * 4 + 3000);
    }

    // Checks that the inputs carry what was sent, frame for frame, from where the
    // signal first returns to the end of the recording; the round trip in host frames.
    long ExpectBitExactLoopback(std::size_t from = 0)
    {
        std::vector<INT32> input = host.RecordedInput(0);
        long maxDelay = 8 * host.BufferSize() + 4096;
        long delay = FindRoundTrip(input, 0, from, maxDelay);
        EXPECT_GE(delay, 0) << "the signal sent never came back";
        if (delay < 0) return delay;
        std::size_t first = from;
        while (first < input.size() && input[first] == 0) ++first;
        EXPECT_GT(input.size(), first + 4 * std::size_t(host.BufferSize()));
        std::size_t firstBad = first;
        while (firstBad < input.size() && input[firstBad] == LoopbackSignal(firstBad - delay, 0)) ++firstBad;
        EXPECT_EQ(CountMismatches(input, 0, delay, first, input.size()), 0u)
            << "frames lost, repeated or changed on the way: from frame " << first << " of " << input.size()
            << " with round trip " << delay << ", the first wrong at " << firstBad << " where the round trip is "
            << FindRoundTrip(input, 0, firstBad, maxDelay) << "; " << RestartSummary() << "; "
            << sim::Glitches(0).renderStarvations << " render starvations, " << sim::Glitches(0).captureOverruns
            << " capture overruns";
        return delay;
    }

    // Glitches the device counted and restarts of the stream so far: each may move the
    // returning signal once. (This machine gives no thread real-time priority.)
    static unsigned Disturbances()
    {
        sim::GlitchCounters glitches = sim::Glitches(0);
        return glitches.renderStarvations + glitches.captureOverruns + unsigned(AllRestarts());
    }

    // The switch from which the signal must come back, remembered with the disturbances
    // so far.
    long MarkRecovery()
    {
        disturbancesAtMark = Disturbances();
        return host.Switches();
    }

    // The signal sent from the switch on comes back bit-exact for a few blocks: each of
    // their frames is one the host sent, and the round trip changes only where the
    // device counted a glitch or the stream restarted since the mark.
    void ExpectSignalReturnsAfter(long switchNumber)
    {
        const std::size_t blockFrames = std::size_t(host.BufferSize());
        std::vector<INT32> input = host.RecordedInput(0);
        std::size_t from = std::min(input.size(), std::size_t(switchNumber) * blockFrames);
        std::fill(input.begin(), input.begin() + from, 0);
        while (from < input.size() && input[from] == 0) ++from;
        input.resize(std::min(input.size(), from + 4 * blockFrames));
        LoopbackCheck check = CheckLoopback(input, 0, 8 * host.BufferSize() + 4096);
        ASSERT_GE(check.roundTrip, 0) << "the signal does not come back after switch " << switchNumber << "; "
                                      << RestartSummary();
        EXPECT_FALSE(check.corrupt) << "frames that the host never sent, after switch " << switchNumber;
        EXPECT_LE(check.discontinuities, Disturbances() - disturbancesAtMark)
            << "the signal jumped where nothing disturbed the stream, after switch " << switchNumber << "; "
            << RestartSummary();
    }

    LoopbackHost host;
    decltype(OemConfig.hardwareId) savedHardwareId;
    unsigned disturbancesAtMark = 0;
};

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

// Every frame returns as it was sent. Small blocks leave the stream too little margin
// for this machine's scheduling (Wine gives no real-time priority): there the signal
// may jump, but only where the device counted a glitch or the stream restarted.
TEST_P(LoopbackStreaming, TheSignalComesBackBitExactWithAStableRoundTrip)
{
    const LoopbackCase param = std::get<1>(GetParam());
    PlugIn(std::get<0>(GetParam()).make());
    ASSERT_TRUE(OpenHost(param.bufferSize, param.rate, {}, [](DeviceRecord* device) { device->kernelBuffers = 4; }));
    long inputLatency = 0, outputLatency = 0;
    ASSERT_EQ(host.Driver()->getLatencies(&inputLatency, &outputLatency), ASE_OK);
    LONG restartsBefore = AllRestarts();
    Start();
    ASSERT_TRUE(StreamFor(3.0, param.rate, param.bufferSize)) << RestartSummary() << "; " << host.Switches() << " switches";
    host.Driver()->stop();

    LoopbackCheck check = CheckLoopback(host.RecordedInput(0), 0, 8 * param.bufferSize + 4096);
    ASSERT_GE(check.roundTrip, 0) << "the signal sent never came back";
    EXPECT_FALSE(check.corrupt) << "frames that the host never sent";
    sim::GlitchCounters glitches = sim::Glitches(0);
    unsigned disturbances = glitches.renderStarvations + glitches.captureOverruns + unsigned(AllRestarts() - restartsBefore);
    unsigned jumpsAllowed = disturbances + (std::get<0>(GetParam()).jumpsPerStarvation - 1) * glitches.renderStarvations;
    EXPECT_LE(check.discontinuities, jumpsAllowed) << "the signal jumped where nothing disturbed the stream";
    if (param.bufferSize >= std::get<0>(GetParam()).steadyFromBlock) {
        EXPECT_EQ(disturbances, 0u) << RestartSummary() << "; " << glitches.renderStarvations << " starvations, "
                                    << glitches.captureOverruns << " overruns";
    }

    std::vector<SwitchTiming> timings = host.Timings();
    for (std::size_t number = 0; number < timings.size(); ++number) {
        ASSERT_EQ(timings[number].index, long(number % 2)) << "switch " << number;
        ASSERT_EQ(timings[number].samplePosition, ULONGLONG(number) * param.bufferSize) << "switch " << number;
    }
    std::printf("[ round trip ] %s, %.0f Hz, %ld frames: measured %ld frames (device loop %lu), "
                "reported input %ld + output %ld = %ld; %u glitches\n",
                std::get<0>(GetParam()).name, param.rate, param.bufferSize, check.roundTrip, LoopbackLatencyFrames,
                inputLatency, outputLatency, inputLatency + outputLatency, disturbances);
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
    sim::GlitchCounters glitches = sim::Glitches(0);
    EXPECT_LE(breaks, Disturbances() - disturbancesAtMark)
        << "a discontinuity in the returned sine where nothing disturbed the stream; " << RestartSummary() << "; "
        << glitches.renderStarvations << " starvations, " << glitches.captureOverruns << " overruns";
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
        host.Close();
        sim::StopDeviceClock();
        sim::Clear();
        RegDeleteTreeA(HKEY_CURRENT_USER, DriverKey().c_str());
    }
}

// Outputs go to the device once per switch: by the host's outputReady when it calls it
// inside bufferSwitch, else by the thread after bufferSwitch returns.
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
            EXPECT_EQ(now.renderPacketsAtExit - now.renderPacketsAtEntry, callsOutputReady ? 1u : 0u);
            EXPECT_EQ(timings[number + 1].renderPacketsAtEntry - now.renderPacketsAtEntry, 1u);
        }
        ExpectSignalReturnsAfter(0);
        host.Close();
        sim::StopDeviceClock();
        sim::Clear();
        RegDeleteTreeA(HKEY_CURRENT_USER, DriverKey().c_str());
    }
}

// Each cause of a restart, provoked while streaming: the stream restarts, marks the
// resynchronisation, and the signal flows again without the host doing anything.
// Causes that only packets have are provoked on packet pins; the others on both kinds.
class StreamRestart : public Streaming {
protected:
    void StartStreaming(sim::Device device, long bufferSize, const HostHabits& habits = {},
                        void (*edit)(DeviceRecord*) = nullptr)
    {
        PlugIn(device);
        ASSERT_TRUE(OpenHost(bufferSize, 48000, habits, edit));
        Start();
        ASSERT_TRUE(StreamFor(0.3, 48000, bufferSize));
        resyncsBefore = StreamResyncs;
    }
    // Waits until `cause` restarted the stream; then the stream must carry the signal
    // bit-exact again.
    void ExpectRestartAndRecovery(RestartCause cause, LONG before, DWORD timeoutMs = 8000)
    {
        ASSERT_TRUE(AwaitRestart(cause, before, timeoutMs)) << RestartCauseName(cause) << " did not restart the stream";
        ExpectFlowingAgain();
        EXPECT_GT(StreamResyncs, resyncsBefore) << "the restart is stamped for the tray";
    }
    // The signal sent after the restart comes back bit-exact for a while. (Whether it
    // streams on for long without a glitch is the loopback tests' business.)
    void ExpectFlowingAgain()
    {
        long recovered = MarkRecovery();
        ASSERT_TRUE(StreamFor(1.0, 48000, host.BufferSize())) << "no switches after the restart";
        host.Driver()->stop();
        ExpectSignalReturnsAfter(recovered);
    }
    LONG resyncsBefore = 0;
};

class PacketPinRestart : public StreamRestart {};

class AnyPinRestart : public StreamRestart, public testing::WithParamInterface<StreamedDevice> {
protected:
    sim::Device Device() const { return GetParam().make(); }
};

INSTANTIATE_TEST_SUITE_P(PacketAndLoopedPins, AnyPinRestart, testing::Values(OnPackets, OnUsbAudio2),
                         [](const testing::TestParamInfo<StreamedDevice>& info) { return info.param.name; });

TEST_P(AnyPinRestart, AStalledDeviceClock)
{
    StartStreaming(Device(), 256);
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
    // A stored choice, read when the driver starts.
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (DriverKey() + "\\Defaults").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD flags = GlobalFlagStarvationWatchdog;
    RegSetValueExA(key, "Flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), sizeof(flags));
    RegCloseKey(key);
    StartStreaming(Device(), 256);
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

TEST_F(PacketPinRestart, ARenderPinThatCannotStart)
{
    StartStreaming(ProductDevice(), 256);
    LONG before = Restarts(RestartCause::RunFailure);
    // A stall restarts the stream; at the new start the render pin refuses KSSTATE_RUN.
    sim::FailPinStateChange(0, KSPIN_DATAFLOW_IN, KSSTATE_RUN, ERROR_GEN_FAILURE, 1);
    LONG stalls = Restarts(RestartCause::Stall);
    sim::SetClockStalled(0, true);
    AwaitRestart(RestartCause::Stall, stalls, 5000);
    sim::SetClockStalled(0, false);
    ExpectRestartAndRecovery(RestartCause::RunFailure, before);
}

TEST_P(AnyPinRestart, ASampleRateChangeReopensThePinsWithoutAStop)
{
    StartStreaming(Device(), 256);
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
    StartStreaming(Device(), 256);
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
    EXPECT_LE(check.discontinuities, Disturbances() - disturbancesAtMark)
        << "blocks lost where nothing disturbed the stream; " << RestartSummary();
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
