// The about screen: its tiles, version label, placement and closing.
#include "volume_panel/about/about_screen.h"
#include "volume_panel/about/web_addresses.h"
#include "volume_panel/tests/support/skinned_test.h"

namespace {

using volume_panel::AboutScreen;

class AboutScreenTest : public SkinnedTest
{
protected:
    void SetUp() override
    {
        SkinnedTest::SetUp();
        parent.setBounds(100, 100, 280, 360);
        parent.addToDesktop(0);
        parent.setVisible(true);
    }

    void TearDown() override
    {
        parent.removeAllChildren();
        parent.removeFromDesktop();
        SkinnedTest::TearDown();
    }

    juce::Component parent;
    AboutScreen about { volume_panel::downloadPageAddress };
};

TEST_F(AboutScreenTest, IsBuiltOnlyWhenFirstShownAndCentredOnItsParent)
{
    EXPECT_EQ(about.getName(), "AboutScreen");
    EXPECT_EQ(about.getNumChildComponents(), 0);
    EXPECT_EQ(about.getParentComponent(), nullptr);

    about.showOn(parent);
    EXPECT_EQ(about.getParentComponent(), &parent);
    EXPECT_EQ(about.getBounds(), juce::Rectangle<int>(8, 30, 264, 300));
    EXPECT_TRUE(about.isAlwaysOnTop());
    for (const char* name : { "forumButton", "vqButton", "updateButton" })
    {
        juce::Component* button = childNamed(about, name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_EQ(button->getBounds(), about.getLocalBounds()) << name;
        EXPECT_EQ(button->getMouseCursor(), juce::MouseCursor(juce::MouseCursor::PointingHandCursor)) << name;
    }
}

TEST_F(AboutScreenTest, ShowsTheVersionRightAlignedInBoldWhite)
{
    about.showOn(parent);
    auto* version = dynamic_cast<juce::Label*>(childNamed(about, "version"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->getText(), "1.0.4");
    EXPECT_EQ(version->getBounds(), juce::Rectangle<int>(0, 0, 254, 30));
    EXPECT_EQ(version->getJustificationType().getFlags(), 34);
    EXPECT_TRUE(version->getFont().isBold());
    EXPECT_EQ(version->findColour(juce::Label::textColourId), juce::Colours::white);
}

TEST_F(AboutScreenTest, OnlyTheOpaqueTileRegionsReactToTheMouse)
{
    about.showOn(parent);
    // A tile knows where its picture lies once it has been painted.
    about.createComponentSnapshot(about.getLocalBounds());
    struct Region
    {
        const char* button;
        int left, right;
    };
    for (const Region& region :
         { Region { "vqButton", 0, 88 }, Region { "updateButton", 90, 176 }, Region { "forumButton", 178, 263 } })
    {
        juce::Component* button = childNamed(about, region.button);
        EXPECT_TRUE(button->hitTest(region.left, 216)) << region.button;
        EXPECT_TRUE(button->hitTest(region.right, 299)) << region.button;
        EXPECT_FALSE(button->hitTest(region.left + 20, 215)) << region.button;
        EXPECT_FALSE(button->hitTest(region.left == 0 ? 89 : region.left - 1, 250)) << region.button;
    }
}

TEST_F(AboutScreenTest, AClickOffTheTilesOrAKeyHidesItAndShowingAgainReusesEverything)
{
    about.showOn(parent);
    const juce::Array<juce::Component*> built = about.getChildren();

    mouseClick(parent, { 140, 100 });
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.getParentComponent(), &parent);

    about.setBounds(0, 0, 264, 300);
    about.showOn(parent);
    EXPECT_TRUE(about.isVisible());
    EXPECT_EQ(about.getPosition(), juce::Point<int>(0, 0)) << "no new position";
    EXPECT_EQ(about.getChildren(), built);

    EXPECT_TRUE(about.keyPressed(juce::KeyPress('a')));
    EXPECT_FALSE(about.isVisible());
}

TEST_F(AboutScreenTest, AClickOnATileLeavesTheScreenOpen)
{
    about.showOn(parent);
    about.createComponentSnapshot(about.getLocalBounds());
    // The web-site tile, bottom left: its address goes to the system's browser.
    auto* siteButton = dynamic_cast<juce::Button*>(childNamed(about, "vqButton"));
    ASSERT_NE(siteButton, nullptr);
    EXPECT_EQ(parent.getComponentAt(8 + 44, 30 + 250), siteButton);
    EXPECT_TRUE(about.isVisible());
}

}  // namespace
