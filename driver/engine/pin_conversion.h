// The sample converters' view of the driver: the running host stream, and each pin's
// open format as the converters read it.
#pragma once

#include "driver/core/device_tree.h"
#include "driver/engine/conversion/conversion_pin.h"

// The host side as it stands: the channel slab, the active host rate and buffer size.
HostStream CurrentHostStream();

// Copies the pin's open format and mode into its conversion record; after every open.
void DescribePinForConversion(PinRecord* pin);
