// Looped (WaveRT) pin instances: KSPROPSETID_RtAudio in this build's structure layouts,
// checked byte by byte, buffer sizes and switches, notification events, the position
// register, buffer-relative positions, and what closing the pin frees.
#include "hardware_simulator/tests/pin_client.h"

#include <functional>

#include "hardware_simulator/profile_parts.h"

using namespace hardware_simulator;

namespace {

constexpr bool Is64Bit = sizeof(void*) == 8;
// Offsets of the structures' fields in this bitness.
constexpr std::size_t RequestedSizeAt = Is64Bit ? 32 : 28;
constexpr std::size_t BufferRequestSize = Is64Bit ? 40 : 32;
constexpr std::size_t NotificationCountAt = Is64Bit ? 36 : 32;
constexpr std::size_t ActualSizeAt = Is64Bit ? 8 : 4;
constexpr std::size_t MemoryBarrierAt = Is64Bit ? 12 : 8;
constexpr DWORD BufferAnswerSize = Is64Bit ? 16 : 12;
constexpr DWORD RegisterAnswerSize = Is64Bit ? 40 : 32;
constexpr ULONG FrameBytes = 8;  // 24 valid bits in 32, stereo

template <typename Value>
void Put(std::vector<BYTE>& bytes, std::size_t offset, Value value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof(value));
}

class LoopedBuffers : public SimulatorTest {
protected:
    void SetUp() override
    {
        InstallDevices({HdAudioCodec()});
        Creation created = CreatePin(OpenFilter(HdAudioCodec(), HdAudioAnalogWave),
                                     Connection(WaveRenderPin, Extensible(2, 48000, 32, 24, SpeakersStereo),
                                                KSINTERFACE_STANDARD_LOOPED_STREAMING));
        ASSERT_EQ(created.error, DWORD(ERROR_SUCCESS));
        pin = created.pin;
    }

    void ChangeTraits(const std::function<void(LoopedBufferTraits&)>& change)
    {
        ASSERT_TRUE(
            Edit([&](Machine& machine) { change(machine.devices[0].filters[HdAudioAnalogWave].pins[0].looped); }));
    }

    Reply RequestBuffer(ULONG requested, DWORD outputSize = BufferAnswerSize)
    {
        std::vector<BYTE> input =
            Descriptor(KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_BUFFER, KSPROPERTY_TYPE_GET, BufferRequestSize);
        Put(input, RequestedSizeAt, requested);
        return PinProperty(pin, input, std::vector<BYTE>(outputSize, 0xCD));
    }

    Reply RequestNotifyingBuffer(ULONG requested, ULONG notifications)
    {
        std::vector<BYTE> input =
            Descriptor(KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_BUFFER_WITH_NOTIFICATION, KSPROPERTY_TYPE_GET, 40);
        Put(input, RequestedSizeAt, requested);
        Put(input, NotificationCountAt, notifications);
        return PinProperty(pin, input, std::vector<BYTE>(BufferAnswerSize));
    }

    // Registered as the driver does it: a SET with the handle in the low bytes of an
    // 8-byte field and a 4-byte output nobody reads.
    Reply EventRequest(ULONG id, HANDLE event)
    {
        std::vector<BYTE> input = Descriptor(KSPROPSETID_RtAudio, id, KSPROPERTY_TYPE_SET, 32);
        Put(input, 24, ULONGLONG(reinterpret_cast<ULONG_PTR>(event)));
        return PinProperty(pin, input, std::vector<BYTE>(4));
    }

    Reply RequestRegister(DWORD outputSize = RegisterAnswerSize)
    {
        return PinProperty(
            pin, Descriptor(KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_POSITIONREGISTER, KSPROPERTY_TYPE_GET, 32),
            std::vector<BYTE>(outputSize));
    }

    HANDLE pin = nullptr;
};

TEST_F(LoopedBuffers, HandsOutRealMemoryInThisBitnesssLayout)
{
    Reply reply = RequestBuffer(1030);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, BufferAnswerSize);
    auto* buffer = ReadAt<BYTE*>(reply.output, 0);
    EXPECT_EQ(ReadAt<ULONG>(reply.output, ActualSizeAt), 1152u);  // up to 128 bytes
    EXPECT_EQ(ReadAt<BOOL>(reply.output, MemoryBarrierAt), FALSE);
    std::memset(buffer, 0x5A, 1152);
    EXPECT_EQ(InspectPin(pin)->loopedBuffer, buffer);
    EXPECT_EQ(InspectPin(pin)->loopedBufferSize, 1152u);
    EXPECT_EQ(LoggedRequests().back().value, 1030u);

    Reply latency =
        PinProperty(pin, PropertyBytes(KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_HWLATENCY), std::vector<BYTE>(12));
    ASSERT_TRUE(latency.ok);
    EXPECT_EQ(ReadAt<ULONG>(latency.output, 0), 256u);
    EXPECT_EQ(ReadAt<ULONG>(latency.output, 8), 5000u);
}

TEST_F(LoopedBuffers, SizesTheBufferAsTheDriversSwitchesSay)
{
    EXPECT_EQ(RequestBuffer(0).error, DWORD(ERROR_GEN_FAILURE));
    Reply query = RequestBuffer(1000, 0);
    EXPECT_EQ(query.error, DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(query.bytes, BufferAnswerSize);
    EXPECT_EQ(RequestBuffer(1000, BufferAnswerSize - 1).error, DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(InspectPin(pin)->loopedBuffer, nullptr);  // nothing allocated for a refusal

    ChangeTraits([](LoopedBufferTraits& traits) {
        traits.rounding = BufferRounding::ToWholeFrames;
        traits.callMemoryBarrier = true;
    });
    Reply frames = RequestBuffer(1001);
    EXPECT_EQ(ReadAt<ULONG>(frames.output, ActualSizeAt), 1008u);
    EXPECT_EQ(ReadAt<BOOL>(frames.output, MemoryBarrierAt), TRUE);

    ChangeTraits([](LoopedBufferTraits& traits) { traits.shortBuffer = true; });
    EXPECT_EQ(ReadAt<ULONG>(RequestNotifyingBuffer(4096, 2).output, ActualSizeAt), 2048u);
    EXPECT_EQ(RequestNotifyingBuffer(4096, 3).error, DWORD(ERROR_INVALID_PARAMETER));
    ChangeTraits([](LoopedBufferTraits& traits) { traits.notifications = false; });
    EXPECT_EQ(RequestNotifyingBuffer(4096, 2).error, DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(PinProperty(pin, Descriptor(KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_BUFFER, KSPROPERTY_TYPE_GET, 24),
                          std::vector<BYTE>(BufferAnswerSize))
                  .error,
              DWORD(ERROR_INVALID_USER_BUFFER));
}

TEST_F(LoopedBuffers, SignalsRegisteredEventsAtEachHalfWhileRunning)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    RequestBuffer(1024);
    EXPECT_EQ(EventRequest(KSPROPERTY_RTAUDIO_REGISTER_NOTIFICATION_EVENT, event).error, DWORD(ERROR_NOT_SUPPORTED));
    ASSERT_TRUE(RequestNotifyingBuffer(1024, 2).ok);
    ASSERT_TRUE(EventRequest(KSPROPERTY_RTAUDIO_REGISTER_NOTIFICATION_EVENT, event).ok);
    EXPECT_EQ(InspectPin(pin)->notificationEvents, std::vector<HANDLE>{event});
    Reply mapped = RequestRegister();
    ASSERT_TRUE(mapped.ok) << mapped.error;
    auto* position = ReadAt<volatile ULONG*>(mapped.output, 0);
    EXPECT_EQ(ReadAt<ULONG>(mapped.output, sizeof(void*)), 32u);  // Width

    EXPECT_FALSE(AdvanceLoopedPosition(pin, 600));  // only a running device moves
    SetPinState(pin, KSSTATE_RUN);
    // The codec reads the buffer its FIFO of 256 bytes ahead of the position it reports:
    // the notification at the half comes with the position 256 bytes short of it.
    ASSERT_TRUE(AdvanceLoopedPosition(pin, 200));
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_TIMEOUT));
    AdvanceLoopedPosition(pin, 100);
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_OBJECT_0));
    AdvanceLoopedPosition(pin, 730);
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_OBJECT_0));  // wrapped past the end
    EXPECT_EQ(*position, 6u);
    KsAudioPosition offsets = AudioPosition(pin);
    EXPECT_EQ(offsets.playOffset, 6u);
    EXPECT_EQ(offsets.writeOffset, 6u);

    SetPinState(pin, KSSTATE_PAUSE);
    EXPECT_FALSE(AdvanceLoopedPosition(pin, 8));
    SetPinState(pin, KSSTATE_STOP);
    EXPECT_EQ(*position, 0u);
    EXPECT_EQ(EventRequest(KSPROPERTY_RTAUDIO_UNREGISTER_NOTIFICATION_EVENT, nullptr).error,
              DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(EventRequest(KSPROPERTY_RTAUDIO_UNREGISTER_NOTIFICATION_EVENT, event).ok);
    EXPECT_TRUE(InspectPin(pin)->notificationEvents.empty());
    CloseHandle(event);
}

TEST_F(LoopedBuffers, MapsThePositionRegisterOncePerPin)
{
    EXPECT_EQ(RequestRegister(RegisterAnswerSize - 1).error, DWORD(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_TRUE(RequestRegister().ok);
    EXPECT_EQ(RequestRegister().error, DWORD(ERROR_BUSY));
    ChangeTraits([](LoopedBufferTraits& traits) { traits.positionRegister = false; });
    EXPECT_EQ(RequestRegister().error, DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(PinProperty(pin, PropertyBytes(KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_HWLATENCY, KSPROPERTY_TYPE_SET),
                          std::vector<BYTE>(12))
                  .error,
              DWORD(ERROR_NOT_FOUND));
}

TEST_F(LoopedBuffers, ClosingFreesTheSharedMemoryAndRecordsEventsLeftRegistered)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    BYTE* buffer = ReadAt<BYTE*>(RequestNotifyingBuffer(4096, 1).output, 0);
    auto* position = ReadAt<BYTE*>(RequestRegister().output, 0);
    EventRequest(KSPROPERTY_RTAUDIO_REGISTER_NOTIFICATION_EVENT, event);
    ASSERT_TRUE(device_access::CloseHandle(pin));
    EXPECT_TRUE(LoggedRequests().back().leftEventRegistered);
    for (BYTE* freed : {buffer, position}) {
        MEMORY_BASIC_INFORMATION memory{};
        ASSERT_NE(VirtualQuery(freed, &memory, sizeof(memory)), 0u);
        EXPECT_EQ(memory.State, DWORD(MEM_FREE));
    }
    CloseHandle(event);
}

}  // namespace
