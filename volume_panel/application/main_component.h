// The panel window's content: the volume panel, filling it.
#pragma once

#include "volume_panel/panel/volume_panel.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace volume_panel {

class MainComponent : public juce::Component
{
public:
    MainComponent();
    ~MainComponent() override;

    void resized() override;

    VolumePanel& getPanel();

private:
    VolumePanel* panel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(MainComponent)
};

}  // namespace volume_panel
