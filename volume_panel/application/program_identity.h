// The names and version the volume panel shows and looks for.
#pragma once

#include <juce_core/juce_core.h>

namespace volume_panel {

// The window title, and the text put in place of "%s" in the panel's messages.
inline constexpr const char* modelName = "QORDA-8";
// What the back-end looks for in mixer and endpoint names.
inline constexpr const char* deviceName = "Velmora QORDA-8";

// "QORDA-8 Volume Panel": also the tray tooltip and the single-instance key.
juce::String applicationName();
// "1.0.4"
juce::String applicationVersion();

}  // namespace volume_panel
