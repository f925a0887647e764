#include "volume_panel/skin/volume_skin_look_and_feel.h"

#include "volume_panel/skin/artwork.h"

namespace {

juce::Image panelBackgroundImage, aboutBackgroundImage, aboutUpdateTileImage, aboutSiteTileImage, aboutForumTileImage;
juce::Image thumbNormalImage, thumbHotImage;
int panelWidth = 0;
int panelHeight = 0;

// Shared through the toolkit's image cache, keyed by the address of the embedded data.
juce::Image loadPicture(const unsigned char* data, int size)
{
    return juce::ImageCache::getFromMemory(data, size);
}

// The tiles lie over the about background at (0, 0), so they must have its size.
juce::Image fittedToAboutBackground(const juce::Image& tile)
{
    if (! tile.isValid() || ! aboutBackgroundImage.isValid() || tile.getBounds() == aboutBackgroundImage.getBounds())
        return tile;

    const juce::Image fitted = tile.rescaled(aboutBackgroundImage.getWidth(), aboutBackgroundImage.getHeight(),
                                             juce::Graphics::mediumResamplingQuality);
    const auto key = static_cast<juce::int64>(reinterpret_cast<juce::pointer_sized_int>(fitted.getPixelData()));
    juce::ImageCache::addImageToCache(fitted, key);
    return juce::ImageCache::getFromHashCode(key);
}

// Images take the opacity of the current colour, which the toolkit's painting before
// may have left translucent; the skin's pictures are always drawn as they are.
void drawInOwnSize(juce::Graphics& g, const juce::Image& picture, int x, int y)
{
    g.setOpacity(1.0f);
    g.drawImageAt(picture, x, y, false);
}

}  // namespace

VolumeSkinLookAndFeel::VolumeSkinLookAndFeel()
{
    using namespace volume_panel;

    panelBackgroundImage = loadPicture(artwork::panelBackground, artwork::panelBackgroundSize);
    aboutBackgroundImage = loadPicture(artwork::aboutBackground, artwork::aboutBackgroundSize);
    aboutUpdateTileImage = fittedToAboutBackground(loadPicture(artwork::aboutUpdateTile, artwork::aboutUpdateTileSize));
    aboutSiteTileImage = fittedToAboutBackground(loadPicture(artwork::aboutSiteTile, artwork::aboutSiteTileSize));
    aboutForumTileImage = fittedToAboutBackground(loadPicture(artwork::aboutForumTile, artwork::aboutForumTileSize));
    thumbNormalImage = loadPicture(artwork::thumbNormal, artwork::thumbNormalSize);
    thumbHotImage = loadPicture(artwork::thumbHot, artwork::thumbHotSize);
    muteOffNormal = loadPicture(artwork::muteOffNormal, artwork::muteOffNormalSize);
    muteOffOver = loadPicture(artwork::muteOffOver, artwork::muteOffOverSize);
    muteOffDown = loadPicture(artwork::muteOffDown, artwork::muteOffDownSize);
    muteOnNormal = loadPicture(artwork::muteOnNormal, artwork::muteOnNormalSize);
    muteOnOver = loadPicture(artwork::muteOnOver, artwork::muteOnOverSize);
    muteOnDown = loadPicture(artwork::muteOnDown, artwork::muteOnDownSize);

    panelWidth = panelBackgroundImage.getWidth();
    panelHeight = panelBackgroundImage.getHeight();

    setColour(juce::Label::textColourId, juce::Colours::white);
}

VolumeSkinLookAndFeel::~VolumeSkinLookAndFeel()
{
    for (juce::Image* picture : { &panelBackgroundImage, &aboutBackgroundImage, &aboutUpdateTileImage,
                                  &aboutSiteTileImage, &aboutForumTileImage, &thumbNormalImage, &thumbHotImage,
                                  &muteOffNormal, &muteOffOver, &muteOffDown, &muteOnNormal, &muteOnOver, &muteOnDown })
        *picture = juce::Image();
}

void VolumeSkinLookAndFeel::drawToggleButton(juce::Graphics& g, juce::ToggleButton& button, bool mouseOver,
                                             bool buttonDown)
{
    const bool muted = button.getToggleState();
    const juce::Image& down = muted ? muteOnDown : muteOffDown;
    const juce::Image& over = muted ? muteOnOver : muteOffOver;
    const juce::Image& normal = muted ? muteOnNormal : muteOffNormal;

    const juce::Image& picture = buttonDown && down.isValid() ? down : mouseOver && over.isValid() ? over : normal;
    if (picture.isValid())
        drawInOwnSize(g, picture, 0, 0);
}

void VolumeSkinLookAndFeel::drawLinearSliderThumb(juce::Graphics& g, int x, int y, int width, int height, float, float,
                                                  float, juce::Slider::SliderStyle, juce::Slider& slider)
{
    const double proportion = slider.valueToProportionOfLength(slider.getValue());
    const juce::Image& picture =
        slider.isEnabled() && slider.isMouseOverOrDragging() ? thumbHotImage : thumbNormalImage;
    const int half = picture.getHeight() / 2;
    const int top = static_cast<int>((1.0 - proportion) * height + y - half);

    const int left = x + juce::jmax(0, (width - picture.getWidth()) / 2);
    drawInOwnSize(g, picture, left, top + juce::jmax(0, (2 * half - picture.getHeight()) / 2));
}

int VolumeSkinLookAndFeel::getSliderThumbRadius(juce::Slider& slider)
{
    return (slider.isMouseOverOrDragging() ? thumbHotImage : thumbNormalImage).getHeight() / 2;
}

int VolumeSkinLookAndFeel::getPanelWidth()
{
    return panelWidth;
}

int VolumeSkinLookAndFeel::getPanelHeight()
{
    return panelHeight;
}

void VolumeSkinLookAndFeel::paintPanelBackground(juce::Graphics& g)
{
    if (panelBackgroundImage.isValid())
        drawInOwnSize(g, panelBackgroundImage, 0, 0);
}

juce::Image VolumeSkinLookAndFeel::getAboutBackground()
{
    return aboutBackgroundImage;
}

juce::Image VolumeSkinLookAndFeel::getAboutUpdateTile()
{
    return aboutUpdateTileImage;
}

juce::Image VolumeSkinLookAndFeel::getAboutSiteTile()
{
    return aboutSiteTileImage;
}

juce::Image VolumeSkinLookAndFeel::getAboutForumTile()
{
    return aboutForumTileImage;
}
