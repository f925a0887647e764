// The driver object in-process on simulated machines: how open pins become host
// channels and how they are named, the latencies by their formula, and the behaviour
// that only shows inside the module (control panel, reset requests, setup mode, stored
// rates, the session's end).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "asio_host/asio_driver.h"
#include "driver/core/active_pins.h"
#include "driver/core/channel_names.h"
#include "driver/core/com_objects.h"
#include "driver/core/driver_init.h"
#include "driver/core/driver_object.h"
#include "driver/core/latencies.h"
#include "driver/core/module.h"
#include "driver/core/settings.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/host_callbacks.h"
#include "driver/engine/pin_conversion.h"
#include "driver/engine/slab_memory.h"
#include "driver/engine/stream_flags.h"
#include "driver/tests/driver_fixture.h"
#include "hardware_simulator/hardware_simulator.h"

namespace sim = hardware_simulator;

namespace {

std::string ChannelName(bool input, DWORD channel)
{
    char name[32];
    std::memset(name, 'x', sizeof(name));
    WriteChannelName(input, channel, name);
    return name;
}

struct TreePin {
    DeviceRecord* device;
    FilterRecord* filter;
    PinRecord* pin;
};

// Every scan starts from a machine of the test's own, with no stored settings and a
// hardware id that accepts every device.
class ActivePinsTest : public InProcessDriver {
protected:
    void SetUp() override
    {
        InProcessDriver::SetUp();
        AcceptEveryDevice();
        GlobalSettingsFlags = 0;
        RequestedHostRate = 44100;
        RequestedBufferSize = 256;
    }
    void TearDown() override
    {
        ClearActivePins();
        GlobalSettingsFlags = 0;
        InProcessDriver::TearDown();
    }
    void Scan(std::vector<sim::Device> devices)
    {
        ASSERT_TRUE(sim::Install(sim::Machine{std::move(devices)}));
        RescanDevices();
        pins.clear();
        WalkTree(
            [](DeviceRecord* device, FilterRecord* filter, PinRecord* pin, void* context) {
                static_cast<std::vector<TreePin>*>(context)->push_back({device, filter, pin});
            },
            &pins);
    }
    // The `index`th pin of the tree with this data flow.
    TreePin& Pin(DWORD dataFlow, int index)
    {
        for (TreePin& entry : pins)
            if (entry.pin->dataFlow == dataFlow && index-- == 0) return entry;
        throw std::out_of_range("no such pin");
    }
    // Marks the pin open as stream set-up leaves it, with `channels` channels.
    static void Open(TreePin& entry, DWORD channels, DWORD streamFlags = 0)
    {
        entry.pin->flags |= RecordOpen;
        entry.pin->device = entry.device;
        entry.pin->filter = entry.filter;
        entry.pin->streamFlags = streamFlags;
        entry.pin->kernelBuffers = 2;
        PinWaveFormat(entry.pin)->channels = WORD(channels);
    }

    std::vector<TreePin> pins;
};

constexpr DWORD Render = KSPIN_DATAFLOW_IN;
constexpr DWORD Capture = KSPIN_DATAFLOW_OUT;

TEST_F(ActivePinsTest, AMonoCapturePinTakesTwoInputsNamedAfterIt)
{
    Scan({sim::UsbHeadset(), sim::QordaDeskPro()});
    Open(Pin(Capture, 0), 1);
    Open(Pin(Capture, 1), 2);
    RegisterOpenPins();

    EXPECT_EQ(ReportedChannelCount(true), 4u);
    EXPECT_EQ(Pin(Capture, 0).pin->conversion.firstSlabChannel, 0u);
    EXPECT_EQ(Pin(Capture, 1).pin->conversion.firstSlabChannel, 2u);
    // The headset's generic "USB ..." filter name gives way to its location text.
    EXPECT_EQ(ChannelName(true, 0), "Port_#0003.Hub_#0001 1");
    EXPECT_EQ(ChannelName(true, 1), "Port_#0003.Hub_#0001 2");
    EXPECT_EQ(ChannelName(true, 2), "QORDA DESK PRO 1");
    EXPECT_EQ(ChannelName(true, 3), "QORDA DESK PRO 2");
    EXPECT_EQ(ChannelName(true, 4), "Not Connected 5");
    // No render pin: the host still sees two outputs.
    EXPECT_EQ(ReportedChannelCount(false), 2u);
    EXPECT_EQ(ChannelName(false, 1), "Not Connected 2");
}

TEST_F(ActivePinsTest, LongDisplayNamesLoseLeadingWordsThenCharacters)
{
    Scan({sim::Qorda8()});
    char wordy[] = "Velmora QORDA-8 Interface";  // 25 characters
    Pin(Render, 0).filter->friendlyName = wordy;
    Open(Pin(Render, 0), 8);
    Open(Pin(Capture, 0), 8);
    RegisterOpenPins();
    EXPECT_EQ(ChannelName(false, 7), "QORDA-8 Interface 8") << "render names keep at most 23 characters";
    EXPECT_EQ(ChannelName(true, 0), "Velmora QORDA-8 Interface 1") << "capture names keep 26";

    char unbroken[] = "VelmoraQordaEightChannelInterface";
    Pin(Render, 0).filter->friendlyName = unbroken;
    RegisterOpenPins();
    EXPECT_EQ(ChannelName(false, 0), "VelmoraQordaEightChanne 1");
    EXPECT_EQ(ChannelName(true, 0), "VelmoraQordaEightChannelIn 1");
}

TEST_F(ActivePinsTest, InputsOffLeavesEveryCapturePinOut)
{
    Scan({sim::Qorda8()});
    Open(Pin(Render, 0), 8);
    Open(Pin(Capture, 0), 8);
    GlobalSettingsFlags = GlobalFlagInputsOff;
    RegisterOpenPins();
    EXPECT_EQ(ActivePinCount, 1u);
    EXPECT_EQ(ReportedChannelCount(true), 2u);
    EXPECT_EQ(ChannelName(true, 0), "Not Connected 1");
    EXPECT_EQ(ReportedChannelCount(false), 8u);
}

TEST_F(ActivePinsTest, RegistrationDerivesBufferSizeQueueDepthModesAndRates)
{
    Scan({sim::Qorda8(), sim::QordaDeskPro()});
    Pin(Render, 0).device->bufferSize = 128;
    Pin(Render, 1).device->bufferSize = 512;
    Open(Pin(Render, 0), 8);
    Pin(Render, 0).pin->kernelBuffers = 3;
    Open(Pin(Render, 1), 4, LoopedMode);
    Pin(Render, 1).pin->kernelBuffers = 4;
    Open(Pin(Capture, 1), 2, LargePacketMode | Prefer48k);
    Pin(Render, 0).pin->lowestRate = 48000;
    RegisterOpenPins();

    EXPECT_EQ(PreferredBufferSize, 512u);
    EXPECT_EQ(PacketsInFlight, 3u) << "only standard render pins queue packets ahead";
    EXPECT_EQ(ActivePinModes.standardRender, 1u);
    EXPECT_EQ(ActivePinModes.loopedRender, 1u);
    EXPECT_EQ(ActivePinModes.largePacketCapture, 1u);
    EXPECT_EQ(ActivePinModes.standardCapture, 0u);
    EXPECT_TRUE(Convert44100To48000);
    EXPECT_EQ(ConfigurationMinimumRate, 44100u) << "a pin that starts at 48000 is converted from 44100";
    EXPECT_EQ(ConfigurationMaximumRate, 48000u);
    EXPECT_EQ(Pin(Render, 1).pin->conversion.firstSlabChannel, 8u)
        << "capture pins register first, render in tree order";
}

TEST_F(ActivePinsTest, AStoredBufferSizeOutsideTheOfferedRangeIsShownInsideIt)
{
    Scan({sim::Qorda8()});
    Open(Pin(Render, 0), 8);
    auto* driver = reinterpret_cast<IAsioDriver*>(&DriverObject);
    long minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    for (DWORD stored : {4096u, 16u, 0u}) {
        Pin(Render, 0).device->bufferSize = stored;
        RegisterOpenPins();
        ASSERT_EQ(driver->getBufferSize(&minimum, &maximum, &preferred, &granularity), ASE_OK);
        EXPECT_EQ(preferred, stored > 2048 ? 2048 : 64) << stored;
        EXPECT_EQ(Pin(Render, 0).device->bufferSize, stored) << "the setting stays";
    }
    Pin(Render, 0).device->bufferSize = 512;
    RegisterOpenPins();
    driver->getBufferSize(&minimum, &maximum, &preferred, &granularity);
    EXPECT_EQ(preferred, 512);
}

TEST_F(ActivePinsTest, APinBeyondTheChannelMapsIsLeftOut)
{
    Scan({sim::Qorda8(), sim::QordaDeskPro()});
    Open(Pin(Render, 0), 1000);
    Open(Pin(Render, 1), 100);
    RegisterOpenPins();
    EXPECT_EQ(ActivePinCount, 1u);
    EXPECT_EQ(ReportedChannelCount(false), 1000u);
    EXPECT_EQ(ChannelName(false, 999), "QORDA-8 1000");
}

TEST_F(ActivePinsTest, WithoutOpenPinsTheHostGetsTheNoDeviceFigures)
{
    Scan({sim::Qorda8()});
    RegisterOpenPins();
    EXPECT_EQ(ReportedChannelCount(true), 2u);
    EXPECT_EQ(ReportedChannelCount(false), 2u);
    EXPECT_EQ(PreferredBufferSize, 256u);
    long input = 0, output = 0;
    ComputeLatencies(&input, &output);
    EXPECT_EQ(input, 256);
    EXPECT_EQ(output, 256);
}

// The USB audio class driver's margins from Windows 6.1 on: 4 ms in, 2 ms out.
TEST_F(ActivePinsTest, StandardPinLatenciesAddMarginsBlocksQueuedPacketsAndSettings)
{
    Scan({sim::Qorda8()});
    Open(Pin(Render, 0), 8);
    Open(Pin(Capture, 0), 8);
    RegisterOpenPins();
    long input = 0, output = 0;
    ComputeLatencies(&input, &output);
    EXPECT_EQ(output, 88 + 256);
    EXPECT_EQ(input, 176 + 256);

    DeviceRecord* device = Pin(Render, 0).device;
    device->latencyIn = 10;
    device->latencyOut = 20;
    PacketsInFlight = 3;
    RequestedHostRate = 48000;
    RequestedBufferSize = 64;
    ComputeLatencies(&input, &output);
    EXPECT_EQ(output, 96 + 64 + 64 + 20);
    EXPECT_EQ(input, 192 + 64 + 10);

    // A device converted from 48000 Hz adds the converter's 33 frames at 44100 Hz only.
    Convert44100To48000 = true;
    ComputeLatencies(&input, &output);
    EXPECT_EQ(input, 192 + 64 + 10);
    RequestedHostRate = 44100;
    ComputeLatencies(&input, &output);
    EXPECT_EQ(input, 176 + 64 + 33 + 10);
}

// Whatever a configuration program stored into a device in memory, an extra latency
// beyond any sane one is not reported: not hours of output, not an input of none.
TEST_F(ActivePinsTest, ExtraLatenciesBeyondASaneRangeAreLeftOut)
{
    Scan({sim::Qorda8()});
    Open(Pin(Render, 0), 8);
    Open(Pin(Capture, 0), 8);
    RegisterOpenPins();
    DeviceRecord* device = Pin(Render, 0).device;
    device->latencyOut = 0x7FFFFFFF;
    device->latencyIn = 0x80000000;
    long input = 0, output = 0;
    ComputeLatencies(&input, &output);
    EXPECT_EQ(output, 88 + 256);
    EXPECT_EQ(input, 176 + 256);
    device->latencyOut = 8192;
    ComputeLatencies(&input, &output);
    EXPECT_EQ(output, 88 + 256 + 8192);
}

TEST_F(ActivePinsTest, LatencyModeTwoAddsHalfTheRestOfTenMilliseconds)
{
    sim::Device device = sim::Qorda8();
    device.service = "aliadwdm";
    Scan({device});
    Open(Pin(Render, 0), 8);
    RegisterOpenPins();
    long input = 0, output = 0;
    ComputeLatencies(&input, &output);
    EXPECT_EQ(output, 256 + (441 - 256) / 2);
    EXPECT_EQ(input, 0) << "a direction without pins";
    RequestedBufferSize = 512;
    ComputeLatencies(&input, &output);
    EXPECT_EQ(output, 512) << "no addition once a block is longer than 10 ms";
}

TEST_F(ActivePinsTest, LoopedAndLargePinLatenciesCountTheFifoAndTheBufferPosition)
{
    Scan({sim::Qorda8()});
    Open(Pin(Render, 0), 8, LoopedMode);
    Open(Pin(Capture, 0), 8, LargePacketMode);
    Pin(Render, 0).pin->fifoFrames = 32;
    Pin(Capture, 0).pin->fifoFrames = 16;
    Pin(Render, 0).device->bufferPosition = 4;
    HANDLE notification = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Pin(Render, 0).pin->notificationEvent = notification;
    RegisterOpenPins();
    long input = 0, output = 0;
    ComputeLatencies(&input, &output);
    EXPECT_EQ(output, 256 + 32) << "a notifying pin is timed by its notification";
    EXPECT_EQ(input, 256 + 16 + 176) << "a polled pin's block sits BufferPosition behind";
    Pin(Render, 0).pin->notificationEvent = nullptr;
    CloseHandle(notification);
}

// The driver object as a host holds it, on a machine without a matching device.
class DriverObjectTest : public InProcessDriver {
protected:
    void SetUp() override
    {
        InProcessDriver::SetUp();
        ASSERT_TRUE(sim::Install(sim::Machine{}));
        HostCallbacks = {};
    }
    IAsioDriver* Create()
    {
        driver->AddRef();
        return driver;
    }

    IAsioDriver* const driver = reinterpret_cast<IAsioDriver*>(&DriverObject);
};

std::atomic<int> Switches;
std::atomic<long> ResetRequests;

void CountSwitch(long, ASIOBool)
{
    ++Switches;
}

long RecordMessage(long selector, long value, void* message, double* opt)
{
    if (selector == kAsioResetRequest && value == 0 && message == nullptr && opt == nullptr) ++ResetRequests;
    return 1;
}

ASIOCallbacks CallbacksWithMessages()
{
    return {CountSwitch, nullptr, RecordMessage, nullptr};
}

TEST_F(DriverObjectTest, InitSwitchesSetupModeOnAndOff)
{
    Create()->init(reinterpret_cast<void*>(UINT_PTR(SetupModeHandle)));
    EXPECT_TRUE(SetupModeSwitch);
    driver->init(nullptr);
    EXPECT_FALSE(SetupModeSwitch);
}

#if defined(_WIN64)
TEST_F(DriverObjectTest, SetupModeComparesTheLow32BitsOfTheHandle)
{
    Create()->init(reinterpret_cast<void*>(UINT_PTR(0x1234567800000000ull | SetupModeHandle)));
    EXPECT_TRUE(SetupModeSwitch);
}
#endif

TEST_F(DriverObjectTest, ResetRequestsReachOnlyAnInitialisedHostThatGaveAMessageCallback)
{
    ResetRequests = 0;
    RequestHostReset();
    EXPECT_EQ(ResetRequests, 0);

    Create()->init(nullptr);
    ASIOBufferInfo info = {ASIOFalse, 0, {}};
    ASIOCallbacks callbacks = {CountSwitch, nullptr, nullptr, nullptr};
    ASSERT_EQ(driver->createBuffers(&info, 1, 256, &callbacks), ASE_OK);
    RequestHostReset();
    EXPECT_EQ(ResetRequests, 0) << "no asioMessage given";

    callbacks = CallbacksWithMessages();
    ASSERT_EQ(driver->createBuffers(&info, 1, 256, &callbacks), ASE_OK);
    RequestHostReset();
    EXPECT_EQ(ResetRequests, 1);
    driver->disposeBuffers();
    RequestHostReset();
    EXPECT_EQ(ResetRequests, 2) << "an initialised driver without buffers is still the host's";

    driver->Release();
    RequestHostReset();
    EXPECT_EQ(ResetRequests, 2) << "a released driver asks nobody";
}

TEST_F(DriverObjectTest, ARateThatNoDeviceRunsAtIsNotTakenFromTheSettings)
{
    for (DWORD stored : {0u, 5u, 0xFFFFFFFFu}) {
        StoreDefaultsValue("SampleRate", stored);
        Create()->init(nullptr);
        ASIOSampleRate rate = 0;
        EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
        EXPECT_EQ(rate, 44100.0) << stored;
        driver->Release();
    }
    StoreDefaultsValue("SampleRate", 96000);
    Create()->init(nullptr);
    ASIOSampleRate rate = 0;
    driver->getSampleRate(&rate);
    EXPECT_EQ(rate, 96000.0) << "a rate a device may run at stays";
}

TEST_F(DriverObjectTest, SetSampleRateStoresTheRateForThisHost)
{
    Create()->init(nullptr);
    ASSERT_EQ(driver->setSampleRate(48000.2), ASE_OK);
    EXPECT_EQ(GlobalSampleRate, 48000u);
    DWORD stored = 0;
    ReadSettingValue(nullptr, nullptr, nullptr, "SampleRate", &stored);
    EXPECT_EQ(stored, 48000u);
    EXPECT_EQ(driver->setSampleRate(50000), ASE_NoClock);
    EXPECT_EQ(GlobalSampleRate, 48000u);
}

TEST_F(DriverObjectTest, TheLastReleaseEndsStreamingAndFreesTheBuffers)
{
    Create()->init(nullptr);
    ASIOBufferInfo infos[2] = {{ASIOTrue, 1, {}}, {ASIOFalse, 0, {}}};
    ASIOCallbacks callbacks = CallbacksWithMessages();
    ASSERT_EQ(driver->createBuffers(infos, 2, 64, &callbacks), ASE_OK);
    EXPECT_EQ(infos[0].buffers[0], ChannelSlab.samples + (2 + 1) * 64) << "inputs follow the two output runs";
    EXPECT_EQ(infos[0].buffers[1], infos[0].buffers[0]);
    EXPECT_EQ(infos[1].buffers[0], ChannelSlab.samples);
    Switches = 0;
    ASSERT_EQ(driver->start(), ASE_OK);
    for (int wait = 0; wait < 200 && Switches == 0; ++wait) Sleep(5);
    ASSERT_GT(Switches, 0);
    const HostStream stream = CurrentHostStream();
    EXPECT_EQ(InputRun(stream.slab, 1), infos[0].buffers[0]) << "the converters fill the run the host reads";
    EXPECT_EQ(OutputRun(stream.slab, 0), infos[1].buffers[0]);
    EXPECT_LE(SlabWords(stream.slab), ChannelSlab.words);

    driver->Release();
    EXPECT_EQ(DriverState, DriverLoaded);
    EXPECT_EQ(ChannelSlab.samples, nullptr);
    int afterRelease = Switches;
    Sleep(50);
    EXPECT_EQ(Switches, afterRelease);
}

}  // namespace
