#include "driver/soak/soak_session.h"

#include <vector>

#include "driver/core/com_objects.h"
#include "driver/loopback_host/loopback_check.h"

namespace {

// A host call that takes this long is a hang: stop waits 10 s for the streaming thread
// before it terminates it.
constexpr DWORD HangLimitMs = 5000;
constexpr DWORD OutputReadyWaitMs = 1000;

// What the callbacks, called on the driver's threads, work with. One session at a time.
struct CallbackState {
    InputFeed* feed = nullptr;
    IAsioDriver* driver = nullptr;
    long bufferSize = 0;
    OutputReadyHabit habit = OutputReadyHabit::Never;
    std::vector<ASIOBufferInfo> buffers;
    const ASIOBufferInfo* input = nullptr;  // input channel 0
    std::vector<INT32> silence;
    HANDLE readyRequest = nullptr;
    HANDLE readyDone = nullptr;
    HANDLE quit = nullptr;
    HANDLE worker = nullptr;
};
CallbackState Host;

void WriteOutputs(ULONGLONG first)
{
    for (const ASIOBufferInfo& info : Host.buffers) {
        if (info.isInput) continue;
        auto* samples = static_cast<INT32*>(info.buffers[0]);
        for (long frame = 0; frame < Host.bufferSize; ++frame)
            samples[frame] = LoopbackSignal(first + frame, info.channelNum);
    }
}

void OnBufferSwitch(long, ASIOBool)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    ULONGLONG first = Host.feed->Written();
    const INT32* input =
        Host.input != nullptr ? static_cast<const INT32*>(Host.input->buffers[0]) : Host.silence.data();
    Host.feed->Push(input, Host.bufferSize, now.QuadPart);
    WriteOutputs(first);
    if (Host.habit == OutputReadyHabit::InSwitch) {
        Host.driver->outputReady();
    } else if (Host.habit == OutputReadyHabit::FromAnotherThread) {
        SetEvent(Host.readyRequest);
        WaitForSingleObject(Host.readyDone, OutputReadyWaitMs);
    }
}

// A host that finishes its outputs on a worker thread, which then calls outputReady.
DWORD WINAPI OutputReadyWorker(void*)
{
    HANDLE events[] = {Host.quit, Host.readyRequest};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        Host.driver->outputReady();
        SetEvent(Host.readyDone);
    }
    return 0;
}

long AnswerMessage(long selector, long value, void*, double*)
{
    if (selector != kAsioSelectorSupported) return 0;
    return value == kAsioResetRequest || value == kAsioResyncRequest || value == kAsioLatenciesChanged;
}

void StartWorker()
{
    Host.readyRequest = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Host.readyDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Host.quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Host.worker = CreateThread(nullptr, 0, OutputReadyWorker, nullptr, 0, nullptr);
}

void EndWorker()
{
    if (Host.worker != nullptr) {
        SetEvent(Host.quit);
        WaitForSingleObject(Host.worker, INFINITE);
    }
    for (HANDLE* handle : {&Host.worker, &Host.quit, &Host.readyDone, &Host.readyRequest}) {
        if (*handle != nullptr) CloseHandle(*handle);
        *handle = nullptr;
    }
}

}  // namespace

const char* HabitName(OutputReadyHabit habit)
{
    switch (habit) {
    case OutputReadyHabit::InSwitch: return "outputReady in bufferSwitch";
    case OutputReadyHabit::FromAnotherThread: return "outputReady from another thread";
    default: return "no outputReady";
    }
}

template <typename Call>
auto SoakSession::Timed(const char* name, Call call)
{
    DWORD start = GetTickCount();
    auto result = call();
    DWORD took = GetTickCount() - start;
    if (took > longestCallMs_) {
        longestCallMs_ = took;
        longestCall_ = name;
    }
    if (took > HangLimitMs) ++hangs_;
    return result;
}

bool SoakSession::Fail(const std::string& step)
{
    failure_ = step;
    return false;
}

bool SoakSession::Open(const SessionFormat& format)
{
    Close();
    format_ = format;
    failure_.clear();
    driver_ = reinterpret_cast<IAsioDriver*>(&DriverObject);
    driver_->AddRef();
    if (Timed("init", [&] { return driver_->init(nullptr); }) != ASIOTrue) return Fail("init");
    if (Timed("setSampleRate", [&] { return driver_->setSampleRate(format.rate); }) != ASE_OK)
        return Fail("setSampleRate");
    return CreateBuffers();
}

bool SoakSession::CreateBuffers()
{
    long inputs = 0, outputs = 0;
    if (driver_->getChannels(&inputs, &outputs) != ASE_OK) return Fail("getChannels");
    Host.feed = feed_;
    Host.driver = driver_;
    Host.bufferSize = format_.bufferSize;
    Host.habit = format_.habit;
    Host.buffers.clear();
    for (long channel = 0; channel < inputs; ++channel) Host.buffers.push_back({ASIOTrue, channel, {}});
    for (long channel = 0; channel < outputs; ++channel) Host.buffers.push_back({ASIOFalse, channel, {}});
    Host.silence.assign(std::size_t(format_.bufferSize), 0);
    Host.input = nullptr;
    if (format_.habit == OutputReadyHabit::FromAnotherThread && Host.worker == nullptr) StartWorker();
    static ASIOCallbacks callbacks = {OnBufferSwitch, nullptr, AnswerMessage, nullptr};
    if (Timed("createBuffers", [&] {
            return driver_->createBuffers(Host.buffers.data(), long(Host.buffers.size()), format_.bufferSize,
                                          &callbacks);
        }) != ASE_OK)
        return Fail("createBuffers");
    buffersCreated_ = true;
    if (inputs > 0) Host.input = &Host.buffers[0];
    return true;
}

bool SoakSession::Start()
{
    if (driver_ == nullptr) return false;
    if (Timed("start", [&] { return driver_->start(); }) != ASE_OK) return Fail("start");
    started_ = true;
    return true;
}

bool SoakSession::Stop()
{
    if (driver_ == nullptr || !started_) return true;
    started_ = false;
    return Timed("stop", [&] { return driver_->stop(); }) == ASE_OK || Fail("stop");
}

void SoakSession::Close()
{
    if (driver_ == nullptr) return;
    Stop();
    if (buffersCreated_) Timed("disposeBuffers", [&] { return driver_->disposeBuffers(); });
    buffersCreated_ = false;
    Timed("Release", [&] { return driver_->Release(); });
    driver_ = nullptr;
    EndWorker();
    Host.input = nullptr;
    Host.buffers.clear();
}

bool SoakSession::ChangeRate(double rate)
{
    if (Timed("setSampleRate", [&] { return driver_->setSampleRate(rate); }) != ASE_OK) return Fail("setSampleRate");
    format_.rate = rate;
    return true;
}

bool SoakSession::ChangeBufferSize(long bufferSize)
{
    bool wasStarted = started_;
    Stop();
    if (Timed("disposeBuffers", [&] { return driver_->disposeBuffers(); }) != ASE_OK) return Fail("disposeBuffers");
    buffersCreated_ = false;
    format_.bufferSize = bufferSize;
    if (!CreateBuffers()) return false;
    return !wasStarted || Start();
}
