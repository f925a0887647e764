// The box that explains an unavailable direction stays inside the 280 x 360 panel for
// every message, pressed on either side, in the font Wine draws and in wider ones:
// Windows draws the toolkit's default font, Verdana, about 15 % wider.
#include "volume_panel/panel/overlay_box.h"
#include "volume_panel/panel/unavailable_messages.h"

#include <gtest/gtest.h>

namespace {

using volume_panel::BoxEdge;

struct Anchor
{
    const char* control;
    int x;
    BoxEdge edge;
};

TEST(OverlayBox, StaysInsideThePanelForEveryMessageAndFont)
{
    const juce::Rectangle<int> panel(0, 0, 280, 360);
    const Anchor anchors[] { { "input", 26, BoxEdge::left },
                             { "output", 255, BoxEdge::right },
                             { "background", 0, BoxEdge::left } };
    for (const auto osClass : { volume::OperatingSystemClass::windowsXP, volume::OperatingSystemClass::windows7 })
        for (const auto direction : { volume::Direction::input, volume::Direction::output })
        {
            const juce::String text = volume_panel::unavailableLevelMessage(direction, osClass);
            for (const float widening : { 1.0f, 1.1f, 1.15f, 1.2f, 1.3f })
                for (const Anchor& anchor : anchors)
                {
                    const juce::Font font = volume_panel::overlayFont().withHorizontalScale(widening);
                    const volume_panel::OverlayBox box = volume_panel::layOutOverlayBox(
                        text, font, juce::Colours::black, panel, anchor.x, anchor.edge, 76);
                    SCOPED_TRACE(text + " at " + juce::String(widening) + " of the width, pressed on the "
                                 + anchor.control);
                    EXPECT_TRUE(panel.contains(box.bounds)) << box.bounds.toString();
                    // The box's size truncates the text's, as the toolkit's tooltips do.
                    EXPECT_LT(box.layout.getWidth(), box.bounds.getWidth() - 14 + 1) << "the text fits its box";
                    EXPECT_LT(box.layout.getHeight(), box.bounds.getHeight() - 10 + 1);
                    EXPECT_EQ(box.bounds.getY(), 76);
                }
        }
}

// Where the box fits, it lies on its anchor as before: against the input slider's left
// edge, or the output slider's right edge.
TEST(OverlayBox, LiesOnItsAnchorWhereItFits)
{
    const juce::Rectangle<int> panel(0, 0, 280, 360);
    const juce::String text = "Unable to control Input Level.";
    auto box = volume_panel::layOutOverlayBox(text, volume_panel::overlayFont(), juce::Colours::black, panel, 26,
                                              BoxEdge::left, 76);
    EXPECT_EQ(box.bounds.getX(), 26);
    EXPECT_EQ(box.bounds.getWidth(), static_cast<int>(box.layout.getWidth()) + 14);
    box = volume_panel::layOutOverlayBox(text, volume_panel::overlayFont(), juce::Colours::black, panel, 255,
                                         BoxEdge::right, 76);
    EXPECT_EQ(box.bounds.getRight(), 255);
}

}  // namespace
