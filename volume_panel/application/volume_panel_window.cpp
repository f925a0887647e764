#include "volume_panel/application/volume_panel_window.h"

#include "volume_panel/application/main_component.h"
#include "volume_panel/application/volume_system_tray.h"
#include "volume_panel/skin/volume_skin_look_and_feel.h"

namespace volume_panel {
namespace {

constexpr int refreshIntervalMilliseconds = 2000;
const juce::Colour windowBackground = juce::Colour(0xff555555).darker(0.4f);

}  // namespace

VolumePanelWindow::VolumePanelWindow(const juce::String& title, const juce::String& trayTooltip)
    : juce::DocumentWindow(title, windowBackground, juce::DocumentWindow::closeButton, true)
{
    auto* mainComponent = new MainComponent();
    mainComponent->setBounds(0, 0, VolumeSkinLookAndFeel::getPanelWidth(), VolumeSkinLookAndFeel::getPanelHeight());
    setUsingNativeTitleBar(true);
    setDropShadowEnabled(true);
    setContentOwned(mainComponent, true);
    tray = new VolumeSystemTray(*this, trayTooltip);
    // Again, so that the native title bar, close button and shadow of the style flags apply.
    addToDesktop();
}

VolumePanelWindow::~VolumePanelWindow()
{
    clearContentComponent();
    delete tray;
}

MainComponent& VolumePanelWindow::content()
{
    return *static_cast<MainComponent*>(getContentComponent());
}

VolumeSystemTray& VolumePanelWindow::getTray()
{
    return *tray;
}

void VolumePanelWindow::visibilityChanged()
{
    VolumePanel& panel = content().getPanel();
    if (isVisible())
    {
        panel.refreshFromDevice();
        panel.startTimer(refreshIntervalMilliseconds);
    }
    else
    {
        panel.stopTimer();
    }
}

bool VolumePanelWindow::keyPressed(const juce::KeyPress& key)
{
    if (key != juce::KeyPress::escapeKey)
        return false;

    closeButtonPressed();
    return true;
}

int VolumePanelWindow::getDesktopWindowStyleFlags() const
{
    int flags = juce::ComponentPeer::windowHasTitleBar | juce::ComponentPeer::windowHasCloseButton
                | juce::ComponentPeer::windowHasDropShadow;
    if (isVisible())
        flags |= juce::ComponentPeer::windowAppearsOnTaskbar;
    return flags;
}

void VolumePanelWindow::closeButtonPressed()
{
    tray->togglePanel();
}

}  // namespace volume_panel
