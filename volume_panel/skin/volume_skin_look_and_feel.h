// The volume panel's skin: loads the embedded pictures once, paints the mute buttons
// and the level sliders' thumbs with them, and hands the background pictures to the
// panel and the about screen. Everything else keeps the toolkit's classic look, whose
// linear sliders paint their thumbs through drawLinearSliderThumb.
//
// The background and about pictures and the thumbs live in module-wide slots, so only
// one skin may exist at a time; the application creates it before any window and
// deletes it last.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class VolumeSkinLookAndFeel : public juce::LookAndFeel_V2
{
public:
    VolumeSkinLookAndFeel();
    ~VolumeSkinLookAndFeel() override;

    void drawToggleButton(juce::Graphics& g, juce::ToggleButton& button, bool mouseOver, bool buttonDown) override;
    void drawLinearSliderThumb(juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                               float minSliderPos, float maxSliderPos, juce::Slider::SliderStyle style,
                               juce::Slider& slider) override;
    int getSliderThumbRadius(juce::Slider& slider) override;

    // The size of the panel background, published when the skin is constructed: the
    // size of the panel and of the window's content.
    static int getPanelWidth();
    static int getPanelHeight();

    // Draws the panel background at (0, 0) in its own size, if it loaded.
    static void paintPanelBackground(juce::Graphics& g);

    // The about screen's pictures; invalid images where a picture failed to load.
    static juce::Image getAboutBackground();
    static juce::Image getAboutUpdateTile();
    static juce::Image getAboutSiteTile();
    static juce::Image getAboutForumTile();

private:
    juce::Image muteOffNormal, muteOffOver, muteOffDown;
    juce::Image muteOnNormal, muteOnOver, muteOnDown;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VolumeSkinLookAndFeel)
};
