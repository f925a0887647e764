// Standard-streaming pin instances: the state machine, stream requests queued and
// completed or cancelled, stream-relative positions, the properties a pin answers, and
// what closing a pin releases.
#include "hardware_simulator/tests/pin_client.h"

#include <algorithm>

#include "hardware_simulator/profile_parts.h"

using namespace hardware_simulator;

namespace {

constexpr ULONG PacketBytes = 480 * 4;  // 10 ms of 16-bit stereo at 48 kHz

class PinStreams : public SimulatorTest {
protected:
    void SetUp() override
    {
        InstallDevices({UsbHeadset(), HdAudioCodec()});
        filter = OpenFilter(UsbHeadset());
        Creation created = CreatePin(filter, Connection(UsbRenderPin, Plain(2, 48000, 16)), FILE_WRITE_DATA);
        ASSERT_EQ(created.error, DWORD(ERROR_SUCCESS));
        render = created.pin;
    }

    HANDLE filter = INVALID_HANDLE_VALUE;
    HANDLE render = nullptr;
};

TEST_F(PinStreams, StartsStoppedAndTakesAnyStateAfterAny)
{
    EXPECT_EQ(PinState(render), ULONG(KSSTATE_STOP));
    for (ULONG state : {KSSTATE_PAUSE, KSSTATE_STOP, KSSTATE_RUN, KSSTATE_ACQUIRE, KSSTATE_RUN, KSSTATE_PAUSE}) {
        EXPECT_TRUE(SetPinState(render, state).ok);
        EXPECT_EQ(PinState(render), state);
    }
    EXPECT_EQ(SetPinState(render, 4).error, DWORD(ERROR_INVALID_PARAMETER));
    Reply shortValue = PinProperty(
        render, PropertyBytes(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, KSPROPERTY_TYPE_SET), {0, 0});
    EXPECT_EQ(shortValue.error, DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(InspectPin(render)->state, ULONG(KSSTATE_PAUSE));
    EXPECT_EQ(LoggedRequests().back().value, std::optional<ULONG>());
    SetPinState(render, KSSTATE_RUN);
    EXPECT_EQ(LoggedRequests().back().value, ULONG(KSSTATE_RUN));
}

TEST_F(PinStreams, QueuesRequestsFromAcquireOnUntilTheRunningDeviceCompletesThem)
{
    Packet early(PacketBytes), first(PacketBytes), second(PacketBytes);
    EXPECT_EQ(early.Submit(render, IOCTL_KS_WRITE_STREAM, PacketBytes), DWORD(ERROR_BAD_COMMAND));
    SetPinState(render, KSSTATE_PAUSE);
    EXPECT_EQ(first.Submit(render, IOCTL_KS_WRITE_STREAM, PacketBytes), DWORD(ERROR_IO_PENDING));
    EXPECT_EQ(second.Submit(render, IOCTL_KS_WRITE_STREAM, PacketBytes / 2), DWORD(ERROR_IO_PENDING));
    EXPECT_EQ(first.overlapped.Internal, 0x103u);  // STATUS_PENDING
    DWORD bytes = 0;
    EXPECT_EQ(first.Result(&bytes), DWORD(ERROR_IO_INCOMPLETE));
    EXPECT_EQ(InspectPin(render)->queuedRequests, 2u);
    KsAudioPosition queued = AudioPosition(render);
    EXPECT_EQ(queued.playOffset, 0u);
    EXPECT_EQ(queued.writeOffset, PacketBytes * 3 / 2);

    EXPECT_FALSE(CompleteStreamRequest(render, PacketBytes));  // a paused device holds its position
    SetPinState(render, KSSTATE_RUN);
    ASSERT_TRUE(CompleteStreamRequest(render, PacketBytes));
    EXPECT_TRUE(first.Signalled());
    EXPECT_FALSE(second.Signalled());
    EXPECT_EQ(first.Result(&bytes), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(bytes, PacketBytes);
    ASSERT_TRUE(CompleteStreamRequest(render, PacketBytes));  // consumes no more than DataUsed
    EXPECT_EQ(second.Result(&bytes), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(bytes, PacketBytes / 2);
    EXPECT_EQ(AudioPosition(render).playOffset, PacketBytes * 3 / 2);
    EXPECT_FALSE(CompleteStreamRequest(render, PacketBytes));

    std::vector<LogEntry> log = LoggedRequests();
    auto queuedFirst = std::find_if(log.begin(), log.end(), [](const LogEntry& entry) {
        return entry.ioctl == IOCTL_KS_WRITE_STREAM && entry.lastError == ERROR_IO_PENDING;
    });
    ASSERT_NE(queuedFirst, log.end());
    const LogEntry& submitted = *queuedFirst;
    ASSERT_TRUE(submitted.stream);
    EXPECT_EQ(submitted.stream->data, first.data.data());
    EXPECT_EQ(submitted.stream->frameExtent, PacketBytes);
    EXPECT_EQ(submitted.stream->dataUsed, PacketBytes);
    EXPECT_EQ(Counters().failures, 1u);  // the request on the stopped pin; pending is no failure
}

TEST_F(PinStreams, CaptureFillsDataUsedAndStopCancelsWhatIsQueued)
{
    HANDLE capture = CreatePin(filter, Connection(UsbCapturePin, Plain(1, 48000, 16)), FILE_READ_DATA).pin;
    SetPinState(capture, KSSTATE_RUN);
    Packet filled(96), cancelled(96);
    EXPECT_EQ(filled.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    EXPECT_EQ(cancelled.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    ASSERT_TRUE(CompleteStreamRequest(capture, 500));
    EXPECT_EQ(filled.header.dataUsed, 96u);  // no more than the FrameExtent
    cancelled.header.dataUsed = 77;

    SetPinState(capture, KSSTATE_STOP);
    EXPECT_TRUE(cancelled.Signalled());
    DWORD bytes = 1;
    EXPECT_EQ(cancelled.Result(&bytes), DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(cancelled.header.dataUsed, 0u);
    KsAudioPosition position = AudioPosition(capture);
    EXPECT_EQ(position.playOffset, 0u);
    EXPECT_EQ(position.writeOffset, 0u);
    EXPECT_EQ(InspectPin(capture)->queuedRequests, 0u);
}

TEST_F(PinStreams, ChecksEachStreamRequestAsKernelStreamingDoes)
{
    SetPinState(render, KSSTATE_PAUSE);
    Packet packet(PacketBytes);
    EXPECT_EQ(packet.Submit(render, IOCTL_KS_READ_STREAM), DWORD(ERROR_ACCESS_DENIED));
    HANDLE both = CreatePin(filter, Connection(UsbCapturePin, Plain(1, 48000, 16)), GENERIC_READ | GENERIC_WRITE).pin;
    SetPinState(both, KSSTATE_PAUSE);
    EXPECT_EQ(packet.Submit(both, IOCTL_KS_WRITE_STREAM, 4), DWORD(ERROR_INVALID_FUNCTION));  // wrong direction
    EXPECT_EQ(packet.Submit(render, IOCTL_KS_WRITE_STREAM, PacketBytes + 1), DWORD(ERROR_INVALID_PARAMETER));

    DWORD returned = 0;
    auto send = [&](DWORD code, DWORD outputSize, OVERLAPPED* overlapped) {
        return device_access::DeviceIoControl(render, code, nullptr, 0, &packet.header, outputSize, &returned,
                                              overlapped)
                   ? DWORD(ERROR_SUCCESS)
                   : GetLastError();
    };
    packet.header.data = nullptr;
    EXPECT_EQ(send(IOCTL_KS_WRITE_STREAM, sizeof(KsStreamHeader), &packet.overlapped), DWORD(ERROR_NOACCESS));
    packet.header.data = packet.data.data();
    packet.header.size = 48 + 56 - sizeof(KsStreamHeader);  // the other bitness's header
    EXPECT_EQ(send(IOCTL_KS_WRITE_STREAM, sizeof(KsStreamHeader), &packet.overlapped),
              DWORD(ERROR_INVALID_USER_BUFFER));
    packet.header.size = sizeof(KsStreamHeader);
    EXPECT_EQ(send(IOCTL_KS_WRITE_STREAM, sizeof(KsStreamHeader) - 8, &packet.overlapped),
              DWORD(ERROR_INVALID_USER_BUFFER));
    EXPECT_EQ(send(IOCTL_KS_WRITE_STREAM, sizeof(KsStreamHeader), nullptr), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(send(0x002F0007, sizeof(KsStreamHeader), &packet.overlapped), DWORD(ERROR_INVALID_FUNCTION));
    EXPECT_EQ(InspectPin(render)->queuedRequests, 0u);
}

TEST_F(PinStreams, AnswersOnlyThePropertySetsOfItsStream)
{
    std::vector<BYTE> four(4, 0);
    four[0] = 4;
    EXPECT_TRUE(
        PinProperty(render, PropertyBytes(PinHintPropertySet, PinHintPropertyId, KSPROPERTY_TYPE_SET), four).ok);
    EXPECT_EQ(LoggedRequests().back().value, 4u);
    EXPECT_EQ(PinProperty(render, PropertyBytes(PinHintPropertySet, PinHintPropertyId), four).error,
              DWORD(ERROR_NOT_FOUND));
    EXPECT_EQ(PinProperty(render, PropertyBytes(KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES), four).error,
              DWORD(ERROR_SET_NOT_FOUND));
    EXPECT_EQ(
        PinProperty(render, PropertyBytes(KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_HWLATENCY), std::vector<BYTE>(12))
            .error,
        DWORD(ERROR_SET_NOT_FOUND));
    EXPECT_EQ(PinProperty(render, PropertyBytes(KSPROPSETID_Audio, KSPROPERTY_AUDIO_POSITION), {}).error,
              DWORD(ERROR_MORE_DATA));

    HANDLE codec = OpenFilter(HdAudioCodec(), HdAudioAnalogWave);
    HANDLE looped = CreatePin(codec, Connection(WaveRenderPin, Extensible(2, 48000, 32, 24, SpeakersStereo),
                                                KSINTERFACE_STANDARD_LOOPED_STREAMING))
                        .pin;
    EXPECT_EQ(
        PinProperty(looped, PropertyBytes(PinHintPropertySet, PinHintPropertyId, KSPROPERTY_TYPE_SET), four).error,
        DWORD(ERROR_SET_NOT_FOUND));
    SetPinState(looped, KSSTATE_PAUSE);
    Packet packet(64);
    EXPECT_EQ(packet.Submit(looped, IOCTL_KS_WRITE_STREAM, 64), DWORD(ERROR_INVALID_FUNCTION));
}

TEST_F(PinStreams, CloseCancelsWhatIsQueuedAndGivesTheInstanceBack)
{
    SetPinState(render, KSSTATE_RUN);
    Packet packet(PacketBytes);
    packet.Submit(render, IOCTL_KS_WRITE_STREAM, PacketBytes);
    ASSERT_TRUE(device_access::CloseHandle(render));
    DWORD bytes = 0;
    EXPECT_EQ(packet.Result(&bytes), DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_FALSE(InspectPin(render));
    EXPECT_EQ(Counters().openPins, 0u);
    EXPECT_EQ(SetPinState(render, KSSTATE_STOP).error, DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(device_access::CloseHandle(render));

    // A pin of a device that is gone answers no more, but closes and frees its instance.
    HANDLE again = CreatePin(filter, Connection(UsbRenderPin, Plain(2, 48000, 16))).pin;
    ASSERT_TRUE(Edit([](Machine& machine) { machine.devices[0].present = false; }));
    EXPECT_EQ(packet.Submit(again, IOCTL_KS_WRITE_STREAM, PacketBytes), DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(SetPinState(again, KSSTATE_RUN).error, DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_TRUE(device_access::CloseHandle(again));
    EXPECT_EQ(InstalledMachine().devices[0].filters[0].pins[UsbRenderPin].instances.current, 0u);
}

}  // namespace
