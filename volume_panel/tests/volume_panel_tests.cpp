// The panel as the user meets it, in-process with the real components on the simulated
// QORDA-8: writes, refreshes, the veil, the overlay box, dragging and the about screen.
#include "volume_panel/panel/volume_panel.h"
#include "volume_panel/simulator/simulated_audio.h"
#include "volume_panel/tests/support/juce_test_environment.h"
#include "volume_panel/tests/support/skinned_test.h"

#include <algorithm>

namespace {

using simulated_audio::Direction;

constexpr std::size_t qorda8 = 1;

class VolumePanelTest : public SkinnedTest
{
protected:
    void createPanel(const simulated_audio::Machine& machine)
    {
        simulated_audio::installMachine(machine);
        panel = new volume_panel::VolumePanel();
        panel->setBounds(200, 150, 280, 360);
        panel->addToDesktop(0);
        panel->setVisible(true);
    }

    void TearDown() override
    {
        delete panel;
        simulated_audio::waitForNotifications();
        pumpMessagesFor(20);
        SkinnedTest::TearDown();
    }

    juce::Slider& slider(int index)
    {
        return *static_cast<juce::Slider*>(childNamed(*panel, "slider" + juce::String(index)));
    }

    juce::ToggleButton& muteButton(int index)
    {
        return *static_cast<juce::ToggleButton*>(childNamed(*panel, "Mute" + juce::String(index)));
    }

    juce::Image snapshot() { return panel->createComponentSnapshot(panel->getLocalBounds()); }

    static simulated_audio::Line lineOf(Direction direction)
    {
        return simulated_audio::currentMachine().devices[qorda8].lines[static_cast<int>(direction)];
    }

    static std::size_t writesToDevice()
    {
        return simulated_audio::callsStartingWith("Set").size()
               + simulated_audio::callsStartingWith("mixerSetControlDetails").size();
    }

    void expectControls(int index, bool enabled)
    {
        for (juce::Component* control :
             { static_cast<juce::Component*>(&slider(index)), static_cast<juce::Component*>(&muteButton(index)) })
        {
            EXPECT_EQ(control->isEnabled(), enabled) << control->getName();
            bool takesClicks, childrenTakeClicks;
            control->getInterceptsMouseClicks(takesClicks, childrenTakeClicks);
            EXPECT_EQ(takesClicks, enabled) << control->getName();
        }
    }

    volume_panel::VolumePanel* panel = nullptr;
};

TEST_F(VolumePanelTest, ShowsTheDevicesLevelsAndMutes)
{
    simulated_audio::Machine machine = simulated_audio::standardMachine();
    machine.devices[qorda8].lines[static_cast<int>(Direction::output)].muteValue = 1;
    createPanel(machine);

    EXPECT_EQ(slider(0).getValue(), 60.0);
    EXPECT_EQ(slider(1).getValue(), 80.0);
    EXPECT_FALSE(muteButton(0).getToggleState());
    EXPECT_TRUE(muteButton(1).getToggleState());
    expectControls(0, true);
    expectControls(1, true);
    EXPECT_EQ(slider(0).getBounds(), juce::Rectangle<int>(26, 76, 82, 196));
    EXPECT_EQ(muteButton(1).getBounds(), juce::Rectangle<int>(177, 282, 74, 26));
}

TEST_F(VolumePanelTest, MovingASliderWritesItsLevelWithTheButtonsMute)
{
    simulated_audio::Machine machine = simulated_audio::standardMachine();
    machine.devices[qorda8].lines[static_cast<int>(Direction::output)].muteValue = 1;
    createPanel(machine);

    simulated_audio::clearCallLog();
    slider(1).setValue(37.0, juce::sendNotificationSync);
    const std::vector<std::string> expected { "SetMasterVolumeLevelScalar Speakers (Velmora QORDA-8) 0.3700",
                                              "SetMute Speakers (Velmora QORDA-8) 1" };
    EXPECT_EQ(simulated_audio::callLog(), expected);
    EXPECT_FLOAT_EQ(lineOf(Direction::output).level, 0.37f);
}

TEST_F(VolumePanelTest, MutingDisablesTheSliderUntilTheNextRefresh)
{
    createPanel(simulated_audio::standardMachine(simulated_audio::windowsXP));

    mouseClick(*panel, muteButton(0).getBounds().getCentre());
    EXPECT_TRUE(muteButton(0).getToggleState());
    EXPECT_FALSE(slider(0).isEnabled());
    EXPECT_EQ(lineOf(Direction::input).muteValue, 1u);
    EXPECT_NEAR(lineOf(Direction::input).level, 0.6f, 1.0f / 65535) << "written with the slider's level";

    panel->refreshFromDevice();
    EXPECT_TRUE(slider(0).isEnabled()) << "a refresh enables by availability only";
    EXPECT_TRUE(muteButton(0).getToggleState());
    EXPECT_EQ(lineOf(Direction::input).muteValue, 1u) << "the device stays muted";

    mouseClick(*panel, muteButton(0).getBounds().getCentre());
    EXPECT_FALSE(muteButton(0).getToggleState());
    EXPECT_EQ(lineOf(Direction::input).muteValue, 0u);
}

TEST_F(VolumePanelTest, RefreshesWriteNothingBack)
{
    for (const auto version : { simulated_audio::windowsXP, simulated_audio::windows7 })
    {
        createPanel(simulated_audio::standardMachine(version));
        simulated_audio::changeLine(qorda8, Direction::input, 0.25f, 1);
        simulated_audio::clearCallLog();
        panel->refreshFromDevice();
        panel->timerCallback();
        EXPECT_EQ(slider(0).getValue(), 25.0);
        EXPECT_TRUE(muteButton(0).getToggleState());
        EXPECT_EQ(writesToDevice(), 0u);
        delete panel;
        panel = nullptr;
    }
}

TEST_F(VolumePanelTest, AChangeMadeElsewhereRefreshesThePanelOnTheMessageThread)
{
    createPanel(simulated_audio::standardMachine(simulated_audio::windows7));

    simulated_audio::changeLine(qorda8, Direction::output, 0.2f, 1);
    simulated_audio::waitForNotifications();
    EXPECT_EQ(slider(1).getValue(), 80.0) << "the notification thread itself touches no control";

    EXPECT_TRUE(pumpMessagesUntil([this] { return slider(1).getValue() == 20.0; }));
    EXPECT_TRUE(muteButton(1).getToggleState());
}

TEST_F(VolumePanelTest, UnpluggingVeilsThePanelAndReplugBringsTheControlsBack)
{
    createPanel(simulated_audio::standardMachine(simulated_audio::windows7));
    const juce::Image plugged = snapshot();

    simulated_audio::setPlugged(qorda8, false);
    panel->refreshFromDevice();
    expectControls(0, false);
    expectControls(1, false);
    const juce::Image unplugged = snapshot();
    const juce::Colour veiled = unplugged.getPixelAt(20, 200);
    EXPECT_GT(veiled.getBrightness(), plugged.getPixelAt(20, 200).getBrightness() + 0.3f) << "a white veil";

    mouseClick(*panel, slider(0).getBounds().getCentre());
    EXPECT_EQ(differingArea(unplugged, snapshot()), juce::Rectangle<int>()) << "no box without a message";

    simulated_audio::setPlugged(qorda8, true);
    simulated_audio::changeLine(qorda8, Direction::input, 0.45f, 0);
    panel->refreshFromDevice();
    expectControls(0, true);
    expectControls(1, true);
    EXPECT_EQ(slider(0).getValue(), 45.0);
    EXPECT_LT(differingArea(plugged, snapshot()).getHeight(), 200) << "only the input slider's thumb moved";
}

TEST_F(VolumePanelTest, APressOnAnUnavailableInputExplainsItInABoxAtTheInputSlider)
{
    simulated_audio::Machine machine = simulated_audio::standardMachine(simulated_audio::windowsXP);
    machine.devices[qorda8].lines[static_cast<int>(Direction::input)].hasMuteControl = false;
    createPanel(machine);
    expectControls(0, false);
    expectControls(1, true);

    const juce::String xpInputMessage =
        "Unable to control Input Level.\nPlease use the Windows Volume\nPanel. Right click on the Volume\n"
        "icon in the sytem tray and\nchoose 'Show Playback Devices'.\nIn [Options > Properties], choose \nQORDA-8\n"
        "as 'Recording' and click OK.";
    EXPECT_EQ(slider(0).getTooltip(), xpInputMessage);
    EXPECT_EQ(muteButton(0).getTooltip(), xpInputMessage);
    EXPECT_EQ(slider(1).getTooltip(), "");

    const juce::Image closed = snapshot();
    mouseClick(*panel, { 67, 150 });
    const juce::Rectangle<int> box = differingArea(closed, snapshot());
    EXPECT_LE(box.getRight(), 280) << "inside the panel";
    EXPECT_EQ(box.getX(), std::min(26, 280 - box.getWidth())) << "at the input slider, or as near as the panel allows";
    EXPECT_EQ(box.getY(), 76);
    EXPECT_GT(box.getHeight(), 8 * 15) << "eight lines of text";

    mouseClick(*panel, { 140, 200 });
    EXPECT_EQ(differingArea(closed, snapshot()), juce::Rectangle<int>()) << "the next press closes it";
}

TEST_F(VolumePanelTest, TheBoxOfAnUnavailableOutputEndsAtTheOutputSlidersRightEdge)
{
    createPanel(simulated_audio::standardMachine(simulated_audio::windows7));
    simulated_audio::setEndpointEnabled(qorda8, Direction::output, false);
    panel->refreshFromDevice();
    expectControls(1, false);
    EXPECT_TRUE(
        slider(1).getTooltip().startsWith("Unable to control Output Level.\nPlease use the Windows Volume\n"
                                          "Panel. In [Start > Control panel >"));

    mouseMove(*panel, muteButton(1).getBounds().getCentre());
    const juce::Image closed = snapshot();
    mouseClick(*panel, muteButton(1).getBounds().getCentre());
    const juce::Rectangle<int> box = differingArea(closed, snapshot());
    EXPECT_EQ(box.getRight(), 255);
    EXPECT_EQ(box.getY(), 76);
}

TEST_F(VolumePanelTest, APressOnTheBackgroundDragsTheWindow)
{
    createPanel(simulated_audio::standardMachine());
    const juce::Point<int> start = panel->getScreenPosition();

    mousePress(*panel, { 140, 200 });
    mouseDragTo(*panel, { 170, 220 });
    mouseRelease(*panel, { 140, 200 });
    EXPECT_EQ(panel->getScreenPosition(), start + juce::Point<int>(30, 20));
    EXPECT_EQ(childNamed(*panel, "AboutScreen"), nullptr);
}

TEST_F(VolumePanelTest, APressInTheTopStripOpensTheAboutScreenAndAgainReusesIt)
{
    createPanel(simulated_audio::standardMachine());

    mousePress(*panel, { 140, 200 });
    mouseRelease(*panel, { 140, 20 });
    EXPECT_EQ(childNamed(*panel, "AboutScreen"), nullptr) << "the press must begin in the strip";

    mouseClick(*panel, { 140, 20 });
    juce::Component* about = childNamed(*panel, "AboutScreen");
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->getBounds(), juce::Rectangle<int>(8, 30, 264, 300));
    const juce::Array<juce::Component*> built = about->getChildren();
    EXPECT_EQ(built.size(), 4);

    mouseClick(*panel, { 140, 120 });
    EXPECT_FALSE(about->isVisible()) << "a click off the tiles hides it";

    mouseClick(*panel, { 140, 20 });
    EXPECT_EQ(childNamed(*panel, "AboutScreen"), about);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->getBounds(), juce::Rectangle<int>(8, 30, 264, 300));
    EXPECT_EQ(about->getChildren(), built) << "shown again without rebuilding its buttons";
}

}  // namespace
