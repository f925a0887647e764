// Stream set-up: the selected pins open in a format the hardware accepts, with their
// packet and history memory reserved, committed and locked up front.
#pragma once

#include <windows.h>

#include "driver/core/device_tree.h"

// At most this many pins become active: the streaming thread waits on one event per
// pin besides its stop and restart events, 64 handles in all.
constexpr DWORD MaxActivePins = 62;

// Opens every selected capture pin, then every selected render pin, and gives them
// their memory. Runs under the driver lock with no stream running.
void SetUpStreams();

// The rate to open the pin at: the active host rate, or 48000 for a 44100 Hz host when
// the pin needs or prefers it, never above the pin's maximum.
DWORD ChoosePinRate(const PinRecord* pin);

// Asks the filter for the pin's format at ChoosePinRate and stores it in the pin's
// connection block; false when the filter gives no usable answer.
bool IntersectPinFormat(PinRecord* pin);

// The same at a (re)start, for a pin whose memory was set up at init: an answer is
// stored only when it has the channels and frame size of the pin's format.
enum class Reintersection { NoAnswer, Fits, DoesNotFit };
Reintersection ReintersectPinFormat(PinRecord* pin);

// Bytes of the pin's packets: eight strides of the largest block, or two large packets.
DWORD PacketAreaBytes(const PinRecord* pin);

// Creates the pin from its connection block; keeps the result as the last create result.
bool CreatePin(PinRecord* pin);

// Why the last set-up left a selected pin closed, in words for the host
// (getErrorMessage); null when it opened every selected pin or knows no reason. Any
// thread may ask.
const char* StreamSetupProblem();

// Driver close: every pin and filter closed, the driver back to loaded.
void CloseDriverStreams();

// The host channels with buffers, one bit per channel and direction.
extern BYTE InputChannelMap[128];
extern BYTE OutputChannelMap[128];
void ClearChannelMaps();
