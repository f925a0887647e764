#include "volume_panel/application/main_component.h"

namespace volume_panel {

MainComponent::MainComponent()
    : juce::Component("MainComponent"),
      panel(new VolumePanel())
{
    addAndMakeVisible(panel);
}

MainComponent::~MainComponent()
{
    deleteAllChildren();
}

void MainComponent::resized()
{
    panel->setBounds(0, 0, getWidth(), getHeight());
}

VolumePanel& MainComponent::getPanel()
{
    return *panel;
}

}  // namespace volume_panel
