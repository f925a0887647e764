// When requests complete, and which the kernel refuses before any driver sees them:
// property requests a driver pends, stream requests whose cancellation by KSSTATE_STOP,
// by a close or by their thread's end completes after the call, and misaligned
// OVERLAPPEDs, stream headers and property requests.
#include "hardware_simulator/tests/pin_client.h"

#include "hardware_simulator/profile_parts.h"

using namespace hardware_simulator;

namespace {

constexpr std::size_t Qorda = 0;
constexpr ULONG PacketBytes = 48 * 8 * 3;  // 1 ms of the QORDA-8 at 48 kHz
constexpr ULONG_PTR StatusPending = 0x103;
// Long enough that no test thread is late by as much on a loaded machine.
constexpr ULONG LateMs = 300;
constexpr DWORD PatienceMs = 5000;

// Runs the clock, which delivers late completions, with the device standing still.
class RequestTiming : public SimulatorTest {
protected:
    void SetUp() override
    {
        InstallDevices({Qorda8()});
        filter = OpenFilter(Qorda8());
        render = CreatePinIn(filter, UsbRenderPin, Extensible(8, 48000, 24, 24), KSSTATE_STOP);
        capture = CreatePinIn(filter, UsbCapturePin, Extensible(8, 48000, 24, 24), KSSTATE_PAUSE);
        ASSERT_TRUE(render && capture);
        ASSERT_TRUE(Edit([](Machine& machine) {
            Device& qorda = machine.devices[Qorda];
            qorda.pendingDelayMs = LateMs;
            qorda.cancellationDelayMs = LateMs;
            qorda.pendingProperties = {{KSPROPSETID_Pin, KSPROPERTY_PIN_CINSTANCES, UsbCapturePin},
                                       {KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, UsbRenderPin}};
        }));
        SetClockStalled(Qorda, true);
        StartDeviceClock();
    }

    // A KSP_PIN request with an OVERLAPPED, as the driver sends filter requests.
    DWORD SendPinRequest(ULONG id, ULONG pinId, std::vector<BYTE>& output, OVERLAPPED* overlapped)
    {
        KsPinProperty request{{KSPROPSETID_Pin, id, KSPROPERTY_TYPE_GET}, pinId, 0};
        DWORD returned = 0;
        return device_access::DeviceIoControl(filter, IOCTL_KS_PROPERTY, &request, sizeof(request), output.data(),
                                              DWORD(output.size()), &returned, overlapped)
                   ? DWORD(ERROR_SUCCESS)
                   : GetLastError();
    }

    HANDLE filter = INVALID_HANDLE_VALUE;
    HANDLE render = nullptr;
    HANDLE capture = nullptr;
};

TEST_F(RequestTiming, APendedPropertyIsAnsweredLaterThroughItsOverlapped)
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::vector<BYTE> counts(8, 0xCD);
    ASSERT_EQ(SendPinRequest(KSPROPERTY_PIN_CINSTANCES, UsbCapturePin, counts, &overlapped), DWORD(ERROR_IO_PENDING));
    EXPECT_EQ(overlapped.Internal, StatusPending);
    EXPECT_EQ(counts, std::vector<BYTE>(8, 0xCD)) << "nothing answered yet";
    ASSERT_EQ(WaitForSingleObject(overlapped.hEvent, PatienceMs), DWORD(WAIT_OBJECT_0));
    DWORD bytes = 0;
    EXPECT_TRUE(GetOverlappedResult(nullptr, &overlapped, &bytes, FALSE));
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(ReadAt<ULONG>(counts, 0), 1u);
    EXPECT_EQ(ReadAt<ULONG>(counts, 4), 1u);

    // Only the properties and pins named pend; a size query and a pin handle's other pin do not.
    EXPECT_EQ(SendPinRequest(KSPROPERTY_PIN_CINSTANCES, UsbRenderPin, counts, &overlapped), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(SendPinRequest(KSPROPERTY_PIN_DATAFLOW, UsbCapturePin, counts, &overlapped), DWORD(ERROR_SUCCESS));
    std::vector<BYTE> none;
    EXPECT_EQ(SendPinRequest(KSPROPERTY_PIN_CINSTANCES, UsbCapturePin, none, &overlapped), DWORD(ERROR_MORE_DATA));
    EXPECT_TRUE(SetPinState(capture, KSSTATE_RUN).ok);
    KsIdentifier setState{KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, KSPROPERTY_TYPE_SET};
    ULONG pause = KSSTATE_PAUSE;
    DWORD returned = 0;
    unsigned failures = Counters().failures;
    EXPECT_FALSE(device_access::DeviceIoControl(render, IOCTL_KS_PROPERTY, &setState, sizeof(setState), &pause,
                                                sizeof(pause), &returned, &overlapped));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_IO_PENDING));
    EXPECT_EQ(Counters().failures, failures) << "a pending request is no failure";
    ASSERT_EQ(WaitForSingleObject(overlapped.hEvent, PatienceMs), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(InspectPin(render)->state, ULONG(KSSTATE_PAUSE));
    CloseHandle(overlapped.hEvent);
}

// A request sent from a thread of its own, which ends right after.
struct PropertyFromThread {
    HANDLE filter;
    OVERLAPPED overlapped;
    std::vector<BYTE> counts;
    DWORD error;
};

DWORD WINAPI SendCountsAndEnd(void* context)
{
    auto* request = static_cast<PropertyFromThread*>(context);
    KsPinProperty property{{KSPROPSETID_Pin, KSPROPERTY_PIN_CINSTANCES, KSPROPERTY_TYPE_GET}, UsbCapturePin, 0};
    DWORD returned = 0;
    request->error = device_access::DeviceIoControl(request->filter, IOCTL_KS_PROPERTY, &property, sizeof(property),
                                                    request->counts.data(), 8, &returned, &request->overlapped)
                         ? ERROR_SUCCESS
                         : GetLastError();
    return 0;
}

struct PacketFromThread {
    Packet* packet;
    HANDLE pin;
    DWORD error;
};

DWORD WINAPI SubmitAndEnd(void* context)
{
    auto* submission = static_cast<PacketFromThread*>(context);
    submission->error = submission->packet->Submit(submission->pin, IOCTL_KS_READ_STREAM);
    return 0;
}

TEST_F(RequestTiming, APendedPropertyOfAThreadThatEndedIsCancelled)
{
    PropertyFromThread request{filter, {}, std::vector<BYTE>(8, 0xCD), 0};
    request.overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, SendCountsAndEnd, &request, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    ASSERT_EQ(request.error, DWORD(ERROR_IO_PENDING));
    ASSERT_EQ(WaitForSingleObject(request.overlapped.hEvent, PatienceMs), DWORD(WAIT_OBJECT_0));
    DWORD bytes = 1;
    EXPECT_FALSE(GetOverlappedResult(nullptr, &request.overlapped, &bytes, FALSE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(request.counts, std::vector<BYTE>(8, 0xCD)) << "a cancelled request answers nothing";
    CloseHandle(request.overlapped.hEvent);
}

TEST_F(RequestTiming, CancellationsByStopAndByCloseCompleteAfterTheCall)
{
    Packet stopped(PacketBytes), closed(PacketBytes);
    ASSERT_EQ(stopped.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    stopped.header.dataUsed = 77;
    ASSERT_TRUE(SetPinState(capture, KSSTATE_STOP).ok);
    EXPECT_EQ(stopped.overlapped.Internal, StatusPending) << "cancelled, not yet completed";
    EXPECT_EQ(stopped.header.dataUsed, 77u);
    EXPECT_EQ(InspectPin(capture)->queuedRequests, 0u);
    ASSERT_EQ(WaitForSingleObject(stopped.overlapped.hEvent, PatienceMs), DWORD(WAIT_OBJECT_0));
    DWORD bytes = 1;
    EXPECT_EQ(stopped.Result(&bytes), DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(stopped.header.dataUsed, 0u);

    SetPinState(capture, KSSTATE_PAUSE);
    ASSERT_EQ(closed.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    ASSERT_TRUE(device_access::CloseHandle(capture));
    EXPECT_EQ(closed.overlapped.Internal, StatusPending);
    ASSERT_EQ(WaitForSingleObject(closed.overlapped.hEvent, PatienceMs), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(closed.Result(&bytes), DWORD(ERROR_OPERATION_ABORTED));

    // Stopping the clock delivers what it still held back.
    Packet held(PacketBytes);
    HANDLE again = CreatePinIn(filter, UsbCapturePin, Extensible(8, 48000, 24, 24), KSSTATE_PAUSE);
    ASSERT_EQ(held.Submit(again, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    SetPinState(again, KSSTATE_STOP);
    StopDeviceClock();
    EXPECT_EQ(held.Result(&bytes), DWORD(ERROR_OPERATION_ABORTED));
}

TEST_F(RequestTiming, StreamRequestsOfAThreadThatEndedAreCancelled)
{
    Packet orphan(PacketBytes), kept(PacketBytes);
    PacketFromThread submission{&orphan, capture, 0};
    HANDLE thread = CreateThread(nullptr, 0, SubmitAndEnd, &submission, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    ASSERT_EQ(submission.error, DWORD(ERROR_IO_PENDING));
    ASSERT_EQ(kept.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));

    ASSERT_EQ(WaitForSingleObject(orphan.overlapped.hEvent, PatienceMs), DWORD(WAIT_OBJECT_0));
    DWORD bytes = 1;
    EXPECT_EQ(orphan.Result(&bytes), DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(orphan.header.dataUsed, 0u);
    EXPECT_EQ(InspectPin(capture)->queuedRequests, 1u) << "the living thread's request stays";
    EXPECT_EQ(kept.overlapped.Internal, StatusPending);
}

TEST_F(RequestTiming, MisalignedOverlappedsHeadersAndPropertiesAreRefused)
{
    constexpr std::size_t Skew = sizeof(void*) / 2;
    alignas(8) BYTE room[sizeof(OVERLAPPED) + sizeof(KsStreamHeader) + 64] = {};
    DWORD returned = 0;

    // The OVERLAPPED's status block, before the driver sees anything.
    auto* skewedOverlapped = reinterpret_cast<OVERLAPPED*>(room + Skew);
    Packet packet(PacketBytes);
    packet.Submit(capture, IOCTL_KS_READ_STREAM);  // fills a valid header
    KsStreamHeader header = packet.header;
    std::size_t queued = InspectPin(capture)->queuedRequests;
    EXPECT_FALSE(device_access::DeviceIoControl(capture, IOCTL_KS_READ_STREAM, nullptr, 0, &header, sizeof(header),
                                                &returned, skewedOverlapped));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOACCESS));

    // The stream header.
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto* skewedHeader = reinterpret_cast<KsStreamHeader*>(room + Skew);
    std::memcpy(skewedHeader, &header, sizeof(header));
    EXPECT_FALSE(device_access::DeviceIoControl(capture, IOCTL_KS_READ_STREAM, nullptr, 0, skewedHeader,
                                                sizeof(KsStreamHeader), &returned, &overlapped));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOACCESS));
    EXPECT_EQ(InspectPin(capture)->queuedRequests, queued) << "nothing queued";

    // The KSPROPERTY of a property request, on a filter and on a pin.
    KsPinProperty property{{KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, KSPROPERTY_TYPE_GET}, 0, 0};
    std::memcpy(room + Skew, &property, sizeof(property));
    ULONG types = 0;
    EXPECT_FALSE(device_access::DeviceIoControl(filter, IOCTL_KS_PROPERTY, room + Skew, sizeof(property), &types,
                                                sizeof(types), &returned, &overlapped));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOACCESS));
    std::vector<BYTE> state = PropertyBytes(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE);
    std::memcpy(room + Skew, state.data(), state.size());
    EXPECT_FALSE(device_access::DeviceIoControl(capture, IOCTL_KS_PROPERTY, room + Skew, DWORD(state.size()), &types,
                                                sizeof(types), &returned, &overlapped));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOACCESS));
    EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), DWORD(WAIT_TIMEOUT));
    CloseHandle(overlapped.hEvent);
}

}  // namespace
