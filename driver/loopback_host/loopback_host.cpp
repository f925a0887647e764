#include "driver/loopback_host/loopback_host.h"

#include <cmath>
#include <mutex>

#include "driver/core/active_pins.h"
#include "driver/core/com_objects.h"
#include "driver/engine/pin_events.h"
#include "driver/engine/stream_run.h"

namespace {

constexpr std::size_t RecordedChannels = 2;
constexpr std::size_t RecordFrames = 4 * 1024 * 1024;
constexpr std::size_t MaxSwitches = 1 << 20;

struct Recorder {
    HostHabits habits;
    long bufferSize = 0;
    double rate = 44100;
    long inputs = 0;
    long outputs = 0;
    std::vector<ASIOBufferInfo> buffers;
    std::vector<INT32> input[RecordedChannels];
    std::vector<SwitchTiming> timings;
    std::atomic<long> switches{0};
    IAsioDriver* driver = nullptr;
    PinRecord* renderPin = nullptr;
    bool slept = false;
    std::atomic<DWORD> callingThread{0};
};

Recorder Host;

DWORD RenderPackets()
{
    return Host.renderPin != nullptr ? Host.renderPin->conversion.submittedCount : 0;
}

void WriteOutputs(long number)
{
    const ULONGLONG first = ULONGLONG(number) * Host.bufferSize;
    for (const ASIOBufferInfo& info : Host.buffers) {
        if (info.isInput) continue;
        auto* samples = static_cast<INT32*>(info.buffers[0]);
        for (long frame = 0; frame < Host.bufferSize; ++frame) {
            ULONGLONG at = first + frame;
            if (info.channelNum == 0 && Host.habits.sineHz != 0) {
                double phase = 2 * 3.14159265358979323846 * Host.habits.sineHz * double(at) / Host.rate;
                samples[frame] = INT32(std::lround(Host.habits.sineAmplitude * 2147483647.0 * std::sin(phase)));
            } else {
                samples[frame] = LoopbackSignal(at, info.channelNum);
            }
        }
    }
}

void RecordInputs(long number)
{
    std::size_t first = std::size_t(number) * Host.bufferSize;
    if (first + Host.bufferSize > RecordFrames) return;
    for (const ASIOBufferInfo& info : Host.buffers) {
        if (!info.isInput || std::size_t(info.channelNum) >= RecordedChannels) continue;
        const auto* samples = static_cast<const INT32*>(info.buffers[0]);
        std::copy(samples, samples + Host.bufferSize, Host.input[info.channelNum].begin() + first);
    }
}

void OnBufferSwitch(long index, ASIOBool)
{
    long number = Host.switches.load();
    Host.callingThread = GetCurrentThreadId();
    SwitchTiming timing = {};
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    timing.time = now.QuadPart;
    timing.index = index;
    timing.switchEvent = Stream.switchEvents;
    timing.renderPacketsAtEntry = RenderPackets();
    timing.trimsAtEntry = TrimmedRenderBlocks;
    ASIOSamples position;
    ASIOTimeStamp stamp;
    if (Host.driver->getSamplePosition(&position, &stamp) == ASE_OK)
        timing.samplePosition = (ULONGLONG(position.hi) << 32) | position.lo;
    RecordInputs(number);
    WriteOutputs(number);
    if (Host.habits.callOutputReady) Host.driver->outputReady();
    // A host that blocks once, early in a timed period, so that the switches it holds up
    // fall due while it sleeps.
    if (!Host.slept && Host.habits.sleepAtSwitch >= 0 && number >= Host.habits.sleepAtSwitch &&
        Stream.subBlockCount <= 4) {
        Host.slept = true;
        Sleep(Host.habits.sleepInSwitchMs);
    }
    if (Host.habits.inSwitch != nullptr) Host.habits.inSwitch(number);
    timing.renderPacketsAtExit = RenderPackets();
    timing.trimsAtExit = TrimmedRenderBlocks;
    if (std::size_t(number) < MaxSwitches) Host.timings[number] = timing;
    Host.switches.store(number + 1);
}

long AnswerMessage(long selector, long, void*, double*)
{
    return selector == kAsioSelectorSupported ? 1 : 0;
}

}  // namespace

bool LoopbackHost::Open(long bufferSize, double rate, const HostHabits& habits)
{
    driver_ = reinterpret_cast<IAsioDriver*>(&DriverObject);
    driver_->AddRef();
    bufferSize_ = bufferSize;
    if (driver_->init(nullptr) != ASIOTrue) return Fail("init refused");
    if (driver_->setSampleRate(rate) != ASE_OK) return Fail("setSampleRate refused");
    if (driver_->getChannels(&inputs_, &outputs_) != ASE_OK || inputs_ <= 0 || outputs_ <= 0)
        return Fail("no input or output channels");

    Host.habits = habits;
    Host.bufferSize = bufferSize;
    Host.rate = rate;
    Host.inputs = inputs_;
    Host.outputs = outputs_;
    Host.driver = driver_;
    Host.switches = 0;
    Host.slept = false;
    Host.buffers.clear();
    for (long channel = 0; channel < inputs_; ++channel) Host.buffers.push_back({ASIOTrue, channel, {}});
    for (long channel = 0; channel < outputs_; ++channel) Host.buffers.push_back({ASIOFalse, channel, {}});
    for (auto& recorded : Host.input) recorded.assign(RecordFrames, 0);
    Host.timings.assign(MaxSwitches, {});
    static ASIOCallbacks callbacks = {OnBufferSwitch, nullptr, AnswerMessage, nullptr};
    if (driver_->createBuffers(Host.buffers.data(), long(Host.buffers.size()), bufferSize, &callbacks) != ASE_OK)
        return Fail("createBuffers refused");
    Host.renderPin = nullptr;
    for (DWORD index = 0; index < ActivePinCount && Host.renderPin == nullptr; ++index)
        if (!IsCapturePin(ActivePins[index].pin)) Host.renderPin = ActivePins[index].pin;
    return true;
}

bool LoopbackHost::Fail(const char* failure)
{
    failure_ = failure;
    return false;
}

void LoopbackHost::Close()
{
    if (driver_ == nullptr) return;
    driver_->stop();
    driver_->disposeBuffers();
    driver_->Release();
    driver_ = nullptr;
}

long LoopbackHost::Switches() const
{
    return Host.switches.load();
}

bool LoopbackHost::WaitForSwitches(long count, DWORD timeoutMs) const
{
    DWORD start = GetTickCount();
    while (Host.switches.load() < count) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(5);
    }
    return true;
}

std::vector<INT32> LoopbackHost::RecordedInput(long channel) const
{
    std::size_t frames = std::min<std::size_t>(std::size_t(Switches()) * bufferSize_, RecordFrames);
    const std::vector<INT32>& recorded = Host.input[channel];
    return std::vector<INT32>(recorded.begin(), recorded.begin() + frames);
}

DWORD LoopbackHost::StreamingThreadId() const
{
    return Host.callingThread.load();
}

std::vector<SwitchTiming> LoopbackHost::Timings() const
{
    std::size_t count = std::min<std::size_t>(std::size_t(Switches()), MaxSwitches);
    return std::vector<SwitchTiming>(Host.timings.begin(), Host.timings.begin() + count);
}
