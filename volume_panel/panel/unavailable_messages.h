// The panel's advice for a direction it cannot control: how to set that level in the
// Windows volume settings instead, worded for Windows XP or for later systems.
#pragma once

#include "volume_panel/backend/direction.h"
#include "volume_panel/backend/operating_system_class.h"

#include <juce_core/juce_core.h>

namespace volume_panel {

// The translated text with the model name in place of "%s".
juce::String unavailableLevelMessage(volume::Direction direction, volume::OperatingSystemClass osClass);

}  // namespace volume_panel
