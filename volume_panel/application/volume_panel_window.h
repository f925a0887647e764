// The top-level window that carries the panel: native title bar with only a close
// button, a drop shadow, not resizable, listed on the taskbar only while visible. Its
// close button and Escape hide it to the tray; while it is visible the panel refreshes
// from the device every 2000 ms.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace volume_panel {

class MainComponent;
class VolumeSystemTray;

class VolumePanelWindow : public juce::DocumentWindow
{
public:
    VolumePanelWindow(const juce::String& title, const juce::String& trayTooltip);
    ~VolumePanelWindow() override;

    void visibilityChanged() override;
    bool keyPressed(const juce::KeyPress& key) override;
    int getDesktopWindowStyleFlags() const override;
    void closeButtonPressed() override;

    VolumeSystemTray& getTray();

private:
    MainComponent& content();

    VolumeSystemTray* tray = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VolumePanelWindow)
};

}  // namespace volume_panel
