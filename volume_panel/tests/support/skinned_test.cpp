#include "volume_panel/tests/support/skinned_test.h"

#include <windows.h>

namespace {

// Mouse events of one test follow each other faster than a double-click, which the
// components here treat like single clicks; spacing them keeps each gesture apart.
juce::int64 nextEventTime = 0;

void send(juce::Component& window, juce::Point<int> position, juce::ModifierKeys buttons)
{
    auto* peer = window.getPeer();
    ASSERT_NE(peer, nullptr) << "the component must be on the desktop";
    // Components read the pointer's live position too (a window drag does), so the
    // system's pointer goes where the event says.
    const juce::Point<int> onScreen = window.localPointToGlobal(position);
    SetCursorPos(onScreen.x, onScreen.y);
    nextEventTime = juce::jmax(nextEventTime + 1000, juce::Time::currentTimeMillis());
    peer->handleMouseEvent(juce::MouseInputSource::InputSourceType::mouse, position.toFloat(), buttons,
                           juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                           nextEventTime);
}

const juce::ModifierKeys leftButton(juce::ModifierKeys::leftButtonModifier);

}  // namespace

void SkinnedTest::SetUp()
{
    skin = new VolumeSkinLookAndFeel();
    juce::LookAndFeel::setDefaultLookAndFeel(skin);
}

void SkinnedTest::TearDown()
{
    juce::LookAndFeel::setDefaultLookAndFeel(nullptr);
    delete skin;
}

void mouseMove(juce::Component& window, juce::Point<int> position)
{
    send(window, position, {});
}

void mousePress(juce::Component& window, juce::Point<int> position)
{
    send(window, position, {});
    send(window, position, leftButton);
}

void mouseDragTo(juce::Component& window, juce::Point<int> position)
{
    send(window, position, leftButton);
}

void mouseRelease(juce::Component& window, juce::Point<int> position)
{
    send(window, position, {});
}

void mouseClick(juce::Component& window, juce::Point<int> position)
{
    mousePress(window, position);
    mouseRelease(window, position);
}

juce::Component* childNamed(const juce::Component& parent, const juce::String& name)
{
    for (auto* child : parent.getChildren())
        if (child->getName() == name)
            return child;
    return nullptr;
}

juce::Rectangle<int> differingArea(const juce::Image& before, const juce::Image& after)
{
    juce::Rectangle<int> area;
    for (int y = 0; y < before.getHeight(); ++y)
        for (int x = 0; x < before.getWidth(); ++x)
            if (before.getPixelAt(x, y) != after.getPixelAt(x, y))
                area = area.isEmpty() ? juce::Rectangle<int>(x, y, 1, 1) : area.getUnion({ x, y, 1, 1 });
    return area;
}

bool showsPictureAt(const juce::Image& image, const juce::Image& picture, juce::Point<int> position)
{
    for (int y = 0; y < picture.getHeight(); ++y)
        for (int x = 0; x < picture.getWidth(); ++x)
        {
            const juce::Colour expected = picture.getPixelAt(x, y);
            if (expected.getAlpha() != 255)
                continue;
            const juce::Colour shown = image.getPixelAt(position.x + x, position.y + y);
            if (std::abs(shown.getRed() - expected.getRed()) > 2 || std::abs(shown.getGreen() - expected.getGreen()) > 2
                || std::abs(shown.getBlue() - expected.getBlue()) > 2)
                return false;
        }
    return true;
}
