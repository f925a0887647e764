#include "driver/engine/pin_requests.h"

#include <mmsystem.h>

#include <cstring>

#include "driver/core/ks_requests.h"
#include "driver/core/module.h"
#include "driver/engine/cache_flush.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/conversion/packet_frames.h"
#include "driver/engine/pin_conversion.h"
#include "driver/engine/realtime_scheduling.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_run.h"
#include "driver/engine/stream_setup.h"
#include "kernel_streaming/device_access.h"

volatile LONG RefusedStreamRequests;

namespace {

// NTSTATUS values the I/O manager leaves in OVERLAPPED.Internal.
constexpr DWORD StatusPending = 0x00000103;
constexpr DWORD StatusUnsuccessful = 0xC0000001;
constexpr DWORD StatusCancelled = 0xC0000120;
constexpr DWORD ErrorSeverity = 0xC0000000;

// A property request on the pin's own OVERLAPPED. A request the device leaves pending
// still owns that OVERLAPPED and the caller's buffers, so it is waited for.
bool PinPropertyRequest(PinRecord* pin, void* request, DWORD requestSize, void* output, DWORD outputSize)
{
    if (!IsPinOpen(pin)) return false;
    if (pin->requestOverlapped.hEvent == nullptr)
        pin->requestOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    OVERLAPPED& overlapped = pin->requestOverlapped;
    overlapped.Internal = 0;
    overlapped.InternalHigh = 0;
    overlapped.Offset = 0;
    overlapped.OffsetHigh = 0;
    DWORD returned = 0;
    if (device_access::DeviceIoControl(pin->handle, IOCTL_KS_PROPERTY, request, requestSize, output, outputSize,
                                       &returned, &overlapped)) {
        WaitForSingleObject(overlapped.hEvent, INFINITE);
        return true;
    }
    if (GetLastError() != ERROR_IO_PENDING) return false;
    WaitForSingleObject(overlapped.hEvent, INFINITE);
    return overlapped.Internal == 0;
}

bool SetProperty(PinRecord* pin, const GUID& set, ULONG id, DWORD value)
{
    KsIdentifier request = {set, id, KSPROPERTY_TYPE_SET};
    return PinPropertyRequest(pin, &request, sizeof(request), &value, sizeof(value));
}

bool RtAudioRequest(PinRecord* pin, ULONG id, ULONG flags, void* request, DWORD requestSize, void* output,
                    DWORD outputSize)
{
    auto* property = static_cast<KsIdentifier*>(request);
    *property = {KSPROPSETID_RtAudio, id, flags};
    return PinPropertyRequest(pin, request, requestSize, output, outputSize);
}

void CloseHandleOf(HANDLE* handle)
{
    HANDLE old =
        reinterpret_cast<HANDLE>(InterlockedExchangePointer(reinterpret_cast<PVOID*>(handle), INVALID_HANDLE_VALUE));
    if (old != INVALID_HANDLE_VALUE && old != nullptr) device_access::CloseHandle(old);
}

void CloseEvent(HANDLE* event)
{
    HANDLE old = reinterpret_cast<HANDLE>(InterlockedExchangePointer(reinterpret_cast<PVOID*>(event), nullptr));
    if (old != nullptr) CloseHandle(old);
}

// Closing after a failed looped-buffer request: the pin handle and its request event go.
void FailLoopedBuffer(PinRecord* pin)
{
    MarkPinFailed(pin);
    CloseHandleOf(&pin->handle);
    CloseEvent(&pin->requestOverlapped.hEvent);
}

// The master's notifications time every switch: another pin's two blocks of buffer keep
// in step with the switches only when they do. The master opens before the other
// looped pins (it is the first looped pin); at set-up, before a stream has a master,
// every pin may notify.
bool PacedByNotifications(const PinRecord* pin)
{
    const PinRecord* master = Stream.master;
    return master == nullptr || master == pin || master->notificationEvent != nullptr;
}

bool UsesNotificationEvents(const PinRecord* pin)
{
    const KsWaveFormatExtensible* wave = PinWaveFormat(pin);
    return (pin->streamFlags & NotifyAllowed) && WindowsAtLeast(6, 0) && (WindowsAtLeast(6, 1) || !Wow64Process) &&
           wave->samplesPerSec == ActiveHostRate && ActivePinModes.standardCapture == 0 &&
           ActivePinModes.standardRender == 0 && PacedByNotifications(pin);
}

void SetLoopBounds(PinRecord* pin, BYTE* buffer, ULONG size)
{
    pin->conversion.packetData[0] = buffer;
    pin->conversion.packetData[1] = buffer + size / 2;
    pin->conversion.packetData[2] = buffer;
    pin->conversion.packetData[3] = buffer + size;
}

// What the device made of the request for a notifying buffer.
enum class NotifyingBuffer {
    Usable,    // two halves of one block each, notifying the registered event
    Refused,   // no buffer: the pin is as it was
    Unusable,  // a buffer whose halves are not one block, or no event registered with it
    TooSmall,
};

// Event mode: two halves that notify, each exactly one host block, so that every
// notification hands over a whole block.
NotifyingBuffer RequestNotifyingBuffer(PinRecord* pin)
{
    KsWaveFormatExtensible* wave = PinWaveFormat(pin);
    KsRtAudioBufferPropertyWithNotification request = {};
    request.requestedBufferSize = 2 * ActiveBufferSize * wave->blockAlign;
    request.notificationCount = 2;
    KsRtAudioBuffer buffer = {};
    if (!RtAudioGet(pin, KSPROPERTY_RTAUDIO_BUFFER_WITH_NOTIFICATION, &request, sizeof(request), &buffer,
                    sizeof(buffer)))
        return NotifyingBuffer::Refused;
    if (buffer.actualBufferSize < request.requestedBufferSize) return NotifyingBuffer::TooSmall;
    if (buffer.actualBufferSize != request.requestedBufferSize) return NotifyingBuffer::Unusable;
    SetLoopBounds(pin, static_cast<BYTE*>(buffer.bufferAddress), buffer.actualBufferSize);
    pin->notificationEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    KsRtAudioNotificationEventProperty registration = {};
    registration.notificationEvent = reinterpret_cast<ULONG_PTR>(pin->notificationEvent);
    DWORD unused = 0;
    if (pin->notificationEvent == nullptr ||
        !RtAudioSet(pin, KSPROPERTY_RTAUDIO_REGISTER_NOTIFICATION_EVENT, &registration, sizeof(registration), &unused,
                    sizeof(unused))) {
        CloseEvent(&pin->notificationEvent);
        return NotifyingBuffer::Unusable;
    }
    return NotifyingBuffer::Usable;
}

// A pin that holds a notifying buffer it cannot use is created afresh, without it.
bool ReopenWithoutBuffer(PinRecord* pin)
{
    CloseHandleOf(&pin->handle);
    if (!CreatePin(pin)) return false;
    pin->recordedState = KSSTATE_STOP;
    return true;
}

// Polled mode: room for a block, an eighth more and 20 ms of position jitter, twice.
bool RequestPolledBuffer(PinRecord* pin)
{
    CloseEvent(&pin->notificationEvent);
    KsWaveFormatExtensible* wave = PinWaveFormat(pin);
    DWORD frames = ActiveBufferSize + (ActiveBufferSize + 7) / 8 + 2 * (wave->samplesPerSec / 100);
    KsRtAudioBufferProperty request = {};
    request.requestedBufferSize = 2 * frames * wave->blockAlign;
    KsRtAudioBuffer buffer = {};
    if (!RtAudioGet(pin, KSPROPERTY_RTAUDIO_BUFFER, &request, sizeof(request), &buffer, sizeof(buffer))) return false;
    pin->conversion.packetData[2] = static_cast<BYTE*>(buffer.bufferAddress);
    pin->conversion.packetData[3] = static_cast<BYTE*>(buffer.bufferAddress) + buffer.actualBufferSize;
    if (buffer.callMemoryBarrier) pin->streamFlags |= MemoryBarrierNeeded;
    return true;
}

void SubmitPacket(PinRecord* pin, DWORD ioctl, DWORD frames)
{
    DWORD bytes = frames * PinWaveFormat(pin)->blockAlign;
    int slot = NextPacketSlot(pin);
    pin->conversion.submittedCount++;
    if (!IsPinOpen(pin)) return;
    if (ioctl == IOCTL_KS_WRITE_STREAM) InterlockedIncrement(&pin->inFlight);
    KsStreamHeader& header = pin->streamHeaders[slot];
    std::memset(&header, 0, sizeof(header));
    header.size = sizeof(KsStreamHeader);
    header.presentationNumerator = 1;
    header.presentationDenominator = 1;
    header.frameExtent = bytes;
    header.dataUsed = ioctl == IOCTL_KS_WRITE_STREAM ? bytes : 0;
    header.data = pin->conversion.packetData[slot];
    DWORD returned = 0;
    OVERLAPPED& overlapped = pin->packetOverlapped[slot];
    if (!device_access::DeviceIoControl(pin->handle, ioctl, nullptr, 0, &header, sizeof(header), &returned,
                                        &overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        // Refused outright: nothing is queued on the slot and no completion will come.
        overlapped.Internal = StatusUnsuccessful;
        InterlockedIncrement(&RefusedStreamRequests);
    }
}

bool IsPending(const OVERLAPPED& overlapped)
{
    return DWORD(overlapped.Internal) == StatusPending;
}

}  // namespace

bool SetPinState(PinRecord* pin, DWORD state)
{
    if (state == pin->recordedState) return true;
    if (!SetProperty(pin, KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, state)) return false;
    pin->recordedState = state;
    return true;
}

bool SetPinHint(PinRecord* pin, DWORD value)
{
    return SetProperty(pin, PinHintPropertySet, PinHintPropertyId, value);
}

bool RtAudioGet(PinRecord* pin, ULONG id, void* request, DWORD requestSize, void* output, DWORD outputSize)
{
    return RtAudioRequest(pin, id, KSPROPERTY_TYPE_GET, request, requestSize, output, outputSize);
}

bool RtAudioSet(PinRecord* pin, ULONG id, void* request, DWORD requestSize, void* output, DWORD outputSize)
{
    return RtAudioRequest(pin, id, KSPROPERTY_TYPE_SET, request, requestSize, output, outputSize);
}

DWORD ReadPinPosition(PinRecord* pin)
{
    if (pin->positionRegister != nullptr) {
        auto address = reinterpret_cast<ULONG_PTR>(pin->positionRegister);
        FlushCacheRange(reinterpret_cast<const void*>(address & ~ULONG_PTR(31)),
                        reinterpret_cast<const void*>(address | 31));
        return *pin->positionRegister;
    }
    KsIdentifier request = {KSPROPSETID_Audio, KSPROPERTY_AUDIO_POSITION, KSPROPERTY_TYPE_GET};
    KsAudioPosition position;
    std::memset(&position, 0xFF, sizeof(position));
    PinPropertyRequest(pin, &request, sizeof(request), &position, sizeof(position));
    return DWORD(position.writeOffset);
}

bool ReadQueuedRenderBytes(PinRecord* pin, DWORD* bytes)
{
    KsIdentifier request = {KSPROPSETID_Audio, KSPROPERTY_AUDIO_POSITION, KSPROPERTY_TYPE_GET};
    KsAudioPosition position = {};
    if (!PinPropertyRequest(pin, &request, sizeof(request), &position, sizeof(position)) ||
        position.writeOffset < position.playOffset)
        return false;
    *bytes = DWORD(position.writeOffset - position.playOffset);
    return true;
}

int NextPacketSlot(const PinRecord* pin)
{
    // Large packets alternate between slots 2 and 1, slot 2 first.
    if (pin->streamFlags & LargePacketMode) return pin->conversion.submittedCount % 2 == 0 ? 2 : 1;
    return int(pin->conversion.submittedCount % PacketSlots);
}

void SubmitCapturePacket(PinRecord* pin)
{
    SubmitPacket(pin, IOCTL_KS_READ_STREAM, PacketFrames(CurrentHostStream(), pin->conversion));
}

void SubmitShortCapturePacket(PinRecord* pin, DWORD frames)
{
    PacketFrames(CurrentHostStream(), pin->conversion);
    SubmitPacket(pin, IOCTL_KS_READ_STREAM, frames);
}

void SubmitRenderPacket(PinRecord* pin)
{
    SubmitPacket(pin, IOCTL_KS_WRITE_STREAM, PacketFrames(CurrentHostStream(), pin->conversion));
}

void SkipRenderPacket(PinRecord* pin)
{
    PacketFrames(CurrentHostStream(), pin->conversion);
}

int CompletionSlot(const PinRecord* pin)
{
    DWORD slot = pin->completedCount % PacketSlots;
    if (pin->streamFlags & LargePacketMode) slot = (slot - 1) % 2 + 1;
    return int(slot);
}

RequestEnd PacketRequestEnd(const PinRecord* pin, int slot)
{
    const OVERLAPPED& overlapped = pin->packetOverlapped[slot];
    auto status = DWORD(overlapped.Internal);
    // A request still pending delivered nothing the driver may read yet.
    if (status == StatusCancelled || IsPending(overlapped)) return RequestEnd::Cancelled;
    return status >= ErrorSeverity ? RequestEnd::Failed : RequestEnd::Completed;
}

void SilenceUndeliveredCapture(PinRecord* pin, int slot)
{
    const KsStreamHeader& header = pin->streamHeaders[slot];
    auto* data = static_cast<BYTE*>(header.data);
    DWORD extent = header.frameExtent;
    if (data == nullptr) return;
    DWORD delivered = PacketRequestEnd(pin, slot) == RequestEnd::Failed ? 0 : header.dataUsed;
    if (delivered > extent) delivered = extent;
    DWORD blockAlign = PinWaveFormat(pin)->blockAlign;
    if (blockAlign != 0) delivered -= delivered % blockAlign;
    if (delivered < extent) std::memset(data + delivered, 0, extent - delivered);
}

bool AwaitOutstandingRequests(PinRecord* pin, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (OVERLAPPED& overlapped : pin->packetOverlapped) {
        if (overlapped.hEvent == nullptr || !IsPending(overlapped)) continue;
        DWORD waited = GetTickCount() - start;
        DWORD left = waited < timeoutMs ? timeoutMs - waited : 0;
        if (WaitForSingleObject(overlapped.hEvent, left) != WAIT_OBJECT_0 && IsPending(overlapped)) return false;
    }
    return true;
}

bool PrepareLoopedBuffer(PinRecord* pin)
{
    if (!(pin->streamFlags & LoopedMode)) return true;
    pin->positionRegister = nullptr;
    // Event mode when the device gives it as asked; otherwise the pin is polled at the
    // same rate, so the configuration keeps its rate.
    NotifyingBuffer notifying = UsesNotificationEvents(pin) ? RequestNotifyingBuffer(pin) : NotifyingBuffer::Refused;
    bool prepared = false;
    switch (notifying) {
    case NotifyingBuffer::Usable: prepared = true; break;
    case NotifyingBuffer::Refused: prepared = RequestPolledBuffer(pin); break;
    case NotifyingBuffer::Unusable: prepared = ReopenWithoutBuffer(pin) && RequestPolledBuffer(pin); break;
    case NotifyingBuffer::TooSmall: break;
    }
    if (!prepared) {
        FailLoopedBuffer(pin);
        return false;
    }

    KsRtAudioRegisterProperty registerRequest = {};
    KsRtAudioRegister hardwareRegister = {};
    if (RtAudioGet(pin, KSPROPERTY_RTAUDIO_POSITIONREGISTER, &registerRequest, sizeof(registerRequest),
                   &hardwareRegister, sizeof(hardwareRegister)))
        pin->positionRegister = static_cast<volatile ULONG*>(hardwareRegister.registerAddress);

    KsIdentifier latencyRequest = {};
    KsRtAudioHardwareLatency latency = {};
    if (RtAudioGet(pin, KSPROPERTY_RTAUDIO_HWLATENCY, &latencyRequest, sizeof(latencyRequest), &latency,
                   sizeof(latency))) {
        pin->fifoBytes = latency.fifoSize;
        pin->fifoFrames = latency.fifoSize / PinWaveFormat(pin)->blockAlign;
        pin->chipsetDelay = latency.chipsetDelay;
        pin->codecDelay = latency.codecDelay;
    }
    return true;
}

void ReleaseLoopedBuffer(PinRecord* pin)
{
    if (!(pin->streamFlags & LoopedMode)) return;
    if (pin->notificationEvent != nullptr) {
        KsRtAudioNotificationEventProperty registration = {};
        registration.notificationEvent = reinterpret_cast<ULONG_PTR>(pin->notificationEvent);
        DWORD unused = 0;
        RtAudioSet(pin, KSPROPERTY_RTAUDIO_UNREGISTER_NOTIFICATION_EVENT, &registration, sizeof(registration), &unused,
                   sizeof(unused));
        CloseEvent(&pin->notificationEvent);
    }
    pin->streamFlags &= ~MemoryBarrierNeeded;
    pin->positionRegister = nullptr;
    pin->fifoFrames = 0;
    pin->fifoBytes = 0;
    pin->chipsetDelay = 0;
    pin->codecDelay = 0;
}

namespace {

// Stops the pin and lets go of its looped buffer; the handle stays.
void StopPin(PinRecord* pin)
{
    if (pin->recordedState == KSSTATE_PAUSE) SetPinState(pin, KSSTATE_RUN);
    SetPinState(pin, KSSTATE_STOP);
    ReleaseLoopedBuffer(pin);
}

}  // namespace

void ClosePin(PinRecord* pin)
{
    if (!IsPinOpen(pin)) return;
    StopPin(pin);
    CloseHandleOf(&pin->handle);
    AwaitOutstandingRequests(pin, CancelledRequestLimitMs);
}

namespace {

void FreeLockedBlock(LockedBlock* block)
{
    if (block->base == nullptr) return;
    VirtualUnlock(block->base, block->size);
    VirtualFree(block->base, 0, MEM_RELEASE);
    block->base = nullptr;
    block->size = 0;
}

}  // namespace

void CloseAllPins()
{
    FilterRecord* previousFilter = nullptr;
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device)) {
        for (FilterRecord* filter = FirstFilter(device); filter != nullptr; filter = NextFilter(filter)) {
            if (previousFilter != nullptr && previousFilter != filter) CloseFilter(previousFilter);
            previousFilter = filter;
            for (PinRecord* pin = FirstPin(filter); pin != nullptr; pin = NextPin(pin)) {
                if (IsPinOpen(pin)) {
                    StopPin(pin);
                    CloseHandleOf(&pin->handle);
                }
                // The device may complete what the close cancelled a little later: the
                // packets and their OVERLAPPEDs must be there until it has.
                AwaitOutstandingRequests(pin, CancelledRequestLimitMs);
                CloseEvent(&pin->requestOverlapped.hEvent);
                for (OVERLAPPED& packet : pin->packetOverlapped) CloseEvent(&packet.hEvent);
                const DWORD marks = RecordOpen | RecordOpenFailed;
                device->flags &= ~marks;
                filter->flags &= ~marks;
                pin->flags &= ~marks;
            }
        }
    }
    if (previousFilter != nullptr) CloseFilter(previousFilter);
    FreeLockedBlock(&HistoryMemory);
    FreeLockedBlock(&PacketMemory);
}
