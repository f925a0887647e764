// A host meets the simulated build through COM on a machine without its device (a copy
// whose hardware id matches nothing): the answers a host gets then, the clock that
// keeps calling bufferSwitch, and the habits of real hosts, one group per habit.
#include <gtest/gtest.h>
#include <objbase.h>
#include <mmsystem.h>

#include <cmath>
#include <limits>
#include <string>

#include "driver/tests/simulated_host.h"

namespace {

const DriverUnderTest& Build()
{
    static const DriverUnderTest build = NoDeviceBuild();
    return build;
}

// The copy is registered once for every test of this executable.
const auto* const registration = testing::AddGlobalTestEnvironment(new BuildRegistration(Build));

// Each test loads the DLL afresh (COM unloads it at the end) with no stored settings.
class NoDeviceHost : public testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKey(Build()).c_str());
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ResetRecorder(nullptr);
    }
    void TearDown() override
    {
        Release();
        ResetRecorder(nullptr);
        CoUninitialize();
        RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKey(Build()).c_str());
    }
    IAsioDriver* Create()
    {
        driver = CreateThroughCom(Build());
        EXPECT_NE(driver, nullptr);
        return driver;
    }
    void Release()
    {
        if (driver != nullptr) driver->Release();
        driver = nullptr;
    }
    // Initialised, with both inputs and both outputs, calling back the recorder.
    void Prepare(long bufferSize = 256)
    {
        ASSERT_NE(Create(), nullptr);
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        ResetRecorder(driver);
        ASSERT_EQ(CreateAllBuffers(bufferSize), ASE_OK);
    }
    ASIOError CreateAllBuffers(long bufferSize)
    {
        for (int channel = 0; channel < 4; ++channel)
            infos[channel] = {channel < 2 ? ASIOTrue : ASIOFalse, channel % 2, {}};
        callbacks = RecordingCallbacks();
        return driver->createBuffers(infos, 4, bufferSize, &callbacks);
    }
    unsigned long long SamplePosition()
    {
        ASIOSamples position = {};
        ASIOTimeStamp time = {};
        EXPECT_EQ(driver->getSamplePosition(&position, &time), ASE_OK);
        return SamplesOf(position);
    }
    // Positions seen inside consecutive switches [first, last) grow by the buffer size.
    void ExpectPositionsStepBy(long bufferSize, int first, int last)
    {
        for (int number = first + 1; number < last; ++number)
            ASSERT_EQ(RecordedSwitch(number).samplePosition - RecordedSwitch(number - 1).samplePosition,
                      static_cast<unsigned long long>(bufferSize))
                << "switch " << number;
    }

    IAsioDriver* driver = nullptr;
    ASIOBufferInfo infos[4] = {};
    ASIOCallbacks callbacks = {};
};

TEST_F(NoDeviceHost, OffersTwoNotConnectedChannelsEachWay)
{
    ASSERT_NE(Create(), nullptr);
    EXPECT_EQ(driver->init(nullptr), ASIOTrue);
    long inputs = 0, outputs = 0;
    ASSERT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs, 2);
    EXPECT_EQ(outputs, 2);
    for (ASIOBool input : {ASIOTrue, ASIOFalse}) {
        for (long channel = 0; channel < 2; ++channel) {
            ASIOChannelInfo info = {};
            info.channel = channel;
            info.isInput = input;
            ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
            EXPECT_EQ(std::string(info.name), std::string("Not Connected ") + std::to_string(channel + 1));
            EXPECT_EQ(info.type, ASIOSTInt32LSB);
            EXPECT_EQ(info.channelGroup, 0);
            EXPECT_EQ(info.isActive, ASIOFalse);
        }
    }
    // A channel with a buffer is active.
    ResetRecorder(driver);
    ASIOBufferInfo info = {ASIOTrue, 1, {}};
    ASIOCallbacks recording = RecordingCallbacks();
    ASSERT_EQ(driver->createBuffers(&info, 1, 256, &recording), ASE_OK);
    ASIOChannelInfo channel = {};
    channel.channel = 1;
    channel.isInput = ASIOTrue;
    driver->getChannelInfo(&channel);
    EXPECT_EQ(channel.isActive, ASIOTrue);
    channel.isInput = ASIOFalse;
    driver->getChannelInfo(&channel);
    EXPECT_EQ(channel.isActive, ASIOFalse);
}

TEST_F(NoDeviceHost, ReportsLatenciesBufferSizesRatesAndItsClock)
{
    ASSERT_NE(Create(), nullptr);
    driver->init(nullptr);
    char name[AsioDriverNameSize] = {};
    driver->getDriverName(name);
    EXPECT_EQ(std::string(name), Build().registration.name);
    long input = 0, output = 0;
    ASSERT_EQ(driver->getLatencies(&input, &output), ASE_OK);
    EXPECT_EQ(input, 256);
    EXPECT_EQ(output, 256);
    long minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    ASSERT_EQ(driver->getBufferSize(&minimum, &maximum, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(minimum, 64);
    EXPECT_EQ(maximum, 2048);
    EXPECT_EQ(preferred, 256);
    EXPECT_EQ(granularity, 8);

    ASIOSampleRate rate = 0;
    ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);
    for (double offered : {8000.0, 22050.0, 44100.0, 96000.0, 192000.0})
        EXPECT_EQ(driver->canSampleRate(offered), ASE_OK) << offered;
    for (double refused : {12000.0, 50000.0, 44101.0})
        EXPECT_EQ(driver->canSampleRate(refused), ASE_NoClock) << refused;

    ASIOClockSource clocks[2] = {};
    long count = 2;
    ASSERT_EQ(driver->getClockSources(clocks, &count), ASE_OK);
    EXPECT_EQ(count, 1);
    EXPECT_STREQ(clocks[0].name, "Default");
    EXPECT_EQ(clocks[0].isCurrentSource, ASIOTrue);
    EXPECT_EQ(driver->setClockSource(0), ASE_OK);
    EXPECT_EQ(driver->setClockSource(1), ASE_NoClock);
    EXPECT_EQ(driver->future(kAsioEngineVersion, nullptr), ASE_NotPresent);
}

using IdleClock = NoDeviceHost;

TEST_F(IdleClock, SwitchesAtTheBufferPeriodWithAlternatingIndicesAndAGrowingPosition)
{
    Prepare(256);
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_EQ(SamplePosition(), 0u) << "right after start";
    ASSERT_TRUE(WaitForSwitches(1, 1000));
    int counted = CountSwitchesDuring(1000);
    EXPECT_TRUE(IsPlausibleSwitchCount(counted, 256, 44100)) << counted << " switches in a second";
    ASSERT_EQ(driver->stop(), ASE_OK);

    int switches = RecordedSwitches();
    ASSERT_GT(switches, 100);
    for (int number = 0; number < switches; ++number) {
        EXPECT_EQ(RecordedSwitch(number).index, number % 2) << number;
        EXPECT_EQ(RecordedSwitch(number).directProcess, ASIOTrue);
    }
    EXPECT_EQ(RecordedSwitch(0).samplePosition, 0u);
    ExpectPositionsStepBy(256, 0, switches);
    EXPECT_EQ(CountSwitchesDuring(50), 0) << "stop ends the callbacks";
    EXPECT_EQ(SamplePosition(), 0u) << "stop clears the position";

    ASIOSamples position;
    ASIOTimeStamp time = {};
    driver->getSamplePosition(&position, &time);
    unsigned long long nanoseconds = SamplesOf(time);
    EXPECT_EQ(nanoseconds % 1000000, 0u) << "the time stamp is the wake-up time in milliseconds";
    EXPECT_NEAR(double(nanoseconds / 1000000 & 0xFFFFFFFF), double(timeGetTime()), 200.0);
}

class RateProbesWhileRunning : public NoDeviceHost {};

TEST_F(RateProbesWhileRunning, ProbingLeavesTheStreamAlone)
{
    Prepare(256);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(5, 1000));
    for (int round = 0; round < 50; ++round) {
        for (double probe : {44100.0, 48000.0, 88200.0, 96000.0, 12000.0, 0.0}) driver->canSampleRate(probe);
        ASIOSampleRate rate = 0;
        driver->getSampleRate(&rate);
        ASSERT_EQ(rate, 44100.0);
        Sleep(2);
    }
    EXPECT_EQ(driver->setSampleRate(44100), ASE_OK) << "the running rate again";
    ASSERT_TRUE(WaitForSwitches(RecordedSwitches() + 5, 1000));
    driver->stop();
    ExpectPositionsStepBy(256, 0, RecordedSwitches());
}

TEST_F(RateProbesWhileRunning, ANewRateRestartsTheClockAtItsPeriodAndKeepsThePosition)
{
    Prepare(480);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(5, 1000));
    ASSERT_EQ(driver->setSampleRate(96000), ASE_OK);
    ASIOSampleRate rate = 0;
    driver->getSampleRate(&rate);
    EXPECT_EQ(rate, 96000.0);
    ASSERT_TRUE(WaitForSwitches(RecordedSwitches() + 2, 1000));
    int counted = CountSwitchesDuring(1000);
    EXPECT_TRUE(IsPlausibleSwitchCount(counted, 480, 96000)) << counted << " switches in a second";
    driver->stop();
    ExpectPositionsStepBy(480, 0, RecordedSwitches());
}

class HostThatNeverSetsTheRate : public NoDeviceHost {};

TEST_F(HostThatNeverSetsTheRate, RunsAtTheStoredRate)
{
    StoreDefaultsValue(Build(), "SampleRate", 48000);
    Prepare(480);
    ASIOSampleRate rate = 0;
    driver->getSampleRate(&rate);
    EXPECT_EQ(rate, 48000.0);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(1, 1000));
    int counted = CountSwitchesDuring(1000);
    EXPECT_TRUE(IsPlausibleSwitchCount(counted, 480, 48000)) << counted << " switches in a second";
}

TEST_F(HostThatNeverSetsTheRate, RunsAtTheDefaultRateWhenTheStoredOneIsUnusable)
{
    StoreDefaultsValue(Build(), "SampleRate", 0);
    Prepare(256);
    ASIOSampleRate rate = 0;
    driver->getSampleRate(&rate);
    EXPECT_EQ(rate, 44100.0);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(10, 1000)) << "the clock runs at a real rate";
}

class OutputReadyHabits : public NoDeviceHost {};

TEST_F(OutputReadyHabits, CalledBeforeStartItChangesNothing)
{
    ASSERT_NE(Create(), nullptr);
    EXPECT_EQ(driver->outputReady(), ASE_NotPresent) << "before init";
    driver->init(nullptr);
    ResetRecorder(driver);
    ASSERT_EQ(CreateAllBuffers(256), ASE_OK);
    for (int call = 0; call < 3; ++call) EXPECT_EQ(driver->outputReady(), ASE_NotPresent);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(5, 1000));
    driver->stop();
    EXPECT_EQ(RecordedSwitch(0).samplePosition, 0u);
    ExpectPositionsStepBy(256, 0, RecordedSwitches());
}

TEST_F(OutputReadyHabits, CalledInEverySwitchItAnswersNotPresentAndCountsEachBufferOnce)
{
    Prepare(256);
    CallOutputReadyInSwitch = true;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(20, 2000));
    driver->stop();
    for (int number = 0; number < RecordedSwitches(); ++number)
        EXPECT_EQ(RecordedSwitch(number).outputReadyResult, ASE_NotPresent);
    ExpectPositionsStepBy(256, 0, RecordedSwitches());
}

class OutOfOrderCalls : public NoDeviceHost {};

TEST_F(OutOfOrderCalls, BeforeInitNothingRunsAndNothingIsWritten)
{
    ASSERT_NE(Create(), nullptr);
    ResetRecorder(driver);
    ASIOBufferInfo info = {ASIOFalse, 0, {infos, infos}};
    ASIOCallbacks recording = RecordingCallbacks();
    EXPECT_EQ(driver->createBuffers(&info, 1, 256, &recording), ASE_InvalidMode);
    EXPECT_EQ(info.buffers[0], infos);
    EXPECT_EQ(driver->start(), ASE_NotPresent);
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(driver->createBuffers(&info, 1, 256, &recording), ASE_OK);
}

TEST_F(OutOfOrderCalls, StopBeforeStartAndDisposeTwiceSucceed)
{
    Prepare();
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_NotPresent) << "no buffers";
    EXPECT_EQ(RecordedSwitches(), 0);
}

TEST_F(OutOfOrderCalls, CreateBuffersTwiceReplacesTheFirstBuffers)
{
    Prepare(256);
    ASSERT_EQ(CreateAllBuffers(512), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(3, 1000));
    driver->stop();
    ExpectPositionsStepBy(512, 0, RecordedSwitches());
    // The host writes its whole buffers: the memory is there and its own.
    for (const ASIOBufferInfo& info : infos) static_cast<volatile INT32*>(info.buffers[0])[511] = 1;
}

TEST_F(OutOfOrderCalls, InitWhileRunningEndsTheStreamAndTheBuffers)
{
    Prepare();
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(3, 1000));
    EXPECT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(CountSwitchesDuring(50), 0);
    EXPECT_EQ(driver->start(), ASE_NotPresent);
    long inputs = 0, outputs = 0;
    driver->getChannels(&inputs, &outputs);
    EXPECT_EQ(inputs + outputs, 4);
}

TEST_F(OutOfOrderCalls, StartTwiceRestartsFromPositionZero)
{
    Prepare();
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(5, 1000));
    ASSERT_EQ(driver->start(), ASE_OK);
    int restart = RecordedSwitches();
    ASSERT_TRUE(WaitForSwitches(restart + 5, 1000));
    driver->stop();
    EXPECT_EQ(RecordedSwitch(restart).samplePosition, 0u);
    EXPECT_EQ(RecordedSwitch(restart).index, 0);
    ExpectPositionsStepBy(256, restart, RecordedSwitches());
}

TEST_F(OutOfOrderCalls, ReleaseWhileRunningEndsTheCallbacks)
{
    Prepare();
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(3, 1000));
    ResetRecorder(nullptr);
    Release();
    EXPECT_EQ(CountSwitchesDuring(50), 0);
}

TEST_F(OutOfOrderCalls, StopFromInsideBufferSwitchReturnsAndEndsTheStream)
{
    Prepare();
    StopInFirstSwitch = true;
    DWORD started = GetTickCount();
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(1, 1000));
    Sleep(50);
    EXPECT_EQ(RecordedSwitches(), 1);
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_LT(GetTickCount() - started, 2000u) << "nobody waited for the stop limit";
    ASSERT_EQ(driver->start(), ASE_OK) << "the host may start again";
    ASSERT_TRUE(WaitForSwitches(3, 1000));
}

class GarbageArguments : public NoDeviceHost {};

TEST_F(GarbageArguments, CreateBuffersRefusesWholeRequestsItCannotServeAndWritesNothing)
{
    ASSERT_NE(Create(), nullptr);
    driver->init(nullptr);
    ResetRecorder(driver);
    ASIOCallbacks recording = RecordingCallbacks();
    ASIOCallbacks withoutSwitch = {nullptr, nullptr, nullptr, nullptr};
    void* const untouched = &recording;
    struct Request {
        const char* what;
        ASIOBufferInfo second;
        long count;
        long bufferSize;
        ASIOCallbacks* callbacks;
        ASIOError expected;
    } requests[] = {
        {"no callbacks", {ASIOFalse, 1, {}}, 2, 256, nullptr, ASE_InvalidParameter},
        {"no bufferSwitch", {ASIOFalse, 1, {}}, 2, 256, &withoutSwitch, ASE_InvalidParameter},
        {"no channels", {ASIOFalse, 1, {}}, 0, 256, &recording, ASE_InvalidParameter},
        {"negative count", {ASIOFalse, 1, {}}, -1, 256, &recording, ASE_InvalidParameter},
        {"negative channel", {ASIOTrue, -1, {}}, 2, 256, &recording, ASE_InvalidMode},
        {"output one past the last", {ASIOFalse, 2, {}}, 2, 256, &recording, ASE_InvalidMode},
        {"input one past the last", {ASIOTrue, 2, {}}, 2, 256, &recording, ASE_InvalidMode},
        {"zero frames", {ASIOFalse, 1, {}}, 2, 0, &recording, ASE_InvalidMode},
        {"below 64 frames", {ASIOFalse, 1, {}}, 2, 63, &recording, ASE_InvalidMode},
        {"above 2048 frames", {ASIOFalse, 1, {}}, 2, 2049, &recording, ASE_InvalidMode},
        {"negative frames", {ASIOFalse, 1, {}}, 2, -256, &recording, ASE_InvalidMode},
    };
    for (const Request& request : requests) {
        ASIOBufferInfo list[2] = {{ASIOFalse, 0, {untouched, untouched}}, request.second};
        list[1].buffers[0] = list[1].buffers[1] = untouched;
        EXPECT_EQ(driver->createBuffers(list, request.count, request.bufferSize, request.callbacks), request.expected)
            << request.what;
        EXPECT_EQ(list[0].buffers[0], untouched) << request.what;
        EXPECT_EQ(list[1].buffers[1], untouched) << request.what;
        EXPECT_EQ(driver->start(), ASE_NotPresent) << request.what << ": the driver is left initialised";
    }
    EXPECT_EQ(driver->createBuffers(nullptr, 2, 256, &recording), ASE_InvalidParameter);
    EXPECT_EQ(RecordedSwitches(), 0);
}

TEST_F(GarbageArguments, ChannelInfoOutsideTheChannelsIsNotPresent)
{
    ASSERT_NE(Create(), nullptr);
    driver->init(nullptr);
    EXPECT_EQ(driver->getChannelInfo(nullptr), ASE_InvalidParameter);
    for (long channel : {-1L, 2L, 1024L, -2147483647L - 1}) {
        ASIOChannelInfo info = {};
        info.channel = channel;
        info.isInput = ASIOTrue;
        EXPECT_EQ(driver->getChannelInfo(&info), ASE_NotPresent) << channel;
    }
    ASIOChannelInfo info = {};
    info.channel = 1;
    info.isInput = 7;  // anything but 1 means an output
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Not Connected 2");
}

TEST_F(GarbageArguments, NullOutPointersAreRefused)
{
    ASSERT_NE(Create(), nullptr);
    driver->init(nullptr);
    long value = 0;
    EXPECT_EQ(driver->getChannels(nullptr, &value), ASE_InvalidParameter);
    EXPECT_EQ(driver->getChannels(&value, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getLatencies(&value, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getBufferSize(&value, &value, nullptr, &value), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSampleRate(nullptr), ASE_InvalidParameter);
    ASIOSamples position;
    ASIOTimeStamp time;
    EXPECT_EQ(driver->getSamplePosition(nullptr, &time), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSamplePosition(&position, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getClockSources(nullptr, nullptr), ASE_InvalidParameter);
    driver->getDriverName(nullptr);
    driver->getErrorMessage(nullptr);
}

TEST_F(GarbageArguments, RatesThatNoDeviceRunsAtHaveNoClock)
{
    ASSERT_NE(Create(), nullptr);
    driver->init(nullptr);
    const double infinity = std::numeric_limits<double>::infinity();
    for (double rate : {std::nan(""), infinity, -infinity, 0.0, -0.0, -44100.0, 1e-300, 0.4, 7999.4, 768000.6, 1e12,
                        1e300, 4294967296.0 * 44100}) {
        EXPECT_EQ(driver->canSampleRate(rate), ASE_NoClock) << rate;
        EXPECT_EQ(driver->setSampleRate(rate), ASE_NoClock) << rate;
    }
    ASIOSampleRate current = 0;
    driver->getSampleRate(&current);
    EXPECT_EQ(current, 44100.0);
    EXPECT_EQ(driver->canSampleRate(44099.6), ASE_OK) << "rounded to the nearest hertz";
    EXPECT_EQ(driver->canSampleRate(768000.4), ASE_OK);
}

class SecondDriverObject : public NoDeviceHost {};

TEST_F(SecondDriverObject, ServesTheHostAfterTheFirstWasReleasedWhileRunning)
{
    Prepare();
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(3, 1000));
    ResetRecorder(nullptr);
    Release();

    // The DLL stays loaded, so this init is the process's second.
    Prepare(128);
    ASIOChannelInfo info = {};
    info.channel = 1;
    info.isInput = ASIOFalse;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Not Connected 2");
    EXPECT_EQ(info.isActive, ASIOTrue);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(5, 1000));
    driver->stop();
    ExpectPositionsStepBy(128, 0, RecordedSwitches());
}

}  // namespace
