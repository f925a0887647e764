// Discovery in the endpoint mode (Windows Vista and later): the first active endpoint of
// a direction whose friendly name contains the device name, with its volume interface
// activated and the change callback registered on it.
#pragma once

#include "volume_panel/backend/direction.h"

#include <juce_core/juce_core.h>

#include <windows.h>
#include <endpointvolume.h>

namespace volume {

// Returns the endpoint's volume interface, holding one reference and with `callback`
// registered, or nullptr when no endpoint matches or a call fails. Failures write
// "Error!\n" and an empty endpoint list "No endpoints found.\n" to the debugger output;
// nothing obtained on the way is kept.
IAudioEndpointVolume* discoverEndpoint(const juce::String& deviceName, Direction direction,
                                       IAudioEndpointVolumeCallback* callback);

}  // namespace volume
