#include "hardware_simulator/device_steps.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "hardware_simulator/fault_hooks.h"
#include "hardware_simulator/filter_lookup.h"
#include "hardware_simulator/sample_container.h"
#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

namespace {

// One pin's share of a step: `frames` frames from device frame `firstFrame`, counted
// at the pin's rate.
struct PinStep {
    DeviceRuntime& device;
    OpenPin& pin;
    ULONG rate;
    ULONGLONG firstFrame;
    ULONG frames;
    ULONG frameBytes;
    ULONG sampleBytes;
    ULONG channels;
    LONGLONG signalAt;  // when completions are signalled; 0: at once
};

std::minstd_rand JitterSource;

constexpr unsigned ThreadCheckEveryWakeUps = 8;
unsigned ThreadCheckWakeUps;

ULONGLONG FrameAt(double clockMs, ULONG rate)
{
    return ULONGLONG(clockMs * rate / 1000);
}

void Unpack(const PinStep& step, const BYTE* frame, INT32* samples)
{
    for (ULONG channel = 0; channel < step.channels; ++channel)
        samples[channel] = ReadSample(frame + channel * step.sampleBytes, step.sampleBytes);
}

void Pack(const PinStep& step, const INT32* samples, BYTE* frame)
{
    for (ULONG channel = 0; channel < step.channels; ++channel)
        WriteSample(frame + channel * step.sampleBytes, step.sampleBytes, samples[channel]);
}

// The device's outputs play a frame: the inputs may hear it, the recorder keeps it.
void Play(const PinStep& step, ULONGLONG frame, const INT32* samples)
{
    DeviceRuntime& device = step.device;
    if (device.timeline) device.timeline->Write(frame, step.rate, samples, step.channels);
    if (!device.analogue.recordOutputs) return;
    if (device.recordings.size() < step.channels) device.recordings.resize(step.channels);
    for (ULONG channel = 0; channel < step.channels; ++channel) device.recordings[channel].push_back(samples[channel]);
}

INT32 Hear(const PinStep& step, ULONGLONG frame, ULONG channel)
{
    const AnalogueSide& side = step.device.analogue;
    switch (side.inputs) {
    case InputSource::Generator: return side.generator ? side.generator(channel, frame) : 0;
    case InputSource::Loopback:
        if (!step.device.timeline || frame < side.loopbackLatencyFrames) return 0;
        return step.device.timeline->Read(frame - side.loopbackLatencyFrames, step.rate, channel);
    default: return 0;
    }
}

void Hear(const PinStep& step, ULONGLONG frame, INT32* samples)
{
    for (ULONG channel = 0; channel < step.channels; ++channel) samples[channel] = Hear(step, frame, channel);
}

// Counts a frame the pin had nothing for: each gap counts once, every frame in it.
void CountGap(PinStep& step, ULONG& gaps, ULONGLONG& frames)
{
    if (!step.pin.inGap) ++gaps;
    step.pin.inGap = true;
    ++frames;
}

// The request the next frame goes to or comes from, completing those that are done:
// a render request when all its DataUsed is consumed, a capture request when no
// further whole frame fits in its FrameExtent.
StreamRequest* NextRequest(const PinStep& step)
{
    StreamQueue& queue = step.pin.queue;
    for (StreamRequest* request = queue.Oldest(); request != nullptr; request = queue.Oldest()) {
        ULONG room = request->capture ? request->frameExtent : request->dataUsed;
        if (auto status =
                InjectedRequestEnd(step.device, step.pin.dataFlow, request->overlapped, request->transferred, room)) {
            queue.FinishOldest(step.signalAt, *status);
            continue;
        }
        if (room - request->transferred >= (request->capture ? step.frameBytes : 1)) return request;
        queue.FinishOldest(step.signalAt);
    }
    return nullptr;
}

void RenderRequests(PinStep& step)
{
    std::vector<BYTE> frame(step.frameBytes);
    std::vector<INT32> samples(step.channels);
    for (ULONG index = 0; index < step.frames; ++index) {
        std::fill(frame.begin(), frame.end(), BYTE(0));
        if (StreamRequest* request = NextRequest(step)) {
            // A last partial frame is played with silence in the rest of it.
            ULONG bytes = std::min(step.frameBytes, request->dataUsed - request->transferred);
            std::memcpy(frame.data(), request->data + request->transferred, bytes);
            request->transferred += bytes;
            step.pin.inGap = false;
        } else {
            CountGap(step, step.device.glitches.renderStarvations, step.device.glitches.starvedFrames);
        }
        Unpack(step, frame.data(), samples.data());
        Play(step, step.firstFrame + index, samples.data());
    }
    NextRequest(step);  // completes what the last frame emptied
}

void CaptureRequests(PinStep& step)
{
    std::vector<BYTE> frame(step.frameBytes);
    std::vector<INT32> samples(step.channels);
    for (ULONG index = 0; index < step.frames; ++index) {
        StreamRequest* request = NextRequest(step);
        if (request == nullptr) {
            CountGap(step, step.device.glitches.captureOverruns, step.device.glitches.overrunFrames);
            continue;
        }
        Hear(step, step.firstFrame + index, samples.data());
        Pack(step, samples.data(), frame.data());
        std::memcpy(request->data + request->transferred, frame.data(), step.frameBytes);
        request->transferred += step.frameBytes;
        step.pin.inGap = false;
    }
    NextRequest(step);  // completes what the last frame filled
}

// Looped pins: the hardware reads or writes the cyclic buffer on its side of the FIFO,
// moves frames through the FIFO to or from the converters, then the position moves on.
// Each frame read for playing is marked in the buffer, so that a frame the client did
// not write again by the next cycle is told from audio: the render pin ran dry there
// and plays silence, counted as a starvation like a packet pin's gap. The buffer is
// read and written before the position moves and signals the events: a client woken
// by a notification finds the part it was told of done.
BYTE PlayedMark(ULONG byteInFrame)
{
    static const BYTE Pattern[] = {0x7E, 0xE1, 0x5B, 0xC3, 0x2D, 0x96, 0x48, 0xF0};
    return Pattern[byteInFrame % sizeof(Pattern)];
}

// Reads the buffer side on into the FIFO, up to where it stands after this step. A
// frame the client writes while the device reads it arrives torn: each frame is read
// twice, and one that changed between the reads was written too late, silence like a
// frame not written again at all. So is a frame the client had written only in part
// when it was read, one of its samples still marked.
void FetchLooped(const PinStep& step)
{
    LoopedStream& loop = step.pin.loop;
    std::vector<BYTE> frame(step.frameBytes);
    const ULONGLONG end = loop.BufferSideAfter(step.frames * step.frameBytes, true);
    for (ULONGLONG fetched = loop.BufferSideBytes(); fetched < end; fetched += step.frameBytes) {
        volatile BYTE* stored = loop.Buffer();
        for (ULONG byte = 0; byte < step.frameBytes; ++byte) frame[byte] = stored[(fetched + byte) % loop.Size()];
        bool torn = false, unwrittenSample = false;
        for (ULONG sample = 0; sample < step.channels; ++sample) {
            bool marked = true;
            for (ULONG byte = sample * step.sampleBytes; byte < (sample + 1) * step.sampleBytes; ++byte) {
                volatile BYTE& again = stored[(fetched + byte) % loop.Size()];
                torn = torn || again != frame[byte];
                marked = marked && frame[byte] == PlayedMark(byte);
                again = PlayedMark(byte);
            }
            unwrittenSample = unwrittenSample || marked;
        }
        loop.FifoFrames().insert(loop.FifoFrames().end(), frame.begin(), frame.end());
        loop.FifoStarved().push_back(unwrittenSample || torn);
    }
}

void RenderLooped(PinStep& step)
{
    LoopedStream& loop = step.pin.loop;
    FetchLooped(step);
    std::vector<BYTE> frame(step.frameBytes);
    std::vector<INT32> samples(step.channels);
    for (ULONG index = 0; index < step.frames && !loop.FifoStarved().empty(); ++index) {
        std::copy_n(loop.FifoFrames().begin(), step.frameBytes, frame.begin());
        loop.FifoFrames().erase(loop.FifoFrames().begin(), loop.FifoFrames().begin() + step.frameBytes);
        if (loop.FifoStarved().front()) {
            std::fill(frame.begin(), frame.end(), BYTE(0));
            CountGap(step, step.device.glitches.renderStarvations, step.device.glitches.starvedFrames);
        } else {
            step.pin.inGap = false;
        }
        loop.FifoStarved().pop_front();
        Unpack(step, frame.data(), samples.data());
        Play(step, step.firstFrame + index, samples.data());
    }
    loop.Advance(step.frames * step.frameBytes, true);
}

void CaptureLooped(const PinStep& step)
{
    LoopedStream& loop = step.pin.loop;
    std::vector<BYTE> frame(step.frameBytes);
    std::vector<INT32> samples(step.channels);
    for (ULONG index = 0; index < step.frames; ++index) {
        Hear(step, step.firstFrame + index, samples.data());
        Pack(step, samples.data(), frame.data());
        loop.FifoFrames().insert(loop.FifoFrames().end(), frame.begin(), frame.end());
    }
    // What has been in the FIFO for its whole depth reaches the buffer.
    const ULONGLONG end = loop.BufferSideAfter(step.frames * step.frameBytes, false);
    for (ULONGLONG written = loop.BufferSideBytes(); written < end; written += step.frameBytes) {
        for (ULONG byte = 0; byte < step.frameBytes; ++byte)
            loop.Buffer()[(written + byte) % loop.Size()] = loop.FifoFrames()[byte];
        loop.FifoFrames().erase(loop.FifoFrames().begin(), loop.FifoFrames().begin() + step.frameBytes);
    }
    loop.Advance(step.frames * step.frameBytes, false);
}

LONGLONG SignalTime(const CompletionDelay& delay, LONGLONG now, LONGLONG ticksPerMs)
{
    if (delay.delayMs == 0 && delay.jitterMs == 0) return 0;
    ULONG jitter = delay.jitterMs == 0 ? 0 : ULONG(JitterSource() % (delay.jitterMs + 1));
    return now + LONGLONG(delay.delayMs + jitter) * ticksPerMs;
}

// The clock time a looped pin's position stands at: with a service interval, the end of
// the last whole interval, as a USB driver moves it packet by packet.
double PositionTime(const OpenPin& pin, double clockMs)
{
    if (!pin.looped) return clockMs;
    const PinType* type = FindPinType(State().machine, pin.filter, pin.pinId);
    ULONG interval = type != nullptr ? type->looped.serviceIntervalMs : 0;
    return interval == 0 ? clockMs : std::floor(clockMs / interval) * interval;
}

void StepPin(DeviceRuntime& device, OpenPin& pin, double before, LONGLONG now, LONGLONG ticksPerMs)
{
    const KsWaveFormatExtensible& wave = pin.format.wave;
    if (wave.channels == 0 || wave.blockAlign < wave.channels || wave.blockAlign % wave.channels != 0) return;
    if (pin.looped && pin.loop.Size() == 0) return;
    ULONGLONG firstFrame = FrameAt(PositionTime(pin, before), wave.samplesPerSec);
    PinStep step{device,
                 pin,
                 wave.samplesPerSec,
                 firstFrame,
                 ULONG(FrameAt(PositionTime(pin, device.clockMs), wave.samplesPerSec) - firstFrame),
                 wave.blockAlign,
                 ULONG(wave.blockAlign / wave.channels),
                 wave.channels,
                 SignalTime(device.Delay(pin.dataFlow), now, ticksPerMs)};
    if (step.frames == 0 && pin.looped) return;
    bool render = pin.dataFlow == KSPIN_DATAFLOW_IN;
    if (pin.looped)
        render ? RenderLooped(step) : CaptureLooped(step);
    else
        render ? RenderRequests(step) : CaptureRequests(step);
}

// Render pins play before capture pins hear, so that a loopback latency of 0 reaches
// the inputs in the same step.
void StepDevice(const Device& device, DeviceRuntime& runtime, LONGLONG now, LONGLONG ticksPerMs)
{
    if (!device.present || runtime.clockStalled) return;
    double before = runtime.clockMs;
    runtime.clockMs += 1 + runtime.deviationPpm / 1e6;
    for (ULONG dataFlow : {ULONG(KSPIN_DATAFLOW_IN), ULONG(KSPIN_DATAFLOW_OUT)}) {
        if (runtime.Stalled(dataFlow)) continue;
        State().handles.ForEach<OpenPin>([&](ULONG_PTR, OpenPin& pin) {
            if (!pin.filter.removed && pin.filter.instanceId == device.instanceId && pin.dataFlow == dataFlow &&
                pin.state == KSSTATE_RUN)
                StepPin(runtime, pin, before, now, ticksPerMs);
        });
    }
}

}  // namespace

void StepDevices(LONGLONG now, LONGLONG ticksPerMs)
{
    StateLock guard(State().lock);
    for (const Device& device : State().machine.devices)
        StepDevice(device, State().runtimes[device.instanceId], now, ticksPerMs);
}

void SignalDueCompletions(LONGLONG now)
{
    StateLock guard(State().lock);
    // Which threads have ended is asked every few wake-ups: each question is a system call.
    bool checkThreads = ++ThreadCheckWakeUps % ThreadCheckEveryWakeUps == 0;
    if (checkThreads) State().threads.NoteEnded();
    State().handles.ForEach<OpenPin>([&](ULONG_PTR, OpenPin& pin) {
        pin.queue.SignalDue(now);
        if (!checkThreads) return;
        for (const Completion& completion : pin.queue.CancelRequestsOfEndedThreads()) Deliver(completion);
    });
    State().late.DeliverDue(now);
}

void DeliverHeldCompletions()
{
    StateLock guard(State().lock);
    State().handles.ForEach<OpenPin>([](ULONG_PTR, OpenPin& pin) { pin.queue.SignalDue(LLONG_MAX); });
    State().late.DeliverAll();
}

}  // namespace hardware_simulator
