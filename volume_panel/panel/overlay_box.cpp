#include "volume_panel/panel/overlay_box.h"

namespace volume_panel {
namespace {

constexpr float fontHeight = 15.0f;
constexpr float maximumTextWidth = 400.0f;
constexpr int widthPadding = 14;
constexpr int heightPadding = 10;

}  // namespace

juce::Font overlayFont()
{
    return juce::Font(fontHeight, juce::Font::bold);
}

OverlayBox layOutOverlayBox(const juce::String& text, const juce::Font& font, juce::Colour colour,
                            juce::Rectangle<int> panel, int anchorX, BoxEdge edge, int top)
{
    juce::AttributedString attributed;
    attributed.setJustification(juce::Justification::left);
    attributed.append(text, font, colour);

    // Laid out as wide as the toolkit's tooltips first; only a text too wide for the panel
    // is laid out again within it.
    OverlayBox box;
    box.layout.createLayoutWithBalancedLineLengths(attributed, maximumTextWidth);
    const float widthInPanel = static_cast<float>(panel.getWidth() - widthPadding);
    if (box.layout.getWidth() > widthInPanel)
        box.layout.createLayoutWithBalancedLineLengths(attributed, widthInPanel);

    const int width = juce::jmin(panel.getWidth(), static_cast<int>(box.layout.getWidth()) + widthPadding);
    const int height = juce::jmin(panel.getHeight(), static_cast<int>(box.layout.getHeight()) + heightPadding);
    const int left = edge == BoxEdge::left ? anchorX : anchorX - width;
    box.bounds = juce::Rectangle<int>(left, top, width, height).constrainedWithin(panel);
    return box;
}

}  // namespace volume_panel
