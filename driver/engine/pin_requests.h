// Requests on one open kernel-streaming pin: properties, states, packets, looped
// buffers, position, and closing. None takes the driver lock: set-up calls them under
// it, the streaming thread alone while it runs.
#pragma once

#include <windows.h>

#include "driver/core/device_tree.h"

// Whether the pin has a handle: it was created and not closed since.
inline bool IsPinOpen(const PinRecord* pin)
{
    return pin->handle != INVALID_HANDLE_VALUE && pin->handle != nullptr;
}

// The pin loses its open mark and gets its failed mark.
inline void MarkPinFailed(PinRecord* pin)
{
    pin->flags = (pin->flags & ~RecordOpen) | RecordOpenFailed;
}

// Sends nothing when `state` is already the recorded one.
bool SetPinState(PinRecord* pin, DWORD state);
bool SetPinHint(PinRecord* pin, DWORD value);
// KSPROPSETID_RtAudio requests: `request` starts with its KSPROPERTY, whose set, id and
// flags these fill in.
bool RtAudioGet(PinRecord* pin, ULONG id, void* request, DWORD requestSize, void* output, DWORD outputSize);
bool RtAudioSet(PinRecord* pin, ULONG id, void* request, DWORD requestSize, void* output, DWORD outputSize);

// Byte position of the pin's stream: from the position register when the device maps
// one, else the audio position property's WriteOffset (0xFFFFFFFF when that fails).
DWORD ReadPinPosition(PinRecord* pin);
// Bytes of a standard render pin's packets that the device holds and has not played
// yet, from the audio position property (WriteOffset − PlayOffset); false when the
// device does not say.
bool ReadQueuedRenderBytes(PinRecord* pin, DWORD* bytes);

// Queues the pin's next packet on its slot; completion shows on the slot's event. A
// request the device refuses at once never completes: it is counted in
// RefusedStreamRequests instead.
void SubmitCapturePacket(PinRecord* pin);
void SubmitRenderPacket(PinRecord* pin);
// A capture packet of `frames` instead of a block; the pin's rate table moves on as for
// a block.
void SubmitShortCapturePacket(PinRecord* pin, DWORD frames);
// Leaves the render block just converted into the next slot unqueued: packet sizes move
// on with the converter, and the next block overwrites the slot.
void SkipRenderPacket(PinRecord* pin);
// The slot the pin's next packet goes to, and the slot of its next completion.
int NextPacketSlot(const PinRecord* pin);
int CompletionSlot(const PinRecord* pin);
extern volatile LONG RefusedStreamRequests;

// How the stream request of a slot ended, from the status the device left in its
// OVERLAPPED. A request still pending (its event came early) delivered nothing yet and
// counts as cancelled.
enum class RequestEnd { Completed, Cancelled, Failed };
RequestEnd PacketRequestEnd(const PinRecord* pin, int slot);
// A completed or cancelled capture packet keeps only the whole frames the device
// delivered into it (DataUsed); the rest, all of it for a failed request, becomes silence.
void SilenceUndeliveredCapture(PinRecord* pin, int slot);
// How long a close or a STOP waits for the requests it cancelled.
constexpr DWORD CancelledRequestLimitMs = 250;
// Waits until no stream request of the pin is pending, at most `timeoutMs` in all:
// the device may complete cancelled requests after the STOP or close that cancelled
// them, and until then their OVERLAPPEDs and packets are not the driver's. False when
// one is still pending.
bool AwaitOutstandingRequests(PinRecord* pin, DWORD timeoutMs);

// Gets the looped buffer of a looped pin right after its creation (event or polled
// mode). On failure the pin is closed and marked failed.
bool PrepareLoopedBuffer(PinRecord* pin);
void ReleaseLoopedBuffer(PinRecord* pin);

// Stops (RUN before STOP from PAUSE), releases the looped buffer and closes the handle.
void ClosePin(PinRecord* pin);
// Closes every pin and filter, the pins' events, and frees the engine memory, once the
// requests the closes cancelled are done with it.
void CloseAllPins();
