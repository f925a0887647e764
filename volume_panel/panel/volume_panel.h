// The component that fills the panel window: a level slider and a mute button for the
// QORDA-8's input (index 0) and output (index 1), drawn over the skin's background.
// It owns the device back-end, keeps the controls in step with the device, writes the
// user's changes straight to it, explains in an overlay box how to set a level it cannot
// control, veils itself with "Device unplugged." while the device is gone, drags the
// window by its background and opens the about screen from its top strip.
#pragma once

#include "volume_panel/about/about_screen.h"
#include "volume_panel/backend/direction.h"
#include "volume_panel/backend/traverser.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace volume_panel {

class VolumePanel : public juce::Component,
                    public juce::Slider::Listener,
                    public juce::Button::Listener,
                    public juce::Timer,
                    public juce::ChangeListener
{
public:
    VolumePanel();
    ~VolumePanel() override;

    // Probes the device and brings controls, messages and overlay up to date, without
    // writing anything back to the device.
    void refreshFromDevice();

    void mouseDown(const juce::MouseEvent& event) override;
    void mouseDrag(const juce::MouseEvent& event) override;
    void mouseUp(const juce::MouseEvent& event) override;
    void paint(juce::Graphics& g) override;
    void paintOverChildren(juce::Graphics& g) override;
    void resized() override;

    void sliderValueChanged(juce::Slider* slider) override;
    void buttonClicked(juce::Button* button) override;
    void timerCallback() override;
    void changeListenerCallback(juce::ChangeBroadcaster* source) override;

private:
    void applyToDevice(int index, double sliderValue, bool mute);
    void showControlsOf(int index, bool available);
    void paintOverlayBox(juce::Graphics& g);
    // The slider or mute button whose area holds the position, tested input first.
    juce::SettableTooltipClient* controlAt(juce::Point<int> position) const;

    volume::Traverser* backend;
    AboutScreen* aboutScreen;
    bool deviceFound = true;
    juce::Slider* sliders[2];
    juce::Rectangle<int> sliderBounds[2];
    juce::ToggleButton* muteButtons[2];
    juce::Rectangle<int> buttonBounds[2];
    juce::ComponentDragger dragger;
    juce::ComponentBoundsConstrainer constrainer;
    juce::Point<int> pressPosition;
    juce::String unavailableMessage;
    bool dragging = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VolumePanel)
};

}  // namespace volume_panel
