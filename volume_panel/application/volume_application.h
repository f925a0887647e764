// The volume panel program: one instance per session, the skin, and the panel window
// behind its tray icon. "-m" starts it with only the tray icon showing.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class VolumeSkinLookAndFeel;

namespace volume_panel {

class SingleInstance;
class VolumePanelWindow;

class VolumeApplication : public juce::JUCEApplication
{
public:
    VolumeApplication() = default;

    void initialise(const juce::String& commandLine) override;
    // Also runs in a second instance that forwarded its arguments and never initialised.
    void shutdown() override;
    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void anotherInstanceStarted(const juce::String& commandLine) override;

    // Takes the single-instance lock under the program's own name before initialising.
    bool initialiseApp() override;

private:
    VolumePanelWindow* panelWindow = nullptr;
    VolumeSkinLookAndFeel* lookAndFeel = nullptr;
    SingleInstance* singleInstance = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VolumeApplication)
};

}  // namespace volume_panel
