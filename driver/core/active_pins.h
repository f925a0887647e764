// The active pins: the open pins that are host channels, in registration order, with
// their host channel numbering, display names and the figures init derives from them.
// Init builds them after stream set-up; the pin pointers live no longer than the tree.
#pragma once

#include <windows.h>

#include "driver/core/device_tree.h"
#include "driver/engine/stream_setup.h"

// Host channels per direction: the channel maps hold one bit each.
constexpr DWORD MaxHostChannels = 1024;
// Display names of render pins are at most 23 characters, of capture pins 26.
constexpr DWORD RenderDisplayNameLength = 23;
constexpr DWORD CaptureDisplayNameLength = 26;

struct ActivePin {
    PinRecord* pin;
    char displayName[CaptureDisplayNameLength + 1];
};

extern ActivePin ActivePins[MaxActivePins];
extern DWORD ActivePinCount;
extern DWORD InputChannelCount;  // host channels in use, 0 when none
extern DWORD OutputChannelCount;
extern DWORD PreferredBufferSize;  // the largest "BufferSize" of the active pins' devices

// Forgets the active pins and resets what they determine: the rate range, the mode
// counters, the 48k-conversion flag and the packets in flight.
void ClearActivePins();

// ClearActivePins, then registers every open capture pin (unless the global "Flags"
// turn inputs off), then every open render pin, each in tree order. A pin whose
// channels would not fit the direction's channel maps is left out.
void RegisterOpenPins();

// What getChannels reports: the direction's runs of the channel slab, its channel count
// or 2 when it has none.
DWORD ReportedChannelCount(bool input);

// Host channels that the pin takes: its runs of the channel slab, its channel count
// rounded up to even, so a mono pin takes two.
DWORD HostChannelsOf(PinRecord* pin);

bool IsCapturePin(const PinRecord* pin);
