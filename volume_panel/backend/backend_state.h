// The private record of volume::Traverser. The callback is present only in the
// endpoint mode, and its presence is what selects that mode in every operation.
#pragma once

#include "volume_panel/backend/vista_callback.h"

#include <juce_core/juce_core.h>

#include <windows.h>
#include <endpointvolume.h>

namespace volume {

struct BackendState
{
    VistaCallback* callback = nullptr;
    IAudioEndpointVolume* captureEndpoint = nullptr;
    IAudioEndpointVolume* renderEndpoint = nullptr;
    juce::String deviceName;
};

}  // namespace volume
