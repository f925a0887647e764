#include "asio_host/stream_run.h"

#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdio>

#include "asio_host/sample_types.h"

namespace {

constexpr DWORD SwitchTimeoutMs = 2000;
constexpr std::size_t LeadInMs = 250;

// The one run in progress: ASIO callbacks carry no context.
struct RunState {
    IAsioDriver* driver;
    long bufferSize;
    std::vector<ASIOBufferInfo> buffers;  // inputs, then outputs
    std::vector<ASIOSampleType> types;
    std::size_t inputCount;
    std::size_t frames;
    StreamResult* result;
    std::size_t needed;  // switches that cover the run
    LARGE_INTEGER start, frequency;
    std::atomic<std::size_t> count;
    std::atomic<int> resetRequests, resyncRequests, latencyChanges, bufferSizeChanges, rateChanges;
};

RunState* Run;

void OnSwitch(long index, ASIOBool)
{
    RunState& run = *Run;
    const std::size_t number = run.count.load();
    const std::size_t first = number * std::size_t(run.bufferSize);
    const long available = first < run.frames ? long(std::min<std::size_t>(run.frames - first, run.bufferSize)) : 0;
    for (std::size_t b = 0; b < run.buffers.size(); ++b) {
        void* buffer = run.buffers[b].buffers[index & 1];
        if (b < run.inputCount)
            ReadSamples(run.types[b], buffer, run.result->recorded[b].data() + first, available);
        else
            WriteSamples(run.types[b], buffer, run.result->sent.data() + first, available, run.bufferSize);
    }
    if (number < run.needed) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        ASIOSamples position = {};
        ASIOTimeStamp time = {};
        std::int64_t samples = -1;
        if (run.driver->getSamplePosition(&position, &time) == ASE_OK)
            samples = std::int64_t((std::uint64_t(position.hi) << 32) | position.lo);
        run.result->switches[number] = {double(now.QuadPart - run.start.QuadPart) / double(run.frequency.QuadPart),
                                        samples};
    }
    run.count.store(number + 1);
}

ASIOTime* OnSwitchTimeInfo(ASIOTime* params, long index, ASIOBool direct)
{
    OnSwitch(index, direct);
    return params;
}

void OnRateChange(ASIOSampleRate)
{
    ++Run->rateChanges;
}

long OnMessage(long selector, long value, void*, double*)
{
    switch (selector) {
    case kAsioSelectorSupported:
        return value == kAsioEngineVersion || value == kAsioResetRequest || value == kAsioResyncRequest ||
               value == kAsioLatenciesChanged || value == kAsioBufferSizeChange;
    case kAsioEngineVersion: return 2;
    case kAsioResetRequest: ++Run->resetRequests; return 1;
    case kAsioResyncRequest: ++Run->resyncRequests; return 1;
    case kAsioLatenciesChanged: ++Run->latencyChanges; return 1;
    // The run keeps its size; a host that followed would rebuild its buffers.
    case kAsioBufferSizeChange: ++Run->bufferSizeChanges; return 0;
    default: return 0;
    }
}

std::string Failed(const char* call, ASIOError code)
{
    char text[96];
    std::snprintf(text, sizeof(text), "%s returned %ld", call, code);
    return text;
}

// Rate and buffer size as requested, or the driver's own; false with `error` set.
bool ChooseFormat(IAsioDriver* driver, const StreamRequest& request, StreamResult& result, std::string& error)
{
    if (request.rate > 0) {
        ASIOError code = driver->canSampleRate(request.rate);
        if (code != ASE_OK) {
            error = "the driver cannot run at " + std::to_string(long(request.rate)) + " Hz (" +
                    Failed("canSampleRate", code) + ")";
            return false;
        }
        if ((code = driver->setSampleRate(request.rate)) != ASE_OK) return error = Failed("setSampleRate", code), false;
    }
    ASIOError code = driver->getSampleRate(&result.rate);
    if (code != ASE_OK || !(result.rate > 0)) return error = Failed("getSampleRate", code) + " or no rate", false;

    long minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    if ((code = driver->getBufferSize(&minimum, &maximum, &preferred, &granularity)) != ASE_OK)
        return error = Failed("getBufferSize", code), false;
    result.bufferSize = request.bufferSize != 0 ? request.bufferSize : preferred;
    bool allowed = result.bufferSize >= minimum && result.bufferSize <= maximum;
    if (granularity > 0) allowed = allowed && (result.bufferSize - minimum) % granularity == 0;
    if (granularity == -1) allowed = allowed && (result.bufferSize & (result.bufferSize - 1)) == 0;
    if (!allowed) {
        error = "buffer size " + std::to_string(result.bufferSize) + " is not offered (" + std::to_string(minimum) +
                " to " + std::to_string(maximum) + ", granularity " + std::to_string(granularity) + ")";
        return false;
    }
    return true;
}

// Buffers for the chosen channels; false with `error` set.
bool CreateRunBuffers(IAsioDriver* driver, const StreamRequest& request, RunState& run, ASIOCallbacks* callbacks,
                      std::string& error)
{
    long inputs = 0, outputs = 0;
    ASIOError code = driver->getChannels(&inputs, &outputs);
    if (code != ASE_OK) return error = Failed("getChannels", code), false;
    auto add = [&](long channel, bool input) {
        if (channel < 0 || channel >= (input ? inputs : outputs)) {
            error = std::string(input ? "input " : "output ") + std::to_string(channel) +
                    " does not exist (the driver has " + std::to_string(input ? inputs : outputs) + ")";
            return false;
        }
        ASIOChannelInfo info = {};
        info.channel = channel;
        info.isInput = input ? ASIOTrue : ASIOFalse;
        if ((code = driver->getChannelInfo(&info)) != ASE_OK) return error = Failed("getChannelInfo", code), false;
        if (SampleTypeName(info.type) == nullptr) {
            error = "channel " + std::to_string(channel) + " has sample type " + std::to_string(info.type) +
                    ", which this tool does not handle";
            return false;
        }
        run.buffers.push_back({input ? ASIOTrue : ASIOFalse, channel, {nullptr, nullptr}});
        run.types.push_back(info.type);
        return true;
    };
    for (long channel : request.inputs)
        if (!add(channel, true)) return false;
    for (long channel : request.outputs)
        if (!add(channel, false)) return false;
    run.inputCount = request.inputs.size();
    if (run.buffers.empty()) return error = "no channel chosen", false;
    code = driver->createBuffers(run.buffers.data(), long(run.buffers.size()), run.bufferSize, callbacks);
    if (code != ASE_OK) return error = Failed("createBuffers", code), false;
    return true;
}

// Waits for the switches that cover the run, with a progress line; false when they
// stop coming.
bool AwaitSwitches(RunState& run, bool progress, std::string& error)
{
    std::size_t seen = 0;
    DWORD lastProgress = GetTickCount(), lastLine = 0;
    const double seconds = double(run.frames) / run.result->rate;
    while (run.count.load() < run.needed) {
        Sleep(20);
        const DWORD now = GetTickCount();
        const std::size_t count = run.count.load();
        if (count != seen) {
            seen = count;
            lastProgress = now;
        } else if (now - lastProgress > SwitchTimeoutMs) {
            error = seen == 0
                        ? "no bufferSwitch came within " + std::to_string(SwitchTimeoutMs) + " ms of start"
                        : "the switches stopped after " + std::to_string(seen) + " of " + std::to_string(run.needed);
            return false;
        }
        if (progress && now - lastLine >= 500) {
            lastLine = now;
            std::fprintf(stderr, "\rstreaming: %5.1f of %.1f s, %zu switches, %d reset requests ",
                         double(count * run.bufferSize) / run.result->rate, seconds, count, run.resetRequests.load());
        }
    }
    if (progress) std::fprintf(stderr, "\rstreaming: done%50s\n", "");
    return true;
}

}  // namespace

bool RunStream(IAsioDriver* driver, const StreamRequest& request, StreamResult& result, std::string& error)
{
    if (!ChooseFormat(driver, request, result, error)) return false;
    RunState run = {};
    run.driver = driver;
    run.bufferSize = result.bufferSize;
    run.result = &result;
    run.needed = std::size_t(std::ceil(request.seconds * result.rate / double(result.bufferSize)));
    run.frames = run.needed * std::size_t(result.bufferSize);
    result.sent = MakeTestSignal(request.signal, result.rate, run.frames, std::size_t(result.rate * LeadInMs / 1000));
    result.recorded.assign(request.inputs.size(), std::vector<float>(run.frames, 0.0f));
    result.switches.assign(run.needed, {0.0, -1});
    Run = &run;

    ASIOCallbacks callbacks = {OnSwitch, OnRateChange, OnMessage, OnSwitchTimeInfo};
    if (!CreateRunBuffers(driver, request, run, &callbacks, error)) return false;
    bool streamed = false;
    ASIOError code = driver->getLatencies(&result.inputLatency, &result.outputLatency);
    if (code != ASE_OK) {
        error = Failed("getLatencies", code);
    } else {
        QueryPerformanceFrequency(&run.frequency);
        QueryPerformanceCounter(&run.start);
        if ((code = driver->start()) != ASE_OK)
            error = Failed("start", code);
        else
            streamed = AwaitSwitches(run, request.progress, error);
        driver->stop();
    }
    driver->disposeBuffers();
    result.switches.resize(std::min(run.count.load(), run.needed));
    result.resetRequests = run.resetRequests;
    result.resyncRequests = run.resyncRequests;
    result.latencyChanges = run.latencyChanges;
    result.bufferSizeChanges = run.bufferSizeChanges;
    result.rateChanges = run.rateChanges;
    Run = nullptr;
    return streamed;
}
