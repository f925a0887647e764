// The skin's pictures on the mute buttons and slider thumbs, and its colours.
#include "volume_panel/skin/artwork.h"
#include "volume_panel/tests/support/skinned_test.h"

namespace {

using namespace volume_panel;

juce::Image picture(const unsigned char* data, int size)
{
    return juce::ImageCache::getFromMemory(data, size);
}

class SkinTest : public SkinnedTest
{
protected:
    void SetUp() override
    {
        SkinnedTest::SetUp();
        window.setBounds(100, 100, 200, 240);
        window.addToDesktop(0);
        window.setVisible(true);
        slider.setSliderStyle(juce::Slider::LinearVertical);
        slider.setRange(0.0, 100.0, 1.0);
        slider.setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
        slider.setBounds(10, 10, 82, 196);
        window.addAndMakeVisible(slider);
        button.setBounds(100, 10, 74, 26);
        window.addAndMakeVisible(button);
    }

    void TearDown() override
    {
        window.removeAllChildren();
        window.removeFromDesktop();
        SkinnedTest::TearDown();
    }

    juce::Image sliderSnapshot() { return slider.createComponentSnapshot(slider.getLocalBounds()); }
    juce::Image buttonSnapshot() { return button.createComponentSnapshot(button.getLocalBounds()); }

    juce::Component window;
    juce::Slider slider;
    juce::ToggleButton button { "Mute0" };
};

TEST_F(SkinTest, TheThumbTravelsBetweenTheEndsOfTheSlider)
{
    const juce::Image thumb = picture(artwork::thumbNormal, artwork::thumbNormalSize);
    EXPECT_EQ(skin->getSliderThumbRadius(slider), 19);

    slider.setValue(0.0);
    EXPECT_TRUE(showsPictureAt(sliderSnapshot(), thumb, { 5, 196 - 38 })) << "centred on the bottom of its travel";
    slider.setValue(100.0);
    EXPECT_TRUE(showsPictureAt(sliderSnapshot(), thumb, { 5, 0 })) << "centred on the top of its travel";
    slider.setValue(50.0);
    EXPECT_TRUE(showsPictureAt(sliderSnapshot(), thumb, { 5, 79 }));
}

TEST_F(SkinTest, TheThumbTurnsHotUnderTheMouseOnlyWhileTheSliderIsEnabled)
{
    const juce::Image normal = picture(artwork::thumbNormal, artwork::thumbNormalSize);
    const juce::Image hot = picture(artwork::thumbHot, artwork::thumbHotSize);
    slider.setValue(100.0);

    mouseMove(window, { 51, 100 });
    EXPECT_TRUE(showsPictureAt(sliderSnapshot(), hot, { 5, 0 }));

    slider.setEnabled(false);
    EXPECT_TRUE(showsPictureAt(sliderSnapshot(), normal, { 5, 0 }));
    mouseMove(window, { 190, 230 });
}

TEST_F(SkinTest, TheMuteButtonShowsThePictureOfItsStateAndOfThePointer)
{
    mouseMove(window, { 190, 230 });
    EXPECT_TRUE(showsPictureAt(buttonSnapshot(), picture(artwork::muteOffNormal, artwork::muteOffNormalSize), {}));

    mouseMove(window, { 137, 23 });
    EXPECT_TRUE(showsPictureAt(buttonSnapshot(), picture(artwork::muteOffOver, artwork::muteOffOverSize), {}));

    mousePress(window, { 137, 23 });
    EXPECT_TRUE(showsPictureAt(buttonSnapshot(), picture(artwork::muteOffDown, artwork::muteOffDownSize), {}));
    mouseRelease(window, { 137, 23 });
    ASSERT_TRUE(button.getToggleState());
    EXPECT_TRUE(showsPictureAt(buttonSnapshot(), picture(artwork::muteOnOver, artwork::muteOnOverSize), {}));

    mousePress(window, { 137, 23 });
    EXPECT_TRUE(showsPictureAt(buttonSnapshot(), picture(artwork::muteOnDown, artwork::muteOnDownSize), {}))
        << "the down picture of its current state until release";
    mouseDragTo(window, { 190, 230 });
    mouseRelease(window, { 190, 230 });
    EXPECT_TRUE(showsPictureAt(buttonSnapshot(), picture(artwork::muteOnNormal, artwork::muteOnNormalSize), {}));
}

TEST_F(SkinTest, PublishesThePanelSizeAndDrawsLabelsInWhite)
{
    EXPECT_EQ(VolumeSkinLookAndFeel::getPanelWidth(), 280);
    EXPECT_EQ(VolumeSkinLookAndFeel::getPanelHeight(), 360);
    EXPECT_EQ(VolumeSkinLookAndFeel::getAboutBackground().getBounds(), juce::Rectangle<int>(0, 0, 264, 300));
    for (const juce::Image& tile :
         { VolumeSkinLookAndFeel::getAboutSiteTile(), VolumeSkinLookAndFeel::getAboutUpdateTile(),
           VolumeSkinLookAndFeel::getAboutForumTile() })
        EXPECT_EQ(tile.getBounds(), juce::Rectangle<int>(0, 0, 264, 300));

    juce::Label label;
    EXPECT_EQ(label.findColour(juce::Label::textColourId), juce::Colours::white);
}

}  // namespace
