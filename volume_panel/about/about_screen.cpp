#include "volume_panel/about/about_screen.h"

#include "volume_panel/about/web_addresses.h"
#include "volume_panel/application/program_identity.h"
#include "volume_panel/skin/volume_skin_look_and_feel.h"

namespace volume_panel {
namespace {

constexpr float tileOpacityNormal = 0.8f;
constexpr float tileOpacityOver = 1.0f;
constexpr float tileOpacityDown = 0.95f;
// A point is on a tile only where the tile's picture is more than half opaque.
constexpr float tileHitAlphaThreshold = 0.5f;
constexpr int versionLabelHeight = 30;
constexpr int versionLabelRightMargin = 10;

}  // namespace

AboutScreen::AboutScreen(const juce::String& download)
    : juce::Component("AboutScreen"),
      forumAddress(volume_panel::forumAddress),
      siteAddress(volume_panel::siteAddress),
      downloadAddress(download)
{
    setWantsKeyboardFocus(true);
}

AboutScreen::~AboutScreen()
{
    deleteAllChildren();
}

juce::ImageButton* AboutScreen::addTileButton(const juce::String& name, juce::Image& tile, const juce::Image& skinTile)
{
    if (tile.isValid() || ! skinTile.isValid())
        return nullptr;

    tile = skinTile.createCopy();
    auto* button = new juce::ImageButton(name);
    addAndMakeVisible(button);
    button->addListener(this);
    const juce::Colour noOverlay(0x00000000);
    // One row per button state.
    // clang-format off
    button->setImages(false, false, true,
                      tile.createCopy(), tileOpacityNormal, noOverlay,
                      tile.createCopy(), tileOpacityOver, noOverlay,
                      tile.createCopy(), tileOpacityDown, noOverlay,
                      tileHitAlphaThreshold);
    // clang-format on
    button->setMouseCursor(juce::MouseCursor::PointingHandCursor);
    return button;
}

void AboutScreen::showOn(juce::Component& parent)
{
    if (getParentComponent() != nullptr)
    {
        setVisible(true);
        return;
    }

    if (! background.isValid())
        background = VolumeSkinLookAndFeel::getAboutBackground().createCopy();

    if (auto* button = addTileButton("forumButton", forumTile, VolumeSkinLookAndFeel::getAboutForumTile()))
        forumButton = button;
    if (auto* button = addTileButton("vqButton", siteTile, VolumeSkinLookAndFeel::getAboutSiteTile()))
        siteButton = button;
    if (auto* button = addTileButton("updateButton", updateTile, VolumeSkinLookAndFeel::getAboutUpdateTile()))
        updateButton = button;

    if (versionLabel == nullptr)
    {
        versionLabel = new juce::Label("version", applicationVersion());
        addAndMakeVisible(versionLabel);
        versionLabel->setJustificationType(juce::Justification::centredRight);
        versionLabel->setFont(versionLabel->getFont().boldened());
        // Clicks on the version text close the box like any other click off the tiles.
        versionLabel->setInterceptsMouseClicks(false, false);
    }

    // Centred on the parent's own area, truncated to whole pixels.
    const auto centreX = static_cast<int>(static_cast<float>(parent.getWidth()) * 0.5f);
    const auto centreY = static_cast<int>(static_cast<float>(parent.getHeight()) * 0.5f);
    setBounds(0, 0, background.getWidth(), background.getHeight());
    setCentrePosition(centreX, centreY);

    parent.addAndMakeVisible(this);
    toFront(true);
    setAlwaysOnTop(true);
}

void AboutScreen::paint(juce::Graphics& g)
{
    g.setOpacity(1.0f);
    g.drawImage(background, 0, 0, getWidth(), getHeight(), 0, 0, background.getWidth(), background.getHeight(), false);
}

void AboutScreen::resized()
{
    for (juce::ImageButton* button : { forumButton, siteButton, updateButton })
        if (button != nullptr)
            button->setBounds(getLocalBounds());

    if (versionLabel != nullptr)
        versionLabel->setBounds(0, 0, background.getWidth() - versionLabelRightMargin, versionLabelHeight);
}

void AboutScreen::buttonClicked(juce::Button* button)
{
    const juce::URL* address = button == forumButton    ? &forumAddress
                               : button == siteButton   ? &siteAddress
                               : button == updateButton ? &downloadAddress
                                                        : nullptr;
    if (address != nullptr && ! address->isEmpty())
        address->launchInDefaultBrowser();
}

void AboutScreen::mouseDown(const juce::MouseEvent&)
{
    setVisible(false);
}

bool AboutScreen::keyPressed(const juce::KeyPress&)
{
    setVisible(false);
    return true;
}

}  // namespace volume_panel
