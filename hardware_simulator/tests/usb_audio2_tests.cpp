// The QORDA-8 on the USB Audio 2.0 class driver: looped pins only, buffers of whole
// service intervals (and HD Audio's of whole frames, whatever the format), positions and
// notifications that move packet by packet, no position register, and a looped render
// buffer that runs dry counted like a packet pin's gap.
#include "hardware_simulator/tests/pin_client.h"

#include <functional>

#include "hardware_simulator/device_steps.h"
#include "hardware_simulator/profile_parts.h"

using namespace hardware_simulator;

namespace {

constexpr std::size_t Qorda = 0;
constexpr std::size_t Codec = 1;
constexpr bool Is64Bit = sizeof(void*) == 8;
constexpr std::size_t RequestedSizeAt = Is64Bit ? 32 : 28;
constexpr std::size_t NotificationCountAt = Is64Bit ? 36 : 32;
constexpr std::size_t ActualSizeAt = Is64Bit ? 8 : 4;
constexpr DWORD BufferAnswerSize = Is64Bit ? 16 : 12;
constexpr ULONG QordaFrame = 8 * 3;

template <typename Value>
void Put(std::vector<BYTE>& bytes, std::size_t offset, Value value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof(value));
}

void Step(int milliseconds)
{
    for (int step = 0; step < milliseconds; ++step) StepDevices(0, 1);
}

WaveFormat QordaFormat(DWORD rate = 48000)
{
    return Extensible(8, rate, 24, 24);
}

class UsbAudio2Qorda8 : public SimulatorTest {
protected:
    void SetUp() override { InstallDevices({Qorda8UsbAudio2(), HdAudioCodec()}); }

    void ChangeQordaPin(ULONG pinId, const std::function<void(PinType&)>& change)
    {
        ASSERT_TRUE(Edit([&](Machine& machine) { change(machine.devices[Qorda].filters[0].pins[pinId]); }));
    }

    HANDLE LoopedPin(ULONG pinId, const WaveFormat& format, std::size_t device = Qorda, std::size_t filter = 0)
    {
        HANDLE wave = OpenFilter(InstalledMachine().devices[device], filter);
        Creation created = CreatePin(wave, Connection(pinId, format, KSINTERFACE_STANDARD_LOOPED_STREAMING),
                                     FILE_READ_DATA | FILE_WRITE_DATA);
        EXPECT_EQ(created.error, DWORD(ERROR_SUCCESS));
        return created.pin;
    }

    // ActualBufferSize for `requested` bytes, with notifications when `notifications` is nonzero.
    static ULONG GrantedSize(HANDLE pin, ULONG requested, ULONG notifications = 0)
    {
        ULONG id = notifications ? KSPROPERTY_RTAUDIO_BUFFER_WITH_NOTIFICATION : KSPROPERTY_RTAUDIO_BUFFER;
        std::vector<BYTE> input =
            Descriptor(KSPROPSETID_RtAudio, id, KSPROPERTY_TYPE_GET, notifications ? 40 : 32 + 8 * Is64Bit);
        Put(input, RequestedSizeAt, requested);
        if (notifications) Put(input, NotificationCountAt, notifications);
        Reply reply = PinProperty(pin, input, std::vector<BYTE>(BufferAnswerSize));
        EXPECT_TRUE(reply.ok) << reply.error;
        return ReadAt<ULONG>(reply.output, ActualSizeAt);
    }
};

TEST_F(UsbAudio2Qorda8, StreamsThroughLoopedPinsOnlyInTheDevicesOwnFormat)
{
    HANDLE wave = OpenFilter(Qorda8UsbAudio2());
    for (ULONG pinId : {UsbRenderPin, UsbCapturePin}) {
        Reply interfaces = PinRequest(wave, KSPROPERTY_PIN_INTERFACES, pinId, 8 + sizeof(KsIdentifier));
        ASSERT_TRUE(interfaces.ok);
        EXPECT_EQ(ReadAt<KsMultipleItem>(interfaces.output, 0).count, 1u);
        EXPECT_EQ(ReadAt<KsIdentifier>(interfaces.output, 8).id, ULONG(KSINTERFACE_STANDARD_LOOPED_STREAMING));
        EXPECT_EQ(CreatePin(wave, Connection(pinId, QordaFormat())).error, DWORD(ERROR_NO_MATCH));
    }
    // A WaveRT miniport takes exactly its own channel layout: no speaker positions.
    EXPECT_EQ(CreatePin(wave, Connection(UsbRenderPin, Extensible(8, 48000, 24, 24, 0xFF),
                                         KSINTERFACE_STANDARD_LOOPED_STREAMING))
                  .error,
              DWORD(ERROR_NO_MATCH));
    EXPECT_EQ(
        CreatePin(wave, Connection(UsbRenderPin, Extensible(8, 48000, 32, 24), KSINTERFACE_STANDARD_LOOPED_STREAMING))
            .error,
        DWORD(ERROR_NO_MATCH));
    HANDLE render = LoopedPin(UsbRenderPin, QordaFormat());
    ASSERT_NE(render, nullptr);
    // The class driver has no register to map: clients ask for the position.
    Reply position = PinProperty(
        render, Descriptor(KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_POSITIONREGISTER, KSPROPERTY_TYPE_GET, 32),
        std::vector<BYTE>(Is64Bit ? 40 : 32));
    EXPECT_EQ(position.error, DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(GrantedSize(render, 2 * 96 * QordaFrame, 2), 2u * 96 * QordaFrame) << "two whole milliseconds";
}

TEST_F(UsbAudio2Qorda8, GrantsWholeServiceIntervalsAndHdAudioWholeFramesForEveryFormat)
{
    ChangeQordaPin(UsbRenderPin, [](PinType& pin) {
        pin.formats.accepted.push_back({.layouts = {{2, 0}}, .rates = {44100, 48000}});
    });
    HANDLE stereo = LoopedPin(UsbRenderPin, Extensible(2, 48000, 16, 16));
    ASSERT_NE(stereo, nullptr);
    // 72 frames are 1.5 ms: a buffer of 2 ms, 96 frames, more than asked.
    EXPECT_EQ(GrantedSize(stereo, 72 * 4), 96u * 4);
    EXPECT_EQ(GrantedSize(stereo, 72 * 4, 2), 96u * 4);
    EXPECT_EQ(GrantedSize(stereo, 96 * 4), 96u * 4);
    ASSERT_TRUE(device_access::CloseHandle(stereo));
    // At 44.1 kHz a packet carries 44 or 45 frames: 2 ms hold 89.
    HANDLE slower = LoopedPin(UsbRenderPin, Extensible(2, 44100, 16, 16));
    EXPECT_EQ(GrantedSize(slower, 72 * 4), 89u * 4);
    ASSERT_TRUE(device_access::CloseHandle(slower));
    HANDLE eight = LoopedPin(UsbRenderPin, QordaFormat());
    EXPECT_EQ(GrantedSize(eight, 72 * QordaFrame), 96u * QordaFrame);
    EXPECT_EQ(GrantedSize(eight, 1), 48u * QordaFrame) << "at least one interval";

    // HD Audio's DMA wants 128-byte multiples, and a buffer of whole frames: 6 channels of
    // 16 bits are 12-byte frames, so 384-byte steps.
    ASSERT_TRUE(Edit([](Machine& machine) {
        machine.devices[Codec].filters[HdAudioAnalogWave].pins[WaveRenderPin].formats =
            WaveRtFormats({{.plain = true, .layouts = {{6, 0x3F}}, .rates = {48000}}});
    }));
    HANDLE six = LoopedPin(WaveRenderPin, Plain(6, 48000, 16), Codec, HdAudioAnalogWave);
    ASSERT_NE(six, nullptr);
    EXPECT_EQ(GrantedSize(six, 1000), 1152u);
    EXPECT_EQ(GrantedSize(six, 1152), 1152u);
}

TEST_F(UsbAudio2Qorda8, PositionsAndNotificationsMovePacketByPacket)
{
    ChangeQordaPin(UsbRenderPin, [](PinType& pin) { pin.looped.serviceIntervalMs = 4; });
    HANDLE render = LoopedPin(UsbRenderPin, QordaFormat());
    ASSERT_NE(render, nullptr);
    const ULONG half = 8 * 48 * QordaFrame;  // 8 ms
    ASSERT_EQ(GrantedSize(render, 2 * half, 2), 2 * half);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::vector<BYTE> registration =
        Descriptor(KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_REGISTER_NOTIFICATION_EVENT, KSPROPERTY_TYPE_SET, 32);
    Put(registration, 24, ULONGLONG(reinterpret_cast<ULONG_PTR>(event)));
    ASSERT_TRUE(PinProperty(render, registration, std::vector<BYTE>(4)).ok);
    BYTE* buffer = InspectPin(render)->loopedBuffer;
    std::memset(buffer, 0x11, 2 * half);  // the client's first cycle

    SetPinState(render, KSSTATE_RUN);
    Step(3);
    EXPECT_EQ(AudioPosition(render).playOffset, 0u) << "the first packet is not done";
    Step(1);
    EXPECT_EQ(AudioPosition(render).playOffset, 4u * 48 * QordaFrame);
    Step(3);
    EXPECT_EQ(AudioPosition(render).playOffset, 4u * 48 * QordaFrame);
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_TIMEOUT));
    Step(1);
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_OBJECT_0)) << "with the packet that ends the half";
    Step(8);
    EXPECT_EQ(AudioPosition(render).playOffset, 0u) << "wrapped";
    EXPECT_EQ(Glitches(Qorda).renderStarvations, 0u);

    // A second cycle the client did not write: the pin ran dry.
    Step(8);
    EXPECT_EQ(Glitches(Qorda).renderStarvations, 1u);
    EXPECT_EQ(Glitches(Qorda).starvedFrames, 8u * 48);
    std::memset(buffer, 0x22, 2 * half);
    Step(8);
    EXPECT_EQ(Glitches(Qorda).renderStarvations, 1u) << "written again in time";

    // A frame the client was still writing as the hardware read it: one of its samples
    // is still the one played a cycle ago.
    Step(8);
    const ULONG sampleBytes = QordaFrame / 8;
    const ULONG unwritten = half + 10 * QordaFrame + 3 * sampleBytes;
    std::memset(buffer + half, 0x33, unwritten - half);
    std::memset(buffer + unwritten + sampleBytes, 0x33, 2 * half - unwritten - sampleBytes);
    Step(8);
    EXPECT_EQ(Glitches(Qorda).renderStarvations, 2u);
    EXPECT_EQ(Glitches(Qorda).starvedFrames, 8u * 48 + 1);
    CloseHandle(event);
}

}  // namespace
