// Device discovery on simulated machines: which devices, filters and pins the tree
// keeps, how they are named, ordered and selected, and that no kernel driver's answer,
// however malformed, makes a scan crash or overrun its arena.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "driver/core/device_discovery.h"
#include "driver/core/device_text.h"
#include "driver/core/device_tree.h"
#include "driver/core/hash_name.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/core/settings.h"
#include "driver/tests/driver_fixture.h"
#include "hardware_simulator/hardware_simulator.h"

namespace sim = hardware_simulator;

namespace {

int CountDevices()
{
    int count = 0;
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device)) ++count;
    return count;
}

std::vector<FilterRecord*> Filters(DeviceRecord* device)
{
    std::vector<FilterRecord*> filters;
    for (FilterRecord* filter = FirstFilter(device); filter != nullptr; filter = NextFilter(filter))
        filters.push_back(filter);
    return filters;
}

std::vector<PinRecord*> Pins(FilterRecord* filter)
{
    std::vector<PinRecord*> pins;
    for (PinRecord* pin = FirstPin(filter); pin != nullptr; pin = NextPin(pin)) pins.push_back(pin);
    return pins;
}

DeviceRecord* DeviceWithHardwareId(const char* prefix)
{
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device))
        if (std::strncmp(device->hardwareId, prefix, std::strlen(prefix)) == 0) return device;
    return nullptr;
}

bool Enabled(const TreeRecord* record)
{
    return (record->flags & RecordEnabled) != 0;
}

// Every test scans a machine of its own with the build's OEM block and no stored settings.
class Discovery : public InProcessDriver {
protected:
    static void Scan(std::vector<sim::Device> devices)
    {
        ASSERT_TRUE(sim::Install(sim::Machine{std::move(devices)}));
        RescanDevices();
    }
};

TEST_F(Discovery, EachBuildKeepsOnlyItsOwnProduct)
{
    Scan({sim::Qorda8(), sim::QordaDeskPro(), sim::UsbHeadset(), sim::HdAudioCodec()});
    ASSERT_EQ(CountDevices(), 1);
    DeviceRecord* device = FirstDevice;
#if defined(KASKADE_PRODUCT_QORDA_8)
    EXPECT_STREQ(device->hardwareId, "USB\\VID_200C&PID_1002&REV_0100&MI_00");
    const DWORD renderChannels = 8, captureChannels = 8;
#else
    EXPECT_STREQ(device->hardwareId, "USB\\VID_4446&PID_0001&REV_0100&MI_00");
    const DWORD renderChannels = 4, captureChannels = 2;
#endif
    EXPECT_EQ(device->deviceId, HashName(device->hardwareId));
    EXPECT_EQ(device->enumerator, DWORD('U' | 'S' << 8 | 'B' << 16));
    EXPECT_STREQ(device->serviceName, "usbaudio");
    EXPECT_TRUE(Enabled(device)) << "the only device is chosen";

    // One USB audio function: the streaming pins stay, the terminals' bridge pins go.
    auto filters = Filters(device);
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0]->nodeClasses, NodeClassAdc | NodeClassDac);
    EXPECT_EQ(filters[0]->handle, INVALID_HANDLE_VALUE) << "filters are closed after the scan";
    auto pins = Pins(filters[0]);
    ASSERT_EQ(pins.size(), 2u);
    EXPECT_EQ(pins[0]->pinId, sim::UsbRenderPin);
    EXPECT_EQ(pins[0]->dataFlow, DWORD(KSPIN_DATAFLOW_IN));
    EXPECT_EQ(pins[0]->channels, renderChannels);
    EXPECT_EQ(pins[0]->bits, 24u);
    EXPECT_EQ(pins[0]->lowestRate, 44100u);
    EXPECT_EQ(pins[1]->pinId, sim::UsbCapturePin);
    EXPECT_EQ(pins[1]->dataFlow, DWORD(KSPIN_DATAFLOW_OUT));
    EXPECT_EQ(pins[1]->channels, captureChannels);
    EXPECT_TRUE(Enabled(pins[0]) && Enabled(pins[1]));
    EXPECT_TRUE(pins[0]->flags & PinInstanceFree);

    const auto* connect = reinterpret_cast<const KsPinConnect*>(pins[0]->connection);
    EXPECT_EQ(connect->pinId, sim::UsbRenderPin);
    EXPECT_TRUE(IsEqualGUID(connect->interfaceId.set, KSINTERFACESETID_Standard));
    EXPECT_EQ(connect->priorityClass, 0x40000000u);
}

// Windows 10 drives the QORDA-8 with its USB Audio 2.0 class driver: the same device,
// a real-time filter whose pins are looped.
TEST_F(Discovery, TheQorda8OnUsbAudio2IsTheSameDeviceWithLoopedPins)
{
    AcceptEveryDevice();
    Scan({sim::Qorda8UsbAudio2()});
    ASSERT_EQ(CountDevices(), 1);
    DeviceRecord* device = FirstDevice;
    EXPECT_STREQ(device->hardwareId, "USB\\VID_200C&PID_1002&REV_0100&MI_00");
    EXPECT_STREQ(device->serviceName, "usbaudio2");
    EXPECT_EQ(device->enumerator, DWORD('U' | 'S' << 8 | 'B' << 16));
    EXPECT_TRUE(device->flags & RecordRealTime);
    auto filters = Filters(device);
    ASSERT_EQ(filters.size(), 1u);
    auto pins = Pins(filters[0]);
    ASSERT_EQ(pins.size(), 2u);
    for (PinRecord* pin : pins) {
        EXPECT_EQ(pin->channels, 8u);
        EXPECT_EQ(pin->bits, 24u);
        EXPECT_TRUE(Enabled(pin));
    }
}

// The kernel checks the OVERLAPPEDs and stream headers inside pin records for their
// 64-bit fields' alignment: every record of the arena keeps it, after texts of any length.
TEST_F(Discovery, EveryRecordIsAlignedForTheKernel)
{
    AcceptEveryDevice();
    sim::Device headset = sim::UsbHeadset();
    headset.filters[0].pins[sim::UsbRenderPin].name = L"Out";
    headset.filters[0].pins[sim::UsbCapturePin].name = L"Microphone 1";
    Scan({sim::Qorda8(), sim::QordaDeskPro(), headset, sim::HdAudioCodec()});
    ASSERT_GT(CountDevices(), 0);
    auto aligned = [](const void* address) { return reinterpret_cast<ULONG_PTR>(address) % ArenaAlignment == 0; };
    auto kernelAligned = [](const void* address) { return reinterpret_cast<ULONG_PTR>(address) % sizeof(void*) == 0; };
    int pins = 0;
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device)) {
        EXPECT_TRUE(aligned(device)) << device->friendlyName;
        for (FilterRecord* filter : Filters(device)) {
            EXPECT_TRUE(aligned(filter)) << filter->friendlyName;
            for (PinRecord* pin : Pins(filter)) {
                ++pins;
                EXPECT_TRUE(aligned(pin)) << filter->friendlyName << " pin " << pin->pinId;
                EXPECT_TRUE(kernelAligned(&pin->requestOverlapped));
                for (int slot = 0; slot < PacketSlots; ++slot) {
                    EXPECT_TRUE(kernelAligned(&pin->packetOverlapped[slot]));
                    EXPECT_TRUE(kernelAligned(&pin->streamHeaders[slot]));
                }
            }
        }
    }
    EXPECT_GE(pins, 6);
}

// A kernel driver that claims to have returned more than the buffer it was given: what
// lies beyond is the previous answer's leftovers, not this one's.
TEST_F(Discovery, ASecondFetchCountsNoMoreThanItAskedFor)
{
    AcceptEveryDevice();
    const KsIdentifier other = {{0x5A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}}, 0, 0};
    sim::Device device = sim::UsbHeadset();
    // The render pin offers another interface and standard streaming, and no data range,
    // so that its interface list is the last long answer before the capture pin's.
    sim::PinType& render = device.filters[0].pins[sim::UsbRenderPin];
    render.interfaces = {other, render.interfaces[0]};
    render.dataRanges.clear();
    sim::PinType& capture = device.filters[0].pins[sim::UsbCapturePin];
    capture.name.clear();
    capture.interfaces = {other};
    Scan({device});
    ASSERT_EQ(CountDevices(), 0) << "neither pin can stream";

    // The capture pin's answer claims the second item that the render pin's answer left.
    sim::SetAnswerHook([](const sim::PropertyRequest& request, sim::PropertyAnswer& answer) {
        if (request.set != KSPROPSETID_Pin || request.id != KSPROPERTY_PIN_INTERFACES ||
            request.pinId != sim::UsbCapturePin || request.outputSize == 0)
            return;
        KsMultipleItem claimed = {sizeof(KsMultipleItem) + 2 * sizeof(KsIdentifier), 2};
        std::memcpy(answer.data.data(), &claimed, sizeof(claimed));
        answer.bytesReturned = claimed.size;
    });
    RescanDevices();
    EXPECT_EQ(CountDevices(), 0) << "the capture pin was taken for the render pin's interface";
    sim::SetAnswerHook(nullptr);
}

TEST_F(Discovery, AnEmptyHardwareIdKeepsEveryAudioDeviceAndOrdersDigitalFiltersLast)
{
    AcceptEveryDevice();
    Scan({sim::Qorda8(), sim::QordaDeskPro(), sim::UsbHeadset(), sim::HdAudioCodec()});
    ASSERT_EQ(CountDevices(), 4);

    DeviceRecord* codec = DeviceWithHardwareId("HDAUDIO\\");
    ASSERT_NE(codec, nullptr);
    EXPECT_TRUE(codec->flags & RecordRealTime) << "a WaveRT filter marks its device";
    EXPECT_EQ(codec->bufferSize, 512u) << "real-time devices default to 512 samples";
    EXPECT_EQ(codec->bufferPosition, 4u);
    // The topology filter has no streaming pin; analogue first, then S/PDIF with its
    // DAC, then HDMI alone.
    auto filters = Filters(codec);
    ASSERT_EQ(filters.size(), 3u);
    EXPECT_EQ(filters[0]->nodeClasses & NodeClassDigital, 0u);
    EXPECT_EQ(filters[1]->nodeClasses, NodeClassDac | NodeClassDigital);
    EXPECT_EQ(filters[2]->nodeClasses, NodeClassDigital);
    for (FilterRecord* filter : filters) EXPECT_TRUE(filter->flags & RecordRealTime);

    // Nothing stored: the first device that offers a choice of pins is chosen, and in
    // every filter its best render and capture pins.
    EXPECT_TRUE(Enabled(FirstDevice));
    for (DeviceRecord* device = NextDevice(FirstDevice); device != nullptr; device = NextDevice(device))
        EXPECT_FALSE(Enabled(device));
    EXPECT_TRUE(Enabled(Filters(FirstDevice)[0]));
    EXPECT_EQ(FindSelectedDevice(), FirstDevice);
}

TEST_F(Discovery, HardwareIdPatternMatchesPrefixesInEitherCaseWithWildcards)
{
    EXPECT_TRUE(HardwareIdMatches("USB\\VID_4446&PID_0001&REV_0100&MI_00", "USB\\VID_4446&PID_0001", 260));
    EXPECT_TRUE(HardwareIdMatches("usb\\vid_4446&pid_0001&rev_0100", "USB\\VID_4446&PID_0001", 260));
    EXPECT_TRUE(HardwareIdMatches("USB\\VID_4446&PID_0002", "USB\\VID_4446&PID_000*", 260));
    EXPECT_FALSE(HardwareIdMatches("USB\\VID_4446", "USB\\VID_4446&PID_0001", 260));
    EXPECT_FALSE(HardwareIdMatches("USB\\VID_4447&PID_0001", "USB\\VID_4446&PID_0001", 260));
    EXPECT_TRUE(HardwareIdMatches("PCI\\ANYTHING", "", 260));
    char unterminated[4] = {'U', 'S', 'B', '\\'};
    EXPECT_TRUE(HardwareIdMatches("USB\\VID", unterminated, sizeof(unterminated)))
        << "a pattern without its NUL ends at its field";
}

TEST_F(Discovery, LongFriendlyNamesAreShortened)
{
    char shortName[64] = "High Definition Audio Device";
    CleanFriendlyName(shortName);
    EXPECT_STREQ(shortName, "High Definition Audio Device");

    char longName[128] = "Realtek High Definition Audio (WDM) with Microsoft UAA Bus";
    CleanFriendlyName(longName);
    EXPECT_STREQ(longName, "Realtek HDA (WDM) with UAA Bus") << "each step only while the name is long";

    char wave[128] = "Speakers of the High Definition Audio Device (WAVE)";
    CleanFriendlyName(wave);
    EXPECT_STREQ(wave, "Speakers of the HDA Device (WAVE)");
}

TEST_F(Discovery, DevicesWithOneHardwareIdGetConsecutiveIds)
{
    AcceptEveryDevice();
    sim::Device second = sim::UsbHeadset();
    second.instanceId += "2";
    Scan({sim::UsbHeadset(), second});
    ASSERT_EQ(CountDevices(), 2);
    EXPECT_EQ(NextDevice(FirstDevice)->deviceId, FirstDevice->deviceId + 1);
}

TEST_F(Discovery, PinsWithoutUsableRangesAreDroppedAndRatesFollowTheIntersection)
{
    AcceptEveryDevice();
    sim::Device device = sim::Qorda8();
    auto& pins = device.filters[0].pins;
    pins[sim::UsbCapturePin].dataRanges = {sim::PcmRange(2, 8, 8, 44100, 48000)};
    pins[sim::UsbRenderPin].intersection.refusedRates = {44100};
    Scan({device});
    ASSERT_EQ(CountDevices(), 1);
    auto kept = Pins(Filters(FirstDevice)[0]);
    ASSERT_EQ(kept.size(), 1u) << "an 8-bit-only pin is dropped";
    EXPECT_EQ(kept[0]->pinId, sim::UsbRenderPin);
    EXPECT_EQ(kept[0]->lowestRate, 48000u) << "44.1 kHz refused by the intersection";
    EXPECT_EQ(kept[0]->highestRate, 96000u);
}

TEST_F(Discovery, TwoStoredRenderPinsPutTheFilterInAutomaticMode)
{
    AcceptEveryDevice();
    sim::Device device = sim::Qorda8();
    sim::PinType narrow = device.filters[0].pins[sim::UsbRenderPin];
    narrow.dataRanges = {sim::PcmRange(2, 16, 16, 44100, 48000)};
    device.filters[0].pins.push_back(narrow);
    const ULONG narrowPin = ULONG(device.filters[0].pins.size() - 1);
    Scan({device});

    // The user enables both render pins for this host; the next scan keeps only the best.
    FilterRecord* filter = Filters(FirstDevice)[0];
    for (PinRecord* pin : Pins(filter)) {
        pin->flags |= RecordEnabled;
        SaveRecordSettings(pin);
    }
    RescanDevices();
    filter = Filters(FirstDevice)[0];
    for (PinRecord* pin : Pins(filter)) EXPECT_EQ(Enabled(pin), pin->pinId != narrowPin) << "pin " << pin->pinId;

    // One render pin stored alone is the user's choice, even the narrower one.
    for (PinRecord* pin : Pins(filter)) {
        pin->flags = pin->pinId == narrowPin ? (pin->flags | RecordEnabled) : (pin->flags & ~RecordEnabled);
        SaveRecordSettings(pin);
    }
    RescanDevices();
    for (PinRecord* pin : Pins(Filters(FirstDevice)[0]))
        EXPECT_EQ(Enabled(pin), pin->pinId == narrowPin) << "pin " << pin->pinId;
}

TEST_F(Discovery, TheFallbackPassesOverASinglePinDeviceThatIsNotLast)
{
    AcceptEveryDevice();
    sim::Device single = sim::UsbHeadset();
    single.filters[0].pins[sim::UsbCapturePin].dataRanges = {sim::PcmRange(1, 8, 8, 48000, 48000)};
    Scan({single, sim::Qorda8()});
    ASSERT_EQ(CountDevices(), 2);
    EXPECT_FALSE(Enabled(FirstDevice));
    EXPECT_TRUE(Enabled(NextDevice(FirstDevice)));
}

TEST_F(Discovery, StoredSettingsOfTheHostAreAttached)
{
    Scan({sim::Qorda8(), sim::QordaDeskPro()});
    ASSERT_EQ(CountDevices(), 1);
    FirstDevice->bufferSize = 128;
    FirstDevice->latencyOut = 32;
    SaveRecordSettings(FirstDevice);
    RescanDevices();
    EXPECT_EQ(FirstDevice->bufferSize, 128u);
    EXPECT_EQ(FirstDevice->latencyOut, 32u);
    EXPECT_EQ(FirstDevice->kernelBuffers, OemConfig.kernelBuffers.value);
}

TEST_F(Discovery, AFullArenaStopsTheScanWithAWholeTree)
{
    AcceptEveryDevice();
    // Pins with long names fill the arena after a few hundred kilobytes per filter.
    sim::Device device = sim::Qorda8();
    sim::PinType pin = device.filters[0].pins[sim::UsbRenderPin];
    pin.name = std::wstring(300, L'N');
    device.filters[0].pins.assign(600, pin);
    device.filters.assign(4, device.filters[0]);
    std::vector<sim::Device> devices(3, device);
    for (int i = 0; i < 3; ++i) devices[i].instanceId += char('0' + i);
    Scan(devices);

    int pins = 0;
    WalkTree(
        [](DeviceRecord*, FilterRecord*, PinRecord* pin, void* count) {
            EXPECT_EQ(std::strlen(pin->name), 259u) << "names are cut to their field";
            ++*static_cast<int*>(count);
        },
        &pins);
    EXPECT_GT(pins, 0);
    EXPECT_LT(pins, 3 * 4 * 600) << "the arena cannot hold every pin";
    for (DeviceRecord* d = FirstDevice; d != nullptr; d = NextDevice(d)) EXPECT_NE(FirstFilter(d), nullptr);
}

// A malformed answer: one of the ways kernel drivers get their answers wrong.
void Mangle(std::mt19937& random, sim::PropertyAnswer& answer)
{
    switch (random() % 6) {
    case 0:  // cut short
        if (answer.bytesReturned) answer.bytesReturned = random() % answer.bytesReturned;
        break;
    case 1:  // a list that claims far more items than it holds
        if (answer.data.size() >= 8) std::memcpy(&answer.data[4], "\xFF\xFF\xFF\x7F", 4);
        break;
    case 2:  // a size query that asks for the moon
        answer.error = ERROR_MORE_DATA;
        answer.bytesReturned = 0x7FFFFFF0;
        break;
    case 3:  // the property is not there
        answer.error = ERROR_NOT_FOUND;
        answer.bytesReturned = 0;
        break;
    case 4:  // garbage bytes
        for (BYTE& byte : answer.data) byte = BYTE(random());
        break;
    default:  // a record size that runs past the answer
        if (answer.data.size() >= 12) std::memcpy(&answer.data[8], "\x00\x10\x00\x00", 4);
        break;
    }
}

TEST_F(Discovery, MalformedAnswersDropRecordsAndNeverCrash)
{
    AcceptEveryDevice();
    ASSERT_TRUE(sim::Install(sim::Machine{{sim::Qorda8(), sim::QordaDeskPro(), sim::HdAudioCodec()}}));
    std::mt19937 random(20261208);
    for (int run = 0; run < 300; ++run) {
        sim::SetAnswerHook([&](const sim::PropertyRequest&, sim::PropertyAnswer& answer) {
            if (random() % 4 == 0) Mangle(random, answer);
        });
        RescanDevices();
        WalkTree(
            [](DeviceRecord* device, FilterRecord* filter, PinRecord* pin, void*) {
                ASSERT_NE(device->hardwareId, nullptr);
                ASSERT_NE(filter->detail, nullptr);
                ASSERT_GT(pin->channels, 0u);
                ASSERT_TRUE(pin->dataFlow == KSPIN_DATAFLOW_IN || pin->dataFlow == KSPIN_DATAFLOW_OUT);
            },
            nullptr);
    }
    sim::SetAnswerHook(nullptr);
    RescanDevices();
    EXPECT_EQ(CountDevices(), 3) << "a clean scan afterwards finds everything again";
}

}  // namespace
