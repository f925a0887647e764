// The panel where the toolkit gets no vertical blanks to repaint by (Wine's DXGI, which
// never delivers them, and Windows XP, which has no DXGI), and the panel on Windows XP
// itself. The OnWindowsXp tests run only in the Wine prefix of tools/with-windows-xp,
// which reports Windows XP and lacks dxgi.dll; the rest run in both prefixes.
#include "volume_panel/backend/operating_system_class.h"
#include "volume_panel/panel/volume_panel.h"
#include "volume_panel/simulator/simulated_audio.h"
#include "volume_panel/tests/support/juce_test_environment.h"
#include "volume_panel/tests/support/skinned_test.h"

#include <windows.h>

namespace {

using simulated_audio::Direction;

constexpr std::size_t qorda8 = 1;

class CountingComponent : public juce::Component
{
public:
    void paint(juce::Graphics& g) override
    {
        g.fillAll(juce::Colours::darkgrey);
        ++paints;
    }

    int paints = 0;
};

// A window's repaints reach the screen without any help from the program.
TEST(Repainting, AWindowRepaintsOnItsOwn)
{
    CountingComponent window;
    window.setBounds(100, 100, 120, 80);
    window.addToDesktop(0);
    window.setVisible(true);
    ASSERT_TRUE(pumpMessagesUntil([&] { return window.paints > 0; })) << "the first paint";

    for (int repaint = 1; repaint <= 3; ++repaint)
    {
        const int before = window.paints;
        window.repaint();
        EXPECT_TRUE(pumpMessagesUntil([&] { return window.paints > before; }, 3000)) << "repaint " << repaint;
    }
}

TEST(OnWindowsXp, TheRunningWindowsIsXpWithoutDxgi)
{
    const simulated_audio::WindowsVersion version = simulated_audio::versionOfThisSystem();
    EXPECT_EQ(version.majorVersion, 5u);
    EXPECT_EQ(version.minorVersion, 1u);
    EXPECT_EQ(LoadLibraryA("dxgi.dll"), nullptr);
}

class OnWindowsXpPanel : public SkinnedTest
{
protected:
    void TearDown() override
    {
        delete panel;
        pumpMessagesFor(20);
        SkinnedTest::TearDown();
    }

    juce::Slider& slider(int index)
    {
        return *static_cast<juce::Slider*>(childNamed(*panel, "slider" + juce::String(index)));
    }

    static simulated_audio::Line lineOf(Direction direction)
    {
        return simulated_audio::currentMachine().devices[qorda8].lines[static_cast<int>(direction)];
    }

    volume_panel::VolumePanel* panel = nullptr;
};

// The simulated machine runs the Windows that Wine reports, as in the simulated program.
TEST_F(OnWindowsXpPanel, StartsInWinMmModeShowsTheLevelsAndWritesThemToTheMixer)
{
    simulated_audio::installMachine(simulated_audio::standardMachine(simulated_audio::versionOfThisSystem()));
    ASSERT_EQ(volume::currentOperatingSystemClass(), volume::OperatingSystemClass::windowsXP);

    panel = new volume_panel::VolumePanel();
    panel->setBounds(200, 150, 280, 360);
    panel->addToDesktop(0);
    panel->setVisible(true);
    EXPECT_FALSE(simulated_audio::callsStartingWith("mixerGetControlDetailsA").empty());
    EXPECT_TRUE(simulated_audio::callsStartingWith("CoCreateInstance").empty()) << "no endpoints on XP";
    EXPECT_EQ(slider(0).getValue(), 60.0);
    EXPECT_EQ(slider(1).getValue(), 80.0);

    simulated_audio::clearCallLog();
    slider(0).setValue(37.0, juce::sendNotificationSync);
    const std::vector<std::string> expected { "mixerSetControlDetails Velmora QORDA-8 input volume 24247",
                                              "mixerSetControlDetails Velmora QORDA-8 input mute 0" };
    EXPECT_EQ(simulated_audio::callsStartingWith("mixerSetControlDetails"), expected);
    EXPECT_NEAR(lineOf(Direction::input).level, 0.37f, 1.0f / 65535);
}

}  // namespace
