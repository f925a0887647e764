// Packet sizes: each packet carries the device frames of whole host blocks, so that
// packets stay aligned with the host's switches also when the rate is converted.
#pragma once

#include <windows.h>

#include "driver/core/device_tree.h"

// Frames of the pin's next packet. Large-packet pins also get their next packet's
// place in the two-packet ring around the middle of their area.
DWORD PacketFrames(PinRecord* pin);
