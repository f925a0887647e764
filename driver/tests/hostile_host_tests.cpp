// A host written to be careless, against the registered simulated build of this
// bitness: it calls the driver from several threads at once, from inside its own
// bufferSwitch, and in orders no sample host uses. After each habit a fresh session in
// the same process must stream, and once every session is released no thread, handle
// or block of memory of the driver may be left behind.
#include <gtest/gtest.h>
#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "driver/tests/simulated_host.h"
#include "test_support/process_holdings.h"
#include "test_support/windows_test_support.h"

namespace {

#if defined(KASKADE_PRODUCT_QORDA_8)
constexpr long ProductInputs = 8;
constexpr long ProductOutputs = 8;
#else
constexpr long ProductInputs = 2;
constexpr long ProductOutputs = 4;
#endif
constexpr long BufferSize = 256;
constexpr double Rate = 44100;
// What "returns promptly" may take here: well under a second on an idle machine, with
// room for a loaded one. A driver that waits for a blocked thread takes 10 s.
constexpr DWORD PromptMs = 3000;
constexpr DWORD TerminatedExitCode = 0xBAADF00D;

const auto* const registration = testing::AddGlobalTestEnvironment(new BuildRegistration(SimulatedBuild));

// The host's callbacks are plain functions, so what they see and do is global.
std::atomic<IAsioDriver*> CallbackDriver;
std::atomic<int> Switches;
std::atomic<int> HabitAtSwitch{-1};
std::function<void(IAsioDriver*)> Habit;
// The thread of every switch, by switch number.
constexpr int RecordedThreads = 8192;
std::atomic<DWORD> SwitchThreads[RecordedThreads];

void OnBufferSwitch(long, ASIOBool)
{
    int number = Switches.load();
    if (number < RecordedThreads) SwitchThreads[number] = GetCurrentThreadId();
    Switches.store(number + 1);
    if (number == HabitAtSwitch.load()) {
        HabitAtSwitch = -1;
        // A copy: the habit may arm the next one.
        std::function<void(IAsioDriver*)> habit = Habit;
        habit(CallbackDriver.load());
    }
}

long AnswerNoMessage(long, long, void*, double*)
{
    return 0;
}

void ForgetSwitches()
{
    HabitAtSwitch = -1;
    Switches = 0;
}

// Runs `habit` inside the bufferSwitch that comes `after` switches from now.
void DoInSwitch(int after, std::function<void(IAsioDriver*)> habit)
{
    Habit = std::move(habit);
    HabitAtSwitch = Switches.load() + after;
}

bool WaitForSwitchCount(int count, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (Switches.load() < count)
        if (GetTickCount() - start > timeoutMs)
            return false;
        else
            Sleep(1);
    return true;
}

// A handle on the calling thread that outlives it, to see how it ended.
HANDLE CurrentThreadHandle()
{
    HANDLE thread = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread,
                    SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0);
    return thread;
}

// "ended by itself", "terminated", or "still running": the end of a thread whose handle
// a callback took, waited for up to `timeoutMs`. Closes the handle.
std::string HowItEnded(HANDLE thread, DWORD timeoutMs = PromptMs)
{
    if (thread == nullptr) return "never seen";
    std::string ending = "still running";
    if (WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        GetExitCodeThread(thread, &exitCode);
        ending = exitCode == TerminatedExitCode ? "terminated" : "ended by itself";
    }
    CloseHandle(thread);
    return ending;
}

DWORD MillisecondsOf(const std::function<void()>& call)
{
    DWORD start = GetTickCount();
    call();
    return GetTickCount() - start;
}

// An event for one thread to tell another that it got somewhere.
class Signal {
public:
    Signal() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Signal() { CloseHandle(event_); }
    void Set() { SetEvent(event_); }
    bool Wait(DWORD timeoutMs = 5000) { return WaitForSingleObject(event_, timeoutMs) == WAIT_OBJECT_0; }

private:
    HANDLE event_;
};

// One host session: the driver created through COM, initialised, with buffers for every
// channel and the recording callbacks.
class Session {
public:
    bool Open(long bufferSize = BufferSize)
    {
        driver = CreateThroughCom(SimulatedBuild());
        if (driver == nullptr) return false;
        CallbackDriver = driver;
        if (driver->init(nullptr) != ASIOTrue) return false;
        return CreateBuffers(bufferSize) == ASE_OK;
    }
    ASIOError CreateBuffers(long bufferSize = BufferSize)
    {
        long inputs = 0, outputs = 0;
        driver->getChannels(&inputs, &outputs);
        long count = 0;
        for (long channel = 0; channel < inputs && count < 64; ++channel) infos[count++] = {ASIOTrue, channel, {}};
        for (long channel = 0; channel < outputs && count < 64; ++channel) infos[count++] = {ASIOFalse, channel, {}};
        return driver->createBuffers(infos, count, bufferSize, &callbacks);
    }
    // Starts and waits for the stream to reach the host.
    bool Stream()
    {
        ForgetSwitches();
        return driver->start() == ASE_OK && WaitForSwitchCount(3, 5000);
    }
    void Close()
    {
        if (driver == nullptr) return;
        driver->stop();
        driver->disposeBuffers();
        driver->Release();
        driver = nullptr;
    }
    ~Session() { Close(); }

    IAsioDriver* driver = nullptr;
    ASIOBufferInfo infos[64] = {};
    ASIOCallbacks callbacks = {OnBufferSwitch, nullptr, AnswerNoMessage, nullptr};
};

std::string DllFileName()
{
    const std::string path = SimulatedBuild().dllPath;
    return path.substr(path.find_last_of('\\') + 1);
}

// The host lets COM unload what it no longer uses; true once the driver's DLL is gone.
bool UnloadUnusedLibraries(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        CoFreeUnusedLibrariesEx(0, 0);
        if (GetModuleHandleA(DllFileName().c_str()) == nullptr) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(10);
    }
}

// What the process may gain meanwhile that is not the driver's: Wine gives a critical
// section an event of its own the first time two threads meet at it, for the rest of
// the process, and the heaps grow with the test's own threads and calls. A session's
// handles (a thread, the streaming events, each pin's events) and its memory blocks
// left behind are more.
constexpr std::size_t FirstMeetingEvents = 2;
constexpr std::size_t HeapSlackBytes = 256 * 1024;

class HostileHost : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The system library the driver loads with it stays, as in a host's process:
        // its own load and unload are not the driver's to count. One whole session
        // first, so that what Wine and the test framework make once per process (a
        // trace makes the framework's thread watcher) is there before anything is
        // counted.
        LoadLibraryA("winmm.dll");
        SCOPED_TRACE("warm-up");
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        {
            Session warmUp;
            ASSERT_TRUE(warmUp.Open());
            ASSERT_TRUE(warmUp.Stream());
        }
        ASSERT_TRUE(UnloadUnusedLibraries(5000));
        // What loading and unloading the DLL costs the process by itself, nothing
        // created: the 32-bit C++ runtime registers the DLL's unwind tables at load,
        // which gives the loading thread a record of the threads library that the
        // unload leaves behind.
        const std::size_t handles = CountOpenHandles();
        HMODULE loaded = LoadLibraryA(SimulatedBuild().dllPath.c_str());
        FreeLibrary(loaded);
        const std::size_t afterUnload = CountOpenHandles();
        loadCostHandles = afterUnload > handles ? afterUnload - handles : 0;
        CoUninitialize();
    }
    // Each habit starts from the driver loaded and idle, after a session like the host's.
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ForgetSwitches();
        {
            Session first;
            ASSERT_TRUE(first.Open());
            ASSERT_TRUE(first.Stream());
        }
        before = SettledHoldings();
    }
    void TearDown() override
    {
        ForgetSwitches();
        CallbackDriver = nullptr;
        UnloadUnusedLibraries(5000);
        CoUninitialize();
    }

    // The process can still stream: a new session runs at the block rate and stops
    // promptly.
    void ExpectAFreshSessionStreams()
    {
        Session fresh;
        ASSERT_TRUE(fresh.Open()) << "a new session could not be opened";
        long inputs = 0, outputs = 0;
        fresh.driver->getChannels(&inputs, &outputs);
        EXPECT_EQ(inputs, ProductInputs) << "the device is still found";
        EXPECT_EQ(outputs, ProductOutputs);
        ASIOSampleRate rate = 0;
        fresh.driver->getSampleRate(&rate);
        ASSERT_TRUE(fresh.Stream()) << "no switches in a new session";
        int counted = 2 * CountSwitchesFor(500);
        EXPECT_TRUE(IsPlausibleSwitchCount(counted, BufferSize, rate)) << counted << " switches a second at " << rate;
        EXPECT_LT(MillisecondsOf([&] { fresh.driver->stop(); }), PromptMs);
    }

    // With every session released, the process holds what it held before the habit:
    // no thread, no handle, no block of memory more.
    void ExpectNothingLeftBehind()
    {
        ProcessHoldings now = SettledHoldings();
        EXPECT_LE(now.threads, before.threads) << "threads left behind";
        EXPECT_LE(now.handles, before.handles + FirstMeetingEvents) << "handles left behind";
        EXPECT_LE(now.committedBytes, before.committedBytes + HeapSlackBytes)
            << (now.committedBytes - before.committedBytes) / 1024 << " KiB more committed memory";
    }

    static int CountSwitchesFor(DWORD milliseconds)
    {
        int before = Switches.load();
        Sleep(milliseconds);
        return Switches.load() - before;
    }

    ProcessHoldings before = {};
    static std::size_t loadCostHandles;
};

std::size_t HostileHost::loadCostHandles;

// The host's audio thread asks the driver something while another host thread is in an
// operation that ends the stream: neither waits for the other.
TEST_F(HostileHost, AsksFromInsideBufferSwitchWhileAnotherThreadEndsTheStream)
{
    const struct {
        const char* name;
        std::function<void(Session&)> call;
    } operations[] = {
        {"stop", [](Session& session) { session.driver->stop(); }},
        {"disposeBuffers", [](Session& session) { session.driver->disposeBuffers(); }},
        {"createBuffers", [](Session& session) { session.CreateBuffers(); }},
        {"init", [](Session& session) { session.driver->init(nullptr); }},
    };
    for (const auto& operation : operations) {
        SCOPED_TRACE(operation.name);
        Session session;
        ASSERT_TRUE(session.Open());
        ASSERT_TRUE(session.Stream());
        Signal inCallback;
        std::atomic<HANDLE> streamingThread{nullptr};
        std::atomic<ASIOError> asked{1};
        DoInSwitch(2, [&](IAsioDriver* driver) {
            streamingThread = CurrentThreadHandle();
            inCallback.Set();
            // Long enough for the other thread to be inside its call.
            Sleep(100);
            long input = 0, output = 0;
            ASIOError result = driver->getLatencies(&input, &output);
            ASIOSampleRate rate = 0;
            if (result == ASE_OK) result = driver->getSampleRate(&rate);
            long inputs = 0, outputs = 0;
            if (result == ASE_OK) result = driver->getChannels(&inputs, &outputs);
            asked = result;
        });
        ASSERT_TRUE(inCallback.Wait());
        DWORD took = MillisecondsOf([&] { operation.call(session); });
        EXPECT_LT(took, PromptMs) << operation.name << " waited for the blocked callback";
        EXPECT_EQ(asked.load(), ASE_OK) << "the driver answered inside bufferSwitch";
        EXPECT_EQ(HowItEnded(streamingThread.load()), "ended by itself");
        std::printf("[ timing   ] %s beside a callback that asks the driver: %lu ms\n", operation.name, took);
    }
    ExpectAFreshSessionStreams();
    ExpectNothingLeftBehind();
}

// The host drops its last reference from inside bufferSwitch and then unloads unused
// libraries while the callback is still running: the code the thread returns to stays.
TEST_F(HostileHost, ReleasesTheDriverInsideBufferSwitchAndUnloadsIt)
{
    ASSERT_TRUE(UnloadUnusedLibraries(5000));
    const ProcessHoldings unloaded = SettledHoldings();
    {
        Session session;
        ASSERT_TRUE(session.Open());
        ASSERT_TRUE(session.Stream());
        Signal released;
        std::atomic<HANDLE> streamingThread{nullptr};
        std::atomic<ULONG> count{~0u};
        DoInSwitch(2, [&](IAsioDriver* driver) {
            streamingThread = CurrentThreadHandle();
            count = driver->Release();
            released.Set();
            // The host's other thread unloads libraries meanwhile.
            Sleep(300);
        });
        session.driver = nullptr;
        ASSERT_TRUE(released.Wait());
        EXPECT_EQ(count.load(), 0u);
        EXPECT_FALSE(UnloadUnusedLibraries(100)) << "the DLL went while its thread was in the host's callback";
        EXPECT_EQ(HowItEnded(streamingThread.load()), "ended by itself");
    }
    ASSERT_TRUE(UnloadUnusedLibraries(5000)) << "the thread left the DLL loaded";
    // Unloaded again, the process holds what it held before, but for what a load of the
    // DLL itself costs. (Memory is not compared: the simulated devices' clock thread,
    // ended inside the unload, leaves its stack, as a terminated thread does.)
    ProcessHoldings now = SettledHoldings();
    EXPECT_LE(now.threads, unloaded.threads) << "threads left behind";
    EXPECT_LE(now.handles, unloaded.handles + loadCostHandles + FirstMeetingEvents) << "handles left behind";
    ExpectAFreshSessionStreams();
}

// A host that loads the DLL to look at it and unloads it at once, again and again, as
// driver lists and registration tools do: nothing runs on after it, nothing breaks.
TEST_F(HostileHost, LoadsAndUnloadsTheDllWithoutUsingIt)
{
    ASSERT_TRUE(UnloadUnusedLibraries(5000));
    for (int round = 0; round < 50; ++round) {
        HMODULE loaded = LoadLibraryA(SimulatedBuild().dllPath.c_str());
        ASSERT_NE(loaded, nullptr) << "round " << round;
        FreeLibrary(loaded);
    }
    ExpectAFreshSessionStreams();
}

// start (or stop and start) called from inside bufferSwitch: one thread streams on, at
// the block rate, and the next stop ends it promptly.
TEST_F(HostileHost, StartsFromInsideBufferSwitch)
{
    for (bool stopFirst : {false, true}) {
        SCOPED_TRACE(stopFirst ? "stop, then start" : "start");
        Session session;
        ASSERT_TRUE(session.Open());
        ASSERT_TRUE(session.Stream());
        Signal restarted;
        std::atomic<HANDLE> firstThread{nullptr};
        std::atomic<ASIOError> result{1};
        std::atomic<int> restartedAt{0};
        DoInSwitch(2, [&](IAsioDriver* driver) {
            firstThread = CurrentThreadHandle();
            if (stopFirst) driver->stop();
            result = driver->start();
            restartedAt = Switches.load();
            restarted.Set();
        });
        ASSERT_TRUE(restarted.Wait());
        EXPECT_EQ(result.load(), ASE_OK);
        EXPECT_EQ(HowItEnded(firstThread.load()), "ended by itself") << "the first thread ends with its callback";

        ASSERT_TRUE(WaitForSwitchCount(restartedAt + 3, 5000)) << "no switches after the start";
        const int from = Switches.load();
        int counted = 2 * CountSwitchesFor(500);
        EXPECT_TRUE(IsPlausibleSwitchCount(counted, BufferSize, Rate)) << counted << " switches a second";
        const int to = Switches.load();
        for (int number = from + 1; number < to && number < RecordedThreads; ++number)
            ASSERT_EQ(SwitchThreads[number].load(), SwitchThreads[from].load())
                << "switch " << number << " came from a second thread";

        std::atomic<HANDLE> secondThread{nullptr};
        Signal seen;
        DoInSwitch(1, [&](IAsioDriver*) {
            secondThread = CurrentThreadHandle();
            seen.Set();
        });
        ASSERT_TRUE(seen.Wait());
        EXPECT_LT(MillisecondsOf([&] { session.driver->stop(); }), PromptMs);
        EXPECT_EQ(HowItEnded(secondThread.load()), "ended by itself");
    }
    ExpectAFreshSessionStreams();
    ExpectNothingLeftBehind();
}

// Runs `work` on `count` threads released together, each with a COM apartment of its own.
void OnThreadsAtOnce(int count, const std::function<void(int)>& work)
{
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int index = 0; index < count; ++index)
        threads.emplace_back([&, index] {
            CoInitialize(nullptr);
            ++ready;
            while (!go.load()) YieldProcessor();
            work(index);
            CoUninitialize();
        });
    while (ready.load() < count) Sleep(0);
    go = true;
    for (std::thread& thread : threads) thread.join();
}

struct ChannelView {
    long inputs = 0;
    long outputs = 0;
    std::string firstInputName;
};

ChannelView ViewChannels(IAsioDriver* driver)
{
    ChannelView view;
    driver->getChannels(&view.inputs, &view.outputs);
    ASIOChannelInfo info = {};
    info.isInput = ASIOTrue;
    if (driver->getChannelInfo(&info) == ASE_OK) view.firstInputName = info.name;
    return view;
}

void ExpectTheProduct(const ChannelView& view)
{
    EXPECT_EQ(view.inputs, ProductInputs);
    EXPECT_EQ(view.outputs, ProductOutputs);
    EXPECT_EQ(view.firstInputName.find("Not Connected"), std::string::npos) << view.firstInputName;
}

// init on one object from two threads at once, and two objects created and initialised
// on two threads at once while the first reference starts the module: the device is
// found by both, and no pin stays held.
TEST_F(HostileHost, InitialisesOnTwoThreadsAtOnce)
{
    constexpr int Rounds = 6;
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Session session;
        session.driver = CreateThroughCom(SimulatedBuild());
        ASSERT_NE(session.driver, nullptr);
        ChannelView views[2];
        OnThreadsAtOnce(2, [&](int index) {
            session.driver->init(nullptr);
            views[index] = ViewChannels(session.driver);
        });
        ExpectTheProduct(ViewChannels(session.driver));
    }
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE("created at once, round " + std::to_string(round));
        ChannelView views[2];
        OnThreadsAtOnce(2, [&](int index) {
            IAsioDriver* driver = CreateThroughCom(SimulatedBuild());
            if (driver == nullptr) return;
            driver->init(nullptr);
            views[index] = ViewChannels(driver);
            driver->Release();
        });
        for (const ChannelView& view : views) ExpectTheProduct(view);
    }
    ExpectAFreshSessionStreams();
    ExpectNothingLeftBehind();
}

// Two committed pages, the second made inaccessible: a block placed at the end of the
// first is followed by nothing the driver may touch.
class GuardedPage {
public:
    GuardedPage()
    {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        pageSize_ = system.dwPageSize;
        base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * pageSize_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + pageSize_, pageSize_, PAGE_NOACCESS, &old);
    }
    ~GuardedPage() { VirtualFree(base_, 0, MEM_RELEASE); }
    // `bytes` at the very end of the accessible page.
    template <typename T>
    T* AtEnd(std::size_t bytes)
    {
        return reinterpret_cast<T*>(base_ + pageSize_ - bytes);
    }

private:
    BYTE* base_;
    std::size_t pageSize_;
};

// Arrays no longer than the host says: nothing is read or written past them.
TEST_F(HostileHost, KeepsWithinTheArraysItIsGiven)
{
    Session session;
    ASSERT_TRUE(session.Open());
    GuardedPage page;

    long count = 0;
    auto* noClocks = page.AtEnd<ASIOClockSource>(0);
    EXPECT_EQ(session.driver->getClockSources(noClocks, &count), ASE_InvalidParameter);
    EXPECT_EQ(count, 1) << "the driver still says how many sources it has";
    auto* oneClock = page.AtEnd<ASIOClockSource>(sizeof(ASIOClockSource));
    count = 1;
    EXPECT_EQ(session.driver->getClockSources(oneClock, &count), ASE_OK);
    EXPECT_STREQ(oneClock->name, "Default");

    auto* oneBuffer = page.AtEnd<ASIOBufferInfo>(sizeof(ASIOBufferInfo));
    *oneBuffer = {ASIOFalse, 0, {}};
    EXPECT_EQ(
        session.driver->createBuffers(oneBuffer, ProductInputs + ProductOutputs + 1, BufferSize, &session.callbacks),
        ASE_InvalidMode);
    EXPECT_EQ(oneBuffer->buffers[0], nullptr) << "a refused request writes nothing";
    EXPECT_EQ(session.driver->start(), ASE_NotPresent);
    EXPECT_EQ(session.driver->createBuffers(oneBuffer, 1, BufferSize, &session.callbacks), ASE_OK);
    EXPECT_NE(oneBuffer->buffers[0], nullptr);
    session.Close();
    ExpectAFreshSessionStreams();
    ExpectNothingLeftBehind();
}

// Every operation in random order with random arguments, from two host threads and from
// inside bufferSwitch: answers are ASIO errors, no call hangs, and the device stays found.
TEST_F(HostileHost, SurvivesEveryOperationInAnyOrderFromAnyThread)
{
    const unsigned seed = std::random_device()();
    std::printf("[ seed     ] %u\n", seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Session session;
    ASSERT_TRUE(session.Open());

    // One random operation of the 21, each with arguments good and bad. (The driver's
    // reference count is the host's own business and is left alone.)
    auto callSomething = [&](std::mt19937& random) {
        IAsioDriver* driver = session.driver;
        const double rates[] = {0, -1, 44100, 48000, 96000, 1e12, 12000};
        const long sizes[] = {0, -64, 64, 256, 2048, 4096, 100};
        ASIOBufferInfo infos[4] = {{ASIOTrue, 0, {}},
                                   {ASIOFalse, long(random() % 10) - 2, {}},
                                   {long(random() % 3), 1, {}},
                                   {ASIOFalse, 1, {}}};
        long a = 0, b = 0, c = 0, d = 0;
        ASIOSampleRate rate = 0;
        ASIOClockSource clocks[2] = {};
        ASIOSamples position;
        ASIOTimeStamp time;
        ASIOChannelInfo info = {};
        char text[128];
        switch (random() % 19) {
        case 0: driver->getDriverName(text); break;
        case 1: driver->getDriverVersion(); break;
        case 2: driver->getErrorMessage(text); break;
        case 3: driver->start(); break;
        case 4: driver->stop(); break;
        case 5: driver->getChannels(&a, &b); break;
        case 6: driver->getLatencies(&a, &b); break;
        case 7: driver->getBufferSize(&a, &b, &c, &d); break;
        case 8: driver->canSampleRate(rates[random() % 7]); break;
        case 9: driver->getSampleRate(&rate); break;
        case 10: driver->setSampleRate(rates[random() % 7]); break;
        case 11:
            a = long(random() % 4) - 1;
            driver->getClockSources(clocks, &a);
            break;
        case 12: driver->setClockSource(long(random() % 3) - 1); break;
        case 13: driver->getSamplePosition(&position, &time); break;
        case 14:
            info.channel = long(random() % 24) - 4;
            info.isInput = long(random() % 3);
            driver->getChannelInfo(&info);
            break;
        case 15: driver->createBuffers(infos, long(random() % 5), sizes[random() % 7], &session.callbacks); break;
        case 16: driver->disposeBuffers(); break;
        case 17: random() % 2 ? driver->outputReady() : driver->future(long(random() % 10), nullptr); break;
        case 18: driver->init(nullptr); break;
        }
    };

    std::atomic<bool> running{true};
    std::atomic<unsigned> calls{0};
    std::mt19937 callbackRandom(seed ^ 0x5A5A5A5A);
    std::function<void(IAsioDriver*)> inCallback = [&](IAsioDriver*) {
        if (callbackRandom() % 8 == 0) callSomething(callbackRandom);
        ++calls;
        if (running) DoInSwitch(1 + int(callbackRandom() % 4), inCallback);
    };
    DoInSwitch(1, inCallback);
    auto hostThread = [&](unsigned threadSeed) {
        std::mt19937 random(threadSeed);
        while (running) {
            callSomething(random);
            ++calls;
            if (random() % 4 == 0) Sleep(DWORD(random() % 20));
        }
    };
    std::thread first(hostThread, seed), second(hostThread, seed + 1);
    // A call that hangs stops the count.
    unsigned before = calls.load();
    for (int period = 0; period < 3; ++period) {
        Sleep(1000);
        unsigned now = calls.load();
        EXPECT_GT(now, before) << "no call returned for a second";
        before = now;
    }
    running = false;
    first.join();
    second.join();
    HabitAtSwitch = -1;
    session.Close();
    ExpectAFreshSessionStreams();
    ExpectNothingLeftBehind();
}

}  // namespace
