#include "volume_panel/application/program_identity.h"

#include "volume_panel/application/version.h"

namespace volume_panel {

juce::String applicationName()
{
    return juce::String(modelName) + " Volume Panel";
}

juce::String applicationVersion()
{
    return juce::StringArray { juce::String(VOLUME_PANEL_VERSION_MAJOR), juce::String(VOLUME_PANEL_VERSION_MINOR),
                               juce::String(VOLUME_PANEL_VERSION_BUILD) }
        .joinIntoString(".");
}

}  // namespace volume_panel
