// What tests of the panel's components share: the skin as the default look-and-feel
// (as the application sets it up), the user's mouse delivered through a component's
// window, and pictures to compare.
#pragma once

#include "volume_panel/skin/volume_skin_look_and_feel.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

class SkinnedTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    VolumeSkinLookAndFeel* skin = nullptr;
};

// Mouse events at a position in the coordinates of `window`, a component on the desktop,
// delivered through its peer as the system delivers the user's mouse.
void mouseMove(juce::Component& window, juce::Point<int> position);
void mousePress(juce::Component& window, juce::Point<int> position);
void mouseDragTo(juce::Component& window, juce::Point<int> position);
void mouseRelease(juce::Component& window, juce::Point<int> position);
void mouseClick(juce::Component& window, juce::Point<int> position);

juce::Component* childNamed(const juce::Component& parent, const juce::String& name);

// The smallest rectangle holding every pixel that differs between two pictures of one size.
juce::Rectangle<int> differingArea(const juce::Image& before, const juce::Image& after);

// Whether `picture` appears at `position` of `image`, compared where the picture is opaque.
bool showsPictureAt(const juce::Image& image, const juce::Image& picture, juce::Point<int> position);
