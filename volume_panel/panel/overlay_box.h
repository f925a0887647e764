// The box that explains why a direction cannot be controlled: its text laid out in the
// panel's bold font, and where the box lies. Windows draws the toolkit's default font
// (Verdana) wider than Wine does, so the text wraps where it would run past the panel,
// and the box is moved back inside the panel where its anchor would push it out.
#pragma once

#include <juce_graphics/juce_graphics.h>

namespace volume_panel {

// Which edge of the box lies on the anchor's x.
enum class BoxEdge { left, right };

struct OverlayBox
{
    juce::TextLayout layout;
    juce::Rectangle<int> bounds;
};

// The panel's font for the box: bold, 15 pixels high.
juce::Font overlayFont();

// Lays `text` out left-justified with balanced lines, at most 400 pixels wide and no wider
// than the panel allows; the box is the text's size plus 14 by 10 pixels, with its `edge`
// on `anchorX` and its top on `top`, moved as little as needed to lie inside `panel`.
OverlayBox layOutOverlayBox(const juce::String& text, const juce::Font& font, juce::Colour colour,
                            juce::Rectangle<int> panel, int anchorX, BoxEdge edge, int top);

}  // namespace volume_panel
