#include "volume_panel/application/volume_system_tray.h"

#include "volume_panel/application/start_options.h"
#include "volume_panel/application/volume_panel_window.h"
#include "volume_panel/skin/artwork.h"

namespace volume_panel {
namespace {

constexpr int quitItem = 2;

}  // namespace

VolumeSystemTray::VolumeSystemTray(VolumePanelWindow& window, const juce::String& tooltip)
    : panelVisible(showPanelAtStart),
      panelWindow(window)
{
    const juce::Image picture = juce::ImageCache::getFromMemory(artwork::tray, artwork::traySize);
    setIconImage(picture, picture);
    setIconTooltip(tooltip);
}

VolumeSystemTray::~VolumeSystemTray() = default;

// The toolkit reports a release over the tray icon without the button that was
// released, so the button of the press before it is remembered.
void VolumeSystemTray::mouseDown(const juce::MouseEvent& event)
{
    rightButtonPressed = event.mods.isRightButtonDown();
}

void VolumeSystemTray::mouseUp(const juce::MouseEvent&)
{
    if (! rightButtonPressed)
    {
        setPanelVisible(true);
        return;
    }

    menu.clear();
    menu.addItem(quitItem, TRANS("Quit"), true, false);
    menu.showMenuAsync(juce::PopupMenu::Options(), [](int result) {
        if (result == quitItem)
            if (auto* application = juce::JUCEApplicationBase::getInstance())
                application->systemRequestedQuit();
    });
}

void VolumeSystemTray::setPanelVisible(bool show)
{
    if (auto* peer = panelWindow.getPeer())
        peer->setVisible(show);
    panelWindow.setVisible(show);
    if (show)
        if (auto* peer = panelWindow.getPeer())
            peer->toFront(true);
    panelVisible = show;
}

void VolumeSystemTray::togglePanel()
{
    setPanelVisible(! panelVisible);
}

}  // namespace volume_panel
