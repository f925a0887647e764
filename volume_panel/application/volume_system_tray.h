// The volume panel's tray icon: a click shows the panel, a right click offers "Quit".
#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

namespace volume_panel {

class VolumePanelWindow;

class VolumeSystemTray : public juce::SystemTrayIconComponent
{
public:
    VolumeSystemTray(VolumePanelWindow& window, const juce::String& tooltip);
    ~VolumeSystemTray() override;

    void mouseDown(const juce::MouseEvent& event) override;
    void mouseUp(const juce::MouseEvent& event) override;

    // Shows the window without activating it, or hides it; a shown window is then brought
    // to the front and activated.
    void setPanelVisible(bool show);
    void togglePanel();

private:
    juce::PopupMenu menu;
    bool panelVisible;
    bool rightButtonPressed = false;
    VolumePanelWindow& panelWindow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VolumeSystemTray)
};

}  // namespace volume_panel
