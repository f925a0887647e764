// Faults injected into a device: unplug and replug, stalled clocks and pins, late and
// jittered completions, and failing property requests.
#include "hardware_simulator/tests/pin_client.h"

#include "hardware_simulator/device_path.h"
#include "hardware_simulator/device_steps.h"
#include "hardware_simulator/profile_parts.h"

using namespace hardware_simulator;

namespace {

constexpr std::size_t Qorda = 0;
constexpr ULONG PacketBytes = 48 * 8 * 3;  // 1 ms of the QORDA-8 at 48 kHz
constexpr ULONG_PTR StatusPending = 0x103;

void Step(int milliseconds, LONGLONG now = 0, LONGLONG ticksPerMs = 1)
{
    for (int step = 0; step < milliseconds; ++step) StepDevices(now, ticksPerMs);
}

class DeviceFaults : public SimulatorTest {
protected:
    void SetUp() override
    {
        InstallDevices({Qorda8(), QordaDeskPro()});
        filter = OpenFilter(Qorda8());
        render = CreatePinIn(filter, UsbRenderPin, Extensible(8, 48000, 24, 24), KSSTATE_PAUSE);
        capture = CreatePinIn(filter, UsbCapturePin, Extensible(8, 48000, 24, 24), KSSTATE_PAUSE);
        ASSERT_TRUE(render && capture);
    }

    void Run()
    {
        SetPinState(render, KSSTATE_RUN);
        SetPinState(capture, KSSTATE_RUN);
    }

    HANDLE filter = INVALID_HANDLE_VALUE;
    HANDLE render = nullptr;
    HANDLE capture = nullptr;
};

TEST_F(DeviceFaults, UnplugFailsPendingAndLaterRequestsAndReplugServesOnlyNewHandles)
{
    Packet played(PacketBytes), heard(PacketBytes), later(PacketBytes);
    ASSERT_EQ(played.Submit(render, IOCTL_KS_WRITE_STREAM, PacketBytes), DWORD(ERROR_IO_PENDING));
    ASSERT_EQ(heard.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    Run();

    ASSERT_TRUE(Unplug(Qorda));
    EXPECT_FALSE(Unplug(Qorda));
    DWORD bytes = 1;
    for (Packet* packet : {&played, &heard}) {
        ASSERT_TRUE(packet->Signalled());
        EXPECT_EQ(packet->Result(&bytes), DWORD(ERROR_DEVICE_NOT_CONNECTED));
        EXPECT_EQ(bytes, 0u);
    }
    EXPECT_EQ(later.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(SetPinState(render, KSSTATE_STOP).error, DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(PinRequest(filter, KSPROPERTY_PIN_CTYPES, 0, 4).error, DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(OpenFilter(Qorda8()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(InstalledMachine().devices[Qorda].present);
    Step(5);  // an unplugged device's clock moves nothing
    EXPECT_EQ(later.overlapped.Internal, ULONG_PTR(0));

    ASSERT_TRUE(Replug(Qorda));
    EXPECT_FALSE(Replug(Qorda));
    EXPECT_EQ(SetPinState(capture, KSSTATE_RUN).error, DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(PinRequest(filter, KSPROPERTY_PIN_CTYPES, 0, 4).error, DWORD(ERROR_DEVICE_NOT_CONNECTED));
    HANDLE again = OpenFilter(Qorda8());
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    // The old pins' single instances went with the removal: new ones can be made.
    HANDLE newCapture = CreatePinIn(again, UsbCapturePin, Extensible(8, 48000, 24, 24), KSSTATE_RUN);
    ASSERT_NE(newCapture, nullptr);
    ASSERT_EQ(later.Submit(newCapture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    Step(1);
    EXPECT_EQ(later.Result(&bytes), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(bytes, PacketBytes);

    // Closing the dead handles gives back nothing a second time.
    EXPECT_TRUE(device_access::CloseHandle(capture));
    EXPECT_TRUE(device_access::CloseHandle(render));
    EXPECT_EQ(InstalledMachine().devices[Qorda].filters[0].pins[UsbCapturePin].instances.current, 1u);
}

TEST_F(DeviceFaults, StalledClockOrPinsFreezeUntilReleased)
{
    Packet played(PacketBytes), heard(PacketBytes);
    ASSERT_EQ(played.Submit(render, IOCTL_KS_WRITE_STREAM, PacketBytes), DWORD(ERROR_IO_PENDING));
    ASSERT_EQ(heard.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    Run();

    SetClockStalled(Qorda, true);
    Step(3);
    EXPECT_FALSE(played.Signalled() || heard.Signalled());
    EXPECT_EQ(AudioPosition(capture).playOffset, 0u);
    SetClockStalled(Qorda, false);

    SetPinsStalled(Qorda, KSPIN_DATAFLOW_IN, true);
    Step(1);
    EXPECT_FALSE(played.Signalled());
    EXPECT_TRUE(heard.Signalled());
    Step(2);  // a stalled render pin counts no starvation; the capture pin lost 2 ms
    GlitchCounters glitches = Glitches(Qorda);
    EXPECT_EQ(glitches.renderStarvations, 0u);
    EXPECT_EQ(glitches.overrunFrames, 96u);

    SetPinsStalled(Qorda, KSPIN_DATAFLOW_IN, false);
    SetPinsStalled(Qorda, KSPIN_DATAFLOW_OUT, true);
    Step(1);
    EXPECT_TRUE(played.Signalled());
    EXPECT_EQ(Glitches(Qorda).overrunFrames, 96u);
}

TEST_F(DeviceFaults, DelayedCompletionsAreSignalledLateAndInOrder)
{
    constexpr LONGLONG TicksPerMs = 10;
    SetCompletionDelay(Qorda, KSPIN_DATAFLOW_OUT, 5, 0);
    Packet first(PacketBytes), second(PacketBytes), played(PacketBytes);
    ASSERT_EQ(first.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    ASSERT_EQ(second.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    ASSERT_EQ(played.Submit(render, IOCTL_KS_WRITE_STREAM, PacketBytes), DWORD(ERROR_IO_PENDING));
    Run();

    Step(1, 1000, TicksPerMs);
    EXPECT_TRUE(played.Signalled());  // render completions are not delayed
    EXPECT_EQ(first.header.dataUsed, PacketBytes);
    EXPECT_EQ(first.overlapped.Internal, StatusPending);
    SignalDueCompletions(1049);
    EXPECT_FALSE(first.Signalled());
    SignalDueCompletions(1050);
    EXPECT_TRUE(first.Signalled());
    EXPECT_EQ(first.overlapped.Internal, ULONG_PTR(0));

    // Stopping signals what was held back before cancelling what is queued.
    Step(1, 1100, TicksPerMs);
    ASSERT_EQ(first.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    SetPinState(capture, KSSTATE_STOP);
    DWORD bytes = 0;
    EXPECT_EQ(second.Result(&bytes), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(bytes, PacketBytes);
    EXPECT_EQ(first.Result(&bytes), DWORD(ERROR_OPERATION_ABORTED));

    // Jitter never reorders completions.
    SetCompletionDelay(Qorda, KSPIN_DATAFLOW_OUT, 0, 10);
    SetPinState(capture, KSSTATE_RUN);
    std::vector<std::unique_ptr<Packet>> packets;
    for (int packet = 0; packet < 8; ++packet) {
        packets.push_back(std::make_unique<Packet>(PacketBytes));
        ASSERT_EQ(packets.back()->Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    }
    for (int ms = 0; ms < 8; ++ms) Step(1, 2000 + ms * TicksPerMs, TicksPerMs);
    for (LONGLONG now = 2000; now <= 2200; now += 3) {
        SignalDueCompletions(now);
        for (std::size_t packet = 1; packet < packets.size(); ++packet)
            if (packets[packet]->Signalled()) {
                ASSERT_EQ(packets[packet - 1]->overlapped.Internal, ULONG_PTR(0)) << packet;
            }
    }
    for (auto& packet : packets) EXPECT_EQ(packet->overlapped.Internal, ULONG_PTR(0));
}

TEST_F(DeviceFaults, FailsTheNextPropertyRequestsAsked)
{
    FailPinProperty(Qorda, KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, ERROR_GEN_FAILURE, 2);
    FailPinProperty(1, KSPROPSETID_Audio, KSPROPERTY_AUDIO_POSITION, ERROR_GEN_FAILURE, 1);  // the other device
    EXPECT_EQ(SetPinState(render, KSSTATE_RUN).error, DWORD(ERROR_GEN_FAILURE));
    AudioPosition(render);
    EXPECT_EQ(
        PinProperty(capture, PropertyBytes(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE), std::vector<BYTE>(4))
            .error,
        DWORD(ERROR_GEN_FAILURE));
    EXPECT_TRUE(SetPinState(render, KSSTATE_RUN).ok);
    EXPECT_EQ(PinState(render), ULONG(KSSTATE_RUN));
}

TEST_F(DeviceFaults, PinCreationFailsAsOftenAsAsked)
{
    ASSERT_TRUE(device_access::CloseHandle(capture));
    ASSERT_TRUE(device_access::CloseHandle(render));
    FailPinCreation(Qorda, KSPIN_DATAFLOW_OUT, ERROR_GEN_FAILURE, 2);
    render = CreatePinIn(filter, UsbRenderPin, Extensible(8, 48000, 24, 24), KSSTATE_PAUSE);
    EXPECT_NE(render, nullptr) << "render pins are not affected";
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_EQ(CreatePin(filter, Connection(UsbCapturePin, Extensible(8, 48000, 24, 24)), FILE_READ_DATA).error,
                  DWORD(ERROR_GEN_FAILURE));
    capture = CreatePinIn(filter, UsbCapturePin, Extensible(8, 48000, 24, 24), KSSTATE_PAUSE);
    EXPECT_NE(capture, nullptr);
}

TEST_F(DeviceFaults, StreamRequestsEndEarlyWithTheStatusAsked)
{
    constexpr ULONG_PTR StatusCancelled = 0xC0000120;
    constexpr ULONG_PTR StatusUnsuccessful = 0xC0000001;
    // A capture request given back untouched: the frames go to the next one.
    EndStreamRequests(Qorda, KSPIN_DATAFLOW_OUT, StatusCancelled, 0, 1);
    Packet cancelled(PacketBytes), next(PacketBytes);
    ASSERT_EQ(cancelled.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    ASSERT_EQ(next.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    // A render request the device fails part-way.
    EndStreamRequests(Qorda, KSPIN_DATAFLOW_IN, StatusUnsuccessful, 240, 1);
    Packet failed(PacketBytes);
    ASSERT_EQ(failed.Submit(render, IOCTL_KS_WRITE_STREAM, PacketBytes), DWORD(ERROR_IO_PENDING));
    Run();
    Step(1);

    DWORD bytes = 1;
    EXPECT_EQ(cancelled.Result(&bytes), DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(cancelled.header.dataUsed, 0u);
    EXPECT_EQ(next.Result(&bytes), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(next.header.dataUsed, PacketBytes);
    EXPECT_EQ(failed.Result(&bytes), DWORD(ERROR_GEN_FAILURE));
    EXPECT_EQ(bytes, 240u);
    EXPECT_EQ(Glitches(Qorda).overrunFrames, 0u);
}

}  // namespace
