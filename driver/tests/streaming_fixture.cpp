#include "driver/tests/streaming_fixture.h"

#include "driver/core/active_pins.h"
#include "driver/core/settings.h"
#include "driver/engine/pin_events.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_run.h"
#include "driver/engine/streaming_thread.h"

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

bool AwaitRestart(RestartCause cause, LONG before, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (Restarts(cause) == before && GetTickCount() - start < timeoutMs) Sleep(5);
    return Restarts(cause) != before;
}

std::string RestartSummary()
{
    std::string summary;
    for (int cause = 1; cause < int(RestartCause::Count); ++cause)
        if (StreamRestarts[cause] != 0)
            summary += std::string(RestartCauseName(RestartCause(cause))) + ": " +
                       std::to_string(StreamRestarts[cause]) + "; ";
    return summary.empty() ? "no restarts" : summary;
}

long SwitchesFor(double seconds, double rate, long bufferSize)
{
    return long(seconds * rate / bufferSize);
}

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

sim::Device ProductDevice()
{
#ifdef _WIN64
    return sim::Qorda8();
#else
    return sim::QordaDeskPro();
#endif
}

sim::Device AnalogueCodec(bool notifying)
{
    sim::Device codec = sim::HdAudioCodec();
    codec.filters.resize(sim::HdAudioAnalogTopology + 1);
    if (!notifying)
        for (sim::PinType& pin : codec.filters[sim::HdAudioAnalogWave].pins) pin.looped.notifications = false;
    return codec;
}

void AllowNotifications(DeviceRecord* device)
{
    for (FilterRecord* filter = FirstFilter(device); filter; filter = NextFilter(filter))
        filter->flags |= NotifyAllowed;
}

const StreamedDevice OnPackets = {"PacketPins", ProductDevice, 1};
const StreamedDevice OnUsbAudio2 = {"UsbAudio2", sim::Qorda8UsbAudio2, 2};
const StreamedDevice OnUsbAudio2Events = {"UsbAudio2Events", sim::Qorda8UsbAudio2, 2, true};
const StreamedDevice OnCodecEvents = {"CodecEvents", [] { return AnalogueCodec(true); }, 2, true};

void PrintTo(const StreamedDevice& device, std::ostream* out)
{
    *out << device.name;
}

DisturbanceMark::DisturbanceMark() : glitches_(sim::Glitches(0)), trims_(TrimmedRenderBlocks), resyncs_(StreamResyncs)
{
    for (int cause = 0; cause < int(RestartCause::Count); ++cause) restarts_[cause] = StreamRestarts[cause];
}

Disturbances DisturbanceMark::Since() const
{
    sim::GlitchCounters glitches = sim::Glitches(0);
    unsigned starvations = glitches.renderStarvations - glitches_.renderStarvations;
    unsigned overruns = glitches.captureOverruns - glitches_.captureOverruns;
    unsigned trims = unsigned(TrimmedRenderBlocks - trims_);
    unsigned restarts = 0;
    std::string causes;
    for (int cause = 1; cause < int(RestartCause::Count); ++cause) {
        LONG count = StreamRestarts[cause] - restarts_[cause];
        if (count == 0) continue;
        restarts += unsigned(count);
        causes += std::string(causes.empty() ? "" : ", ") + RestartCauseName(RestartCause(cause)) + " " +
                  std::to_string(count);
    }
    // Every restart but the first stamps a resynchronisation; the other stamps are late
    // notifications.
    LONG resyncs = StreamResyncs - resyncs_;
    unsigned lateNotifications = resyncs > LONG(restarts) ? unsigned(resyncs) - restarts : 0;
    Disturbances since;
    since.total = starvations + overruns + restarts + trims + lateNotifications;
    since.starvations = starvations;
    since.restarts = restarts;
    since.text = std::to_string(starvations) + " starvations, " + std::to_string(overruns) + " overruns, " +
                 std::to_string(restarts) + " restarts (" + causes + "), " + std::to_string(trims) +
                 " trimmed blocks, " + std::to_string(lateNotifications) + " late notifications";
    return since;
}

void Streaming::SetUp()
{
    InProcessDriver::SetUp();
    AcceptEveryDevice();
    GlobalSettingsFlags = 0;
}

void Streaming::TearDown()
{
    host.Close();
    InProcessDriver::TearDown();
}

void Streaming::PlugIn(sim::Device device)
{
    ASSERT_TRUE(sim::Install(sim::Machine{{device}}));
    sim::AnalogueSide side;
    side.inputs = sim::InputSource::Loopback;
    side.loopbackLatencyFrames = LoopbackLatencyFrames;
    ASSERT_TRUE(sim::SetAnalogueSide(0, side));
    sim::StartDeviceClock();
}

bool Streaming::OpenHost(long bufferSize, double rate, const HostHabits& habits, void (*edit)(DeviceRecord*))
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

bool Streaming::StreamFor(double seconds, double rate, long bufferSize)
{
    long target = host.Switches() + SwitchesFor(seconds, rate, bufferSize);
    return host.WaitForSwitches(target, DWORD(seconds * 1000) * 4 + 3000);
}

void Streaming::EndCase()
{
    host.Close();
    sim::StopDeviceClock();
    sim::Clear();
    RegDeleteTreeA(HKEY_CURRENT_USER, DriverKey().c_str());
}

long Streaming::MarkRecovery()
{
    recoveryMark = DisturbanceMark();
    return host.Switches();
}

void Streaming::ExpectSignalReturnsAfter(long switchNumber)
{
    std::vector<INT32> input = host.RecordedInput(0);
    std::size_t from = std::size_t(switchNumber) * host.BufferSize();
    LoopbackChecker checker(0, 8 * host.BufferSize() + 4096);
    for (std::size_t frame = 0; frame < input.size(); ++frame) checker.Add(frame < from ? 0 : input[frame]);
    checker.Finish();
    ASSERT_GE(checker.RoundTrip(), 0) << "the signal does not come back after switch " << switchNumber << "; "
                                      << RestartSummary();
    EXPECT_EQ(checker.CorruptFrames(), 0u) << "frames that were never sent";
    Disturbances disturbances = recoveryMark.Since();
    EXPECT_LE(checker.Discontinuities(), disturbances.total)
        << "the signal jumped where nothing disturbed the stream, after switch " << switchNumber << "; "
        << disturbances.text;
    EXPECT_GE(checker.VerifiedFrames(), 4u * host.BufferSize());
}

void StreamRestart::StartStreaming(sim::Device device, long bufferSize, const HostHabits& habits,
                                   void (*edit)(DeviceRecord*))
{
    PlugIn(device);
    ASSERT_TRUE(OpenHost(bufferSize, 48000, habits, edit));
    Start();
    ASSERT_TRUE(StreamFor(0.3, 48000, bufferSize));
    MarkRecovery();
    resyncsBefore = StreamResyncs;
    eventMode = Stream.master != nullptr && Stream.master->notificationEvent != nullptr;
}

void StreamRestart::ExpectRestartAndRecovery(RestartCause cause, LONG before, DWORD timeoutMs)
{
    ASSERT_TRUE(AwaitRestart(cause, before, timeoutMs)) << RestartCauseName(cause) << " did not restart the stream";
    ExpectFlowingAgain();
    EXPECT_GT(StreamResyncs, resyncsBefore) << "the restart is stamped for the tray";
}

void StreamRestart::ExpectFlowingAgain()
{
    long recovered = host.Switches();
    ASSERT_TRUE(StreamFor(1.0, 48000, host.BufferSize())) << "no switches after the restart";
    if (eventMode) {
        for (DWORD index = 0; index < ActivePinCount; ++index)
            EXPECT_NE(ActivePins[index].pin->notificationEvent, nullptr) << "the restart left event mode";
    }
    host.Driver()->stop();
    ExpectSignalReturnsAfter(recovered);
}
