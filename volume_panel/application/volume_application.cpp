#include "volume_panel/application/volume_application.h"

#include "volume_panel/application/program_identity.h"
#include "volume_panel/application/single_instance.h"
#include "volume_panel/application/start_options.h"
#include "volume_panel/application/volume_panel_window.h"
#include "volume_panel/application/volume_system_tray.h"
#include "volume_panel/skin/volume_skin_look_and_feel.h"

namespace volume_panel {

bool VolumeApplication::initialiseApp()
{
    singleInstance = new SingleInstance(getApplicationName());
    if (! moreThanOneInstanceAllowed() && singleInstance->forwardToRunningInstance(getCommandLineParameterArray()))
        return false;

    // What the toolkit's own start-up does on Windows, after the instance test.
    if (! juce::JUCEApplicationBase::initialiseApp())
        return false;

    singleInstance->listenForLaterStarts([this](const juce::String& arguments) { anotherInstanceStarted(arguments); });
    return true;
}

void VolumeApplication::initialise(const juce::String&)
{
    scanCommandLine(getCommandLineParameterArray());

    // The skin comes first: its panel background fixes the window's size.
    lookAndFeel = new VolumeSkinLookAndFeel();
    juce::LookAndFeel::setDefaultLookAndFeel(lookAndFeel);

    panelWindow = new VolumePanelWindow(modelName, applicationName());
    panelWindow->setBounds(100, 100, VolumeSkinLookAndFeel::getPanelWidth(), VolumeSkinLookAndFeel::getPanelHeight());
    panelWindow->centreWithSize(panelWindow->getWidth(), panelWindow->getHeight());
    panelWindow->setResizable(false, false);

    panelWindow->setVisible(showPanelAtStart);
    if (auto* peer = panelWindow->getPeer())
    {
        peer->setVisible(showPanelAtStart);
        peer->toFront(true);
    }
}

void VolumeApplication::shutdown()
{
    delete panelWindow;
    if (lookAndFeel != nullptr)
    {
        juce::LookAndFeel::setDefaultLookAndFeel(nullptr);
        delete lookAndFeel;
    }
    delete singleInstance;
}

const juce::String VolumeApplication::getApplicationName()
{
    return applicationName();
}

const juce::String VolumeApplication::getApplicationVersion()
{
    return applicationVersion();
}

bool VolumeApplication::moreThanOneInstanceAllowed()
{
    return false;
}

void VolumeApplication::anotherInstanceStarted(const juce::String&)
{
    if (panelWindow != nullptr)
        panelWindow->getTray().setPanelVisible(true);
}

}  // namespace volume_panel
