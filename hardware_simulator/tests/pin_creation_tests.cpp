// Pin creation: the connection checks of kernel streaming, the format rules of each
// profile with the error codes of its driver, rules a test makes up, and instance limits.
#include "hardware_simulator/tests/pin_client.h"

#include <functional>

#include "hardware_simulator/profile_parts.h"

using namespace hardware_simulator;

namespace {

constexpr std::size_t Qorda8Device = 0;
constexpr std::size_t DeskProDevice = 1;
constexpr std::size_t HeadsetDevice = 2;
constexpr std::size_t CodecDevice = 3;

class PinCreation : public SimulatorTest {
protected:
    void SetUp() override { InstallDevices(devices); }

    DWORD TryPin(std::size_t device, std::size_t filter, ULONG pin, const WaveFormat& format,
                 ULONG interfaceId = KSINTERFACE_STANDARD_STREAMING)
    {
        Creation creation = CreatePin(OpenFilter(devices[device], filter), Connection(pin, format, interfaceId));
        if (creation.error == ERROR_SUCCESS) {
            EXPECT_TRUE(device_access::CloseHandle(creation.pin));
        }
        return creation.error;
    }

    DWORD TryCodec(std::size_t filter, const WaveFormat& format)
    {
        return TryPin(CodecDevice, filter, WaveRenderPin, format, KSINTERFACE_STANDARD_LOOPED_STREAMING);
    }

    void ChangePin(std::size_t device, ULONG pin, const std::function<void(PinType&)>& change)
    {
        ASSERT_TRUE(Edit([&](Machine& machine) { change(machine.devices[device].filters[0].pins[pin]); }));
    }

    std::vector<Device> devices = {Qorda8(), QordaDeskPro(), UsbHeadset(), HdAudioCodec()};
};

// A client range that every profile meets: the intersection picks the pin's best format.
std::vector<BYTE> WideRange()
{
    KsDataRangeAudio range{};
    range.dataRange = {
        sizeof(range), 0, 0, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM, KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
    range.maximumChannels = 8;
    range.minimumBitsPerSample = 16;
    range.maximumBitsPerSample = 32;
    range.minimumSampleFrequency = 8000;
    range.maximumSampleFrequency = 192000;
    KsMultipleItem header{sizeof(header) + sizeof(range), 1};
    std::vector<BYTE> bytes(header.size);
    std::memcpy(bytes.data(), &header, sizeof(header));
    std::memcpy(bytes.data() + sizeof(header), &range, sizeof(range));
    return bytes;
}

TEST_F(PinCreation, EveryStreamingPinTakesTheFormatItsIntersectionAnswers)
{
    for (const Device& device : devices)
        for (std::size_t filterIndex = 0; filterIndex < device.filters.size(); ++filterIndex)
            for (ULONG pinId = 0; pinId < device.filters[filterIndex].pins.size(); ++pinId) {
                const PinType& type = device.filters[filterIndex].pins[pinId];
                if (type.communication != KSPIN_COMMUNICATION_SINK) continue;
                SCOPED_TRACE(device.instanceId + " pin " + std::to_string(pinId));
                HANDLE filter = OpenFilter(device, filterIndex);
                Reply format = PinRequest(filter, KSPROPERTY_PIN_DATAINTERSECTION, pinId, 104, WideRange());
                ASSERT_TRUE(format.ok) << format.error;
                std::vector<BYTE> connection = Connection(pinId, {}, type.interfaces[0].id);
                connection.resize(sizeof(KsPinConnect));
                connection.insert(connection.end(), format.output.begin(), format.output.begin() + format.bytes);
                Creation creation = CreatePin(filter, connection);
                ASSERT_EQ(creation.error, DWORD(ERROR_SUCCESS));
                EXPECT_EQ(ReadAt<ULONG>(PinRequest(filter, KSPROPERTY_PIN_CINSTANCES, pinId, 8).output, 4), 1u);
                EXPECT_TRUE(device_access::CloseHandle(creation.pin));
                EXPECT_EQ(ReadAt<ULONG>(PinRequest(filter, KSPROPERTY_PIN_CINSTANCES, pinId, 8).output, 4), 0u);
            }
}

TEST_F(PinCreation, UsbClassDriverTakesItsHardwaresFormatsAndRefusesTheRestWithInvalidParameter)
{
    constexpr DWORD Refused = ERROR_INVALID_PARAMETER;
    // QORDA-8: 24 bits in 3 bytes, extensible only, all 8 channels, without positions.
    EXPECT_EQ(TryPin(Qorda8Device, 0, UsbRenderPin, Extensible(8, 44100, 24, 24)), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryPin(Qorda8Device, 0, UsbCapturePin, Extensible(8, 96000, 24, 24)), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryPin(Qorda8Device, 0, UsbRenderPin, Extensible(8, 48000, 24, 24, 0xFF)), Refused);
    EXPECT_EQ(TryPin(Qorda8Device, 0, UsbRenderPin, Plain(8, 48000, 24)), Refused);
    EXPECT_EQ(TryPin(Qorda8Device, 0, UsbRenderPin, Extensible(8, 48000, 32, 24)), Refused);
    EXPECT_EQ(TryPin(Qorda8Device, 0, UsbRenderPin, Extensible(6, 48000, 24, 24)), Refused);
    EXPECT_EQ(TryPin(Qorda8Device, 0, UsbRenderPin, Extensible(8, 32000, 24, 24)), Refused);
    // DESK PRO: 16 bits either way, 24 bits packed and extensible only; its own positions or none.
    EXPECT_EQ(TryPin(DeskProDevice, 0, UsbRenderPin, Plain(4, 44100, 16)), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryPin(DeskProDevice, 0, UsbRenderPin, Extensible(4, 48000, 16, 16, SpeakersQuad)), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryPin(DeskProDevice, 0, UsbRenderPin, Extensible(4, 48000, 24, 24)), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryPin(DeskProDevice, 0, UsbCapturePin, Extensible(2, 48000, 24, 24, SpeakersStereo)),
              DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryPin(DeskProDevice, 0, UsbRenderPin, Extensible(4, 48000, 16, 16, 0x0F)), Refused);
    EXPECT_EQ(TryPin(DeskProDevice, 0, UsbRenderPin, Plain(4, 48000, 24)), Refused);
    EXPECT_EQ(TryPin(DeskProDevice, 0, UsbRenderPin, Extensible(4, 48000, 32, 24)), Refused);
    // Headset: 16 bits at 48 kHz only.
    EXPECT_EQ(TryPin(HeadsetDevice, 0, UsbRenderPin, Plain(2, 48000, 16)), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryPin(HeadsetDevice, 0, UsbCapturePin, Extensible(1, 48000, 16, 16, SpeakerFrontCenter)),
              DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryPin(HeadsetDevice, 0, UsbRenderPin, Plain(2, 44100, 16)), Refused);
}

TEST_F(PinCreation, WaveRtMiniportChecksTheExactMaskAndRefusesWithNoMatch)
{
    EXPECT_EQ(TryCodec(HdAudioAnalogWave, Extensible(2, 48000, 32, 24, SpeakersStereo)), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryCodec(HdAudioAnalogWave, Plain(2, 44100, 16)), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryCodec(HdAudioHdmiWave, Extensible(8, 48000, 32, 24, Speakers7Point1)), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryCodec(HdAudioHdmiWave, Extensible(2, 44100, 16, 16, SpeakersStereo)), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(TryCodec(HdAudioAnalogWave, Extensible(2, 48000, 32, 24)), DWORD(ERROR_NO_MATCH));
    EXPECT_EQ(TryCodec(HdAudioHdmiWave, Extensible(8, 48000, 32, 24, 0xFF)), DWORD(ERROR_NO_MATCH));
    EXPECT_EQ(TryCodec(HdAudioAnalogWave, Extensible(2, 48000, 24, 24, SpeakersStereo)), DWORD(ERROR_NO_MATCH));
    EXPECT_EQ(TryCodec(HdAudioAnalogWave, Plain(2, 48000, 32)), DWORD(ERROR_NO_MATCH));
    EXPECT_EQ(TryCodec(HdAudioAnalogWave, Plain(2, 96000, 16)), DWORD(ERROR_NO_MATCH));
}

TEST_F(PinCreation, RefusesMalformedFormatsLikeFormatsTheHardwareCannotPlay)
{
    std::vector<std::function<void(std::vector<BYTE>&)>> damages = {
        [](std::vector<BYTE>& c) { WaveOf(c).blockAlign += 1; },
        [](std::vector<BYTE>& c) { WaveOf(c).avgBytesPerSec -= 1; },
        [](std::vector<BYTE>& c) { WaveOf(c).formatTag = WaveFormatTagPcm; },  // in 104 bytes
        [](std::vector<BYTE>& c) { DataFormatOf(c).formatSize = 82; },         // extensible cut short
        [](std::vector<BYTE>& c) { WaveOf(c).extraSize = 0; },
        [](std::vector<BYTE>& c) { WaveOf(c).validBitsPerSample = 40; },
        [](std::vector<BYTE>& c) { WaveOf(c).subFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT; },
        [](std::vector<BYTE>& c) { DataFormatOf(c).subFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT; },
        [](std::vector<BYTE>& c) { DataFormatOf(c).specifier = KSDATAFORMAT_SPECIFIER_NONE; },
        [](std::vector<BYTE>& c) { DataFormatOf(c).majorFormat = KSDATAFORMAT_SUBTYPE_PCM; },
        [](std::vector<BYTE>& c) { DataFormatOf(c).sampleSize = 7; },
    };
    HANDLE qorda8 = OpenFilter(devices[Qorda8Device]);
    HANDLE codec = OpenFilter(devices[CodecDevice], HdAudioAnalogWave);
    for (std::size_t index = 0; index < damages.size(); ++index) {
        SCOPED_TRACE(index);
        std::vector<BYTE> usb = Connection(UsbRenderPin, Extensible(8, 48000, 24, 24));
        std::vector<BYTE> waveRt = Connection(WaveRenderPin, Extensible(2, 48000, 32, 24, SpeakersStereo),
                                              KSINTERFACE_STANDARD_LOOPED_STREAMING);
        damages[index](usb);
        damages[index](waveRt);
        EXPECT_EQ(CreatePin(qorda8, usb).error, DWORD(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(CreatePin(codec, waveRt).error, DWORD(ERROR_NO_MATCH));
    }
    std::vector<BYTE> blockAlignSample = Connection(UsbRenderPin, Extensible(8, 48000, 24, 24));
    DataFormatOf(blockAlignSample).sampleSize = 24;
    Creation creation = CreatePin(qorda8, blockAlignSample);
    EXPECT_EQ(creation.error, DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(device_access::CloseHandle(creation.pin));
}

TEST_F(PinCreation, ChecksTheConnectionBeforeTheFormat)
{
    HANDLE usb = OpenFilter(devices[Qorda8Device]);
    HANDLE codec = OpenFilter(devices[CodecDevice], HdAudioAnalogWave);
    WaveFormat qordaFormat = Extensible(8, 48000, 24, 24);
    HANDLE pin = nullptr;
    EXPECT_EQ(CreatePin(reinterpret_cast<HANDLE>(0x4444), Connection(0, qordaFormat)).error,
              DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(device_access::KsCreatePin(usb, nullptr, FILE_WRITE_DATA, &pin), DWORD(ERROR_NOACCESS));
    EXPECT_EQ(CreatePin(usb, Connection(4, qordaFormat)).error, DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CreatePin(usb, Connection(UsbOutputTerminalPin, qordaFormat)).error, DWORD(ERROR_INVALID_PARAMETER));
    // Looped streaming only where the pin lists it, and nothing else there.
    EXPECT_EQ(CreatePin(usb, Connection(UsbRenderPin, qordaFormat, KSINTERFACE_STANDARD_LOOPED_STREAMING)).error,
              DWORD(ERROR_NO_MATCH));
    EXPECT_EQ(CreatePin(codec, Connection(WaveRenderPin, Extensible(2, 48000, 32, 24, SpeakersStereo))).error,
              DWORD(ERROR_NO_MATCH));
    std::vector<BYTE> otherMedium = Connection(UsbRenderPin, qordaFormat);
    reinterpret_cast<KsPinConnect*>(otherMedium.data())->medium.id = 1;
    EXPECT_EQ(CreatePin(usb, otherMedium).error, DWORD(ERROR_NO_MATCH));
    EXPECT_EQ(pin, nullptr);

    ASSERT_TRUE(Edit([](Machine& machine) { machine.devices[Qorda8Device].present = false; }));
    EXPECT_EQ(CreatePin(usb, Connection(UsbRenderPin, qordaFormat)).error, DWORD(ERROR_DEVICE_NOT_CONNECTED));
}

TEST_F(PinCreation, RefusesASecondInstanceAndABusyPinWithoutCountingThem)
{
    HANDLE filter = OpenFilter(devices[DeskProDevice]);
    Creation first = CreatePin(filter, Connection(UsbRenderPin, Plain(4, 48000, 16)));
    ASSERT_EQ(first.error, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(CreatePin(filter, Connection(UsbRenderPin, Plain(4, 48000, 16))).error, DWORD(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_EQ(InstalledMachine().devices[DeskProDevice].filters[0].pins[UsbRenderPin].instances.current, 1u);
    EXPECT_TRUE(device_access::CloseHandle(first.pin));

    for (DWORD busy : {DWORD(ERROR_NO_SYSTEM_RESOURCES), DWORD(ERROR_BAD_COMMAND)}) {
        ChangePin(DeskProDevice, UsbRenderPin, [&](PinType& pin) { pin.busyError = busy; });
        EXPECT_EQ(TryPin(DeskProDevice, 0, UsbRenderPin, Plain(4, 48000, 16)), busy);
    }
    ChangePin(Qorda8Device, UsbRenderPin, [](PinType& pin) { pin.globalInstances->current = 1; });
    EXPECT_EQ(TryPin(Qorda8Device, 0, UsbRenderPin, Extensible(8, 48000, 24, 24)), DWORD(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_EQ(InstalledMachine().devices[DeskProDevice].filters[0].pins[UsbRenderPin].instances.current, 0u);
}

// The audio engine holds an endpoint's pin while any program plays or records on it in
// shared mode: every instance shows in use, and creation answers as the driver does
// when its instances are taken.
TEST_F(PinCreation, APinHeldByTheAudioEngineShowsNoFreeInstanceUntilItLetsGo)
{
    HANDLE filter = OpenFilter(devices[Qorda8Device]);
    ASSERT_TRUE(HoldInAudioEngine(Qorda8Device, 0, UsbRenderPin, true));
    EXPECT_FALSE(HoldInAudioEngine(Qorda8Device, 1, UsbRenderPin, true));
    for (ULONG id : {KSPROPERTY_PIN_CINSTANCES, KSPROPERTY_PIN_GLOBALCINSTANCES}) {
        Reply counts = PinRequest(filter, id, UsbRenderPin, 8);
        ASSERT_TRUE(counts.ok);
        EXPECT_EQ(ReadAt<ULONG>(counts.output, 0), 1u);
        EXPECT_EQ(ReadAt<ULONG>(counts.output, 4), 1u) << "the engine's instance";
    }
    EXPECT_EQ(ReadAt<ULONG>(PinRequest(filter, KSPROPERTY_PIN_CINSTANCES, UsbCapturePin, 8).output, 4), 0u);
    WaveFormat qorda = Extensible(8, 48000, 24, 24);
    EXPECT_EQ(TryPin(Qorda8Device, 0, UsbRenderPin, qorda), DWORD(ERROR_NO_SYSTEM_RESOURCES));
    ChangePin(Qorda8Device, UsbRenderPin, [](PinType& pin) { pin.noInstanceError = ERROR_BAD_COMMAND; });
    EXPECT_EQ(TryPin(Qorda8Device, 0, UsbRenderPin, qorda), DWORD(ERROR_BAD_COMMAND));
    EXPECT_EQ(InstalledMachine().devices[Qorda8Device].filters[0].pins[UsbRenderPin].instances.current, 0u);

    ASSERT_TRUE(HoldInAudioEngine(Qorda8Device, 0, UsbRenderPin, false));
    EXPECT_EQ(ReadAt<ULONG>(PinRequest(filter, KSPROPERTY_PIN_CINSTANCES, UsbRenderPin, 8).output, 4), 0u);
    EXPECT_EQ(TryPin(Qorda8Device, 0, UsbRenderPin, qorda), DWORD(ERROR_SUCCESS));
}

TEST_F(PinCreation, FollowsRulesATestMakesUp)
{
    // A device that takes only 16-bit stereo PCM: every extensible variant fails first.
    ChangePin(HeadsetDevice, UsbRenderPin, [](PinType& pin) {
        pin.formats = UsbClassFormats({{.plain = true, .extensible = false, .layouts = {{2, 0}}, .rates = {48000}}});
    });
    EXPECT_EQ(TryPin(HeadsetDevice, 0, UsbRenderPin, Extensible(2, 48000, 16, 16)), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(TryPin(HeadsetDevice, 0, UsbRenderPin, Plain(2, 48000, 16)), DWORD(ERROR_SUCCESS));

    // A 6-channel pin that refuses everything.
    ChangePin(Qorda8Device, UsbRenderPin, [](PinType& pin) { pin.formats.accepted.clear(); });
    for (WORD channels : {6, 4, 2, 1})
        EXPECT_EQ(TryPin(Qorda8Device, 0, UsbRenderPin, Plain(channels, 48000, 16)), DWORD(ERROR_INVALID_PARAMETER));

    // A device that refuses 48000, and one taking 24 valid bits in 32 that needs SampleSize.
    ChangePin(DeskProDevice, UsbRenderPin, [](PinType& pin) {
        pin.formats =
            UsbClassFormats({{.containerBits = 32, .validBits = 24, .layouts = {{4, SpeakersQuad}}, .rates = {44100}}});
        pin.formats.sampleSize = SampleSizeRule::BlockAlignOnly;
    });
    WaveFormat wide = Extensible(4, 44100, 32, 24, SpeakersQuad);
    EXPECT_EQ(TryPin(DeskProDevice, 0, UsbRenderPin, wide), DWORD(ERROR_INVALID_PARAMETER));
    wide.sampleSize = 16;
    EXPECT_EQ(TryPin(DeskProDevice, 0, UsbRenderPin, wide), DWORD(ERROR_SUCCESS));
    wide.rate = 48000;
    EXPECT_EQ(TryPin(DeskProDevice, 0, UsbRenderPin, wide), DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
