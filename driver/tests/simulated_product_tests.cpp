// A host meets the simulated build through COM with its product plugged in: the
// QORDA-8 for the 64-bit build, the QORDA DESK PRO for the 32-bit one. It lists the
// channels and their names, reads latencies, buffer sizes and rates, and runs it.
#include <gtest/gtest.h>
#include <objbase.h>

#include <string>

#include "driver/tests/simulated_host.h"

namespace {

struct Product {
    long inputs;
    long outputs;
    const char* channelName;  // the pins' display name
    double highestRate;
};

#if defined(KASKADE_PRODUCT_QORDA_8)
const Product Plugged = {8, 8, "QORDA-8", 96000};
#else
const Product Plugged = {2, 4, "QORDA DESK PRO", 48000};
#endif

const auto* const registration = testing::AddGlobalTestEnvironment(new BuildRegistration(SimulatedBuild));

class SimulatedProduct : public testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKey(SimulatedBuild()).c_str());
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        driver = CreateThroughCom(SimulatedBuild());
        ASSERT_NE(driver, nullptr);
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        ResetRecorder(driver);
    }
    void TearDown() override
    {
        if (driver != nullptr) driver->Release();
        ResetRecorder(nullptr);
        CoUninitialize();
        RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKey(SimulatedBuild()).c_str());
    }
    std::string ChannelName(ASIOBool input, long channel)
    {
        ASIOChannelInfo info = {};
        info.channel = channel;
        info.isInput = input;
        EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.type, ASIOSTInt32LSB);
        return info.name;
    }
    ASIOError CreateBuffersForEveryChannel(long bufferSize)
    {
        long count = 0;
        for (long channel = 0; channel < Plugged.inputs; ++channel) infos[count++] = {ASIOTrue, channel, {}};
        for (long channel = 0; channel < Plugged.outputs; ++channel) infos[count++] = {ASIOFalse, channel, {}};
        callbacks = RecordingCallbacks();
        return driver->createBuffers(infos, count, bufferSize, &callbacks);
    }

    IAsioDriver* driver = nullptr;
    ASIOBufferInfo infos[16] = {};
    ASIOCallbacks callbacks = {};
};

TEST_F(SimulatedProduct, ListsItsChannelsNamedAfterTheDevice)
{
    long inputs = 0, outputs = 0;
    ASSERT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs, Plugged.inputs);
    EXPECT_EQ(outputs, Plugged.outputs);
    for (long channel = 0; channel < Plugged.inputs; ++channel)
        EXPECT_EQ(ChannelName(ASIOTrue, channel), std::string(Plugged.channelName) + " " + std::to_string(channel + 1));
    for (long channel = 0; channel < Plugged.outputs; ++channel)
        EXPECT_EQ(ChannelName(ASIOFalse, channel),
                  std::string(Plugged.channelName) + " " + std::to_string(channel + 1));
}

// The USB audio class driver's margins from Windows 6.1 on (4 ms in, 2 ms out), one
// block, two packets in flight, no extra latency stored.
TEST_F(SimulatedProduct, ReportsLatenciesByTheFormula)
{
    ASSERT_EQ(CreateBuffersForEveryChannel(256), ASE_OK);
    long input = 0, output = 0;
    ASSERT_EQ(driver->getLatencies(&input, &output), ASE_OK);
    EXPECT_EQ(input, 4 * 44100 / 1000 + 256);
    EXPECT_EQ(output, 2 * 44100 / 1000 + 256);

    ASSERT_EQ(driver->setSampleRate(48000), ASE_OK);
    ASSERT_EQ(CreateBuffersForEveryChannel(128), ASE_OK);
    driver->getLatencies(&input, &output);
    EXPECT_EQ(input, 4 * 48 + 128);
    EXPECT_EQ(output, 2 * 48 + 128);
}

TEST_F(SimulatedProduct, OffersTheBufferSizesAndTheRatesOfTheDevice)
{
    long minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    ASSERT_EQ(driver->getBufferSize(&minimum, &maximum, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(minimum, 64);
    EXPECT_EQ(maximum, 2048);
    EXPECT_EQ(preferred, 256);
    EXPECT_EQ(granularity, 8);

    ASIOSampleRate rate = 0;
    ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);
    EXPECT_EQ(driver->canSampleRate(44100), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(48000), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(Plugged.highestRate), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(Plugged.highestRate * 2), ASE_NoClock);
    EXPECT_EQ(driver->canSampleRate(32000), ASE_NoClock) << "below every pin's lowest rate";
    EXPECT_EQ(driver->canSampleRate(22050), ASE_NoClock);
}

TEST_F(SimulatedProduct, CallsBackAtEveryBuffer)
{
    ASSERT_EQ(CreateBuffersForEveryChannel(256), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(1, 2000));
    int counted = CountSwitchesDuring(1000);
    EXPECT_TRUE(IsPlausibleSwitchCount(counted, 256, 44100)) << counted << " switches in a second";
    EXPECT_EQ(driver->stop(), ASE_OK);
}

}  // namespace
