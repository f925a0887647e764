// The maker's web addresses that the about screen opens.
#pragma once

#include <juce_core/juce_core.h>

namespace volume_panel {

extern const juce::String siteAddress;
extern const juce::String forumAddress;
// The forum's download page, handed to the about screen by the panel.
extern const juce::String downloadPageAddress;

}  // namespace volume_panel
