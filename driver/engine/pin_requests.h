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

// Queues the pin's next packet on its slot; completion shows on the slot's event.
void SubmitCapturePacket(PinRecord* pin);
void SubmitRenderPacket(PinRecord* pin);
// A capture packet of `frames` instead of a block; the pin's rate table moves on as for
// a block.
void SubmitShortCapturePacket(PinRecord* pin, DWORD frames);
// The slot the pin's next packet goes to.
int NextPacketSlot(const PinRecord* pin);

// Gets the looped buffer of a looped pin right after its creation (event or polled
// mode). On failure the pin is closed and marked failed.
bool PrepareLoopedBuffer(PinRecord* pin);
void ReleaseLoopedBuffer(PinRecord* pin);

// Stops (RUN before STOP from PAUSE), releases the looped buffer and closes the handle.
void ClosePin(PinRecord* pin);
// Closes every pin and filter, the pins' events, and frees the engine memory.
void CloseAllPins();
