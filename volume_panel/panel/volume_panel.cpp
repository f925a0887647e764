#include "volume_panel/panel/volume_panel.h"

#include "volume_panel/about/web_addresses.h"
#include "volume_panel/application/program_identity.h"
#include "volume_panel/backend/operating_system_class.h"
#include "volume_panel/panel/overlay_box.h"
#include "volume_panel/panel/unavailable_messages.h"
#include "volume_panel/skin/volume_skin_look_and_feel.h"

namespace volume_panel {
namespace {

constexpr int sliderCentres[2] { 67, 214 };
constexpr int sliderTop = 76;
constexpr int sliderWidth = 82;
constexpr int sliderHeight = 196;
const juce::Rectangle<int> muteButtonAreas[2] { { 30, 282, 74, 26 }, { 177, 282, 74, 26 } };
// A press that begins here and is released opens the about screen.
const juce::Rectangle<int> aboutStrip { 0, 0, 280, 43 };

constexpr float unpluggedVeilAlpha = 0.5f;
constexpr float unpluggedFontHeight = 20.0f;

}  // namespace

VolumePanel::VolumePanel()
    : backend(new volume::Traverser(deviceName)),
      aboutScreen(new AboutScreen(downloadPageAddress))
{
    for (int index = 0; index < 2; ++index)
    {
        sliderBounds[index] = { sliderCentres[index] - sliderWidth / 2, sliderTop, sliderWidth, sliderHeight };
        auto* slider = new juce::Slider("slider" + juce::String(index));
        slider->setSliderStyle(juce::Slider::LinearVertical);
        slider->setRange(0.0, 100.0, 1.0);
        slider->setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
        sliders[index] = slider;
        addAndMakeVisible(slider);
        slider->addListener(this);

        buttonBounds[index] = muteButtonAreas[index];
        auto* button = new juce::ToggleButton("Mute" + juce::String(index));
        muteButtons[index] = button;
        addAndMakeVisible(button);
        button->addListener(this);
    }

    backend->addChangeListener(this);
    refreshFromDevice();
}

VolumePanel::~VolumePanel()
{
    stopTimer();
    removeChildComponent(aboutScreen);
    deleteAllChildren();
    backend->removeChangeListener(this);
    delete backend;
    delete aboutScreen;
}

void VolumePanel::refreshFromDevice()
{
    bool available[2] { false, false };
    deviceFound = backend->findDevice(available[0], available[1]);

    const auto osClass = volume::currentOperatingSystemClass();
    for (const volume::Direction direction : { volume::Direction::input, volume::Direction::output })
    {
        const int index = static_cast<int>(direction);
        if (deviceFound && ! available[index])
        {
            const juce::String message = unavailableLevelMessage(direction, osClass);
            sliders[index]->setTooltip(message);
            muteButtons[index]->setTooltip(message);
            break;
        }
    }
    if (! deviceFound || (available[0] && available[1]))
        for (int index = 0; index < 2; ++index)
        {
            sliders[index]->setTooltip({});
            muteButtons[index]->setTooltip({});
        }

    for (int index = 0; index < 2; ++index)
        showControlsOf(index, available[index]);

    for (int index = 0; index < 2; ++index)
    {
        if (! available[index])
            continue;

        bool mute = false;
        const float level = index == 0 ? backend->getInputLevel(mute) : backend->getOutputLevel(mute);
        sliders[index]->setValue(level * 100.0, juce::dontSendNotification);
        muteButtons[index]->setToggleState(mute, juce::dontSendNotification);
    }

    repaint();
}

// An unavailable direction's controls are disabled and let presses through to the panel,
// which explains them.
void VolumePanel::showControlsOf(int index, bool available)
{
    for (juce::Component* control :
         { static_cast<juce::Component*>(sliders[index]), static_cast<juce::Component*>(muteButtons[index]) })
    {
        control->setEnabled(available);
        control->setInterceptsMouseClicks(available, available);
    }
}

void VolumePanel::applyToDevice(int index, double sliderValue, bool mute)
{
    const float level = static_cast<float>(sliderValue) / 100.0f;
    if (index == 0)
        backend->setInputLevel(level, mute);
    else
        backend->setOutputLevel(level, mute);
}

void VolumePanel::sliderValueChanged(juce::Slider* slider)
{
    const int index = slider == sliders[0] ? 0 : 1;
    applyToDevice(index, slider->getValue(), muteButtons[index]->getToggleState());
}

void VolumePanel::buttonClicked(juce::Button* button)
{
    const int index = button == muteButtons[0] ? 0 : 1;
    const bool mute = button->getToggleState();
    sliders[index]->setEnabled(! mute);
    applyToDevice(index, sliders[index]->getValue(), mute);
}

void VolumePanel::timerCallback()
{
    refreshFromDevice();
}

void VolumePanel::changeListenerCallback(juce::ChangeBroadcaster*)
{
    refreshFromDevice();
}

void VolumePanel::resized()
{
    for (int index = 0; index < 2; ++index)
    {
        sliders[index]->setBounds(sliderBounds[index]);
        muteButtons[index]->setBounds(buttonBounds[index]);
    }
}

void VolumePanel::paint(juce::Graphics& g)
{
    VolumeSkinLookAndFeel::paintPanelBackground(g);
}

void VolumePanel::paintOverChildren(juce::Graphics& g)
{
    if (! deviceFound)
    {
        g.fillAll(juce::Colours::white.withAlpha(unpluggedVeilAlpha));
        g.setColour(juce::Colours::white);
        g.setFont(juce::Font(unpluggedFontHeight));
        g.drawText(TRANS("Device unplugged."), getLocalBounds(), juce::Justification::centred, false);
    }
    else if (unavailableMessage.isNotEmpty())
    {
        paintOverlayBox(g);
    }
}

// The box lies against the side of the direction whose control was pressed.
void VolumePanel::paintOverlayBox(juce::Graphics& g)
{
    int anchorX = 0;
    BoxEdge edge = BoxEdge::left;
    if (sliderBounds[0].contains(pressPosition) || buttonBounds[0].contains(pressPosition))
        anchorX = sliderBounds[0].getX();
    else if (sliderBounds[1].contains(pressPosition) || buttonBounds[1].contains(pressPosition))
    {
        anchorX = sliderBounds[1].getRight();
        edge = BoxEdge::right;
    }

    auto& lookAndFeel = getLookAndFeel();
    const OverlayBox box =
        layOutOverlayBox(unavailableMessage, overlayFont(), lookAndFeel.findColour(juce::TooltipWindow::textColourId),
                         getLocalBounds(), anchorX, edge, sliderBounds[0].getY());

    g.setColour(lookAndFeel.findColour(juce::TooltipWindow::backgroundColourId));
    g.fillRect(box.bounds);
    g.setColour(lookAndFeel.findColour(juce::TooltipWindow::outlineColourId));
    g.drawRect(box.bounds, 1);
    const juce::TextLayout& layout = box.layout;
    layout.draw(
        g, juce::Rectangle<float>(layout.getWidth(), layout.getHeight()).withCentre(box.bounds.toFloat().getCentre()));
}

juce::SettableTooltipClient* VolumePanel::controlAt(juce::Point<int> position) const
{
    if (sliderBounds[0].contains(position))
        return sliders[0];
    if (buttonBounds[0].contains(position))
        return muteButtons[0];
    if (sliderBounds[1].contains(position))
        return sliders[1];
    if (buttonBounds[1].contains(position))
        return muteButtons[1];
    return nullptr;
}

// Reached only by presses that no enabled control takes.
void VolumePanel::mouseDown(const juce::MouseEvent& event)
{
    pressPosition = event.getPosition();

    if (unavailableMessage.isNotEmpty())
    {
        unavailableMessage.clear();
        repaint();
        return;
    }

    if (auto* control = controlAt(pressPosition))
    {
        unavailableMessage = control->getTooltip();
        repaint();
        return;
    }

    unavailableMessage.clear();
    dragger.startDraggingComponent(getTopLevelComponent(), event);
    dragging = true;
    repaint();
}

void VolumePanel::mouseDrag(const juce::MouseEvent& event)
{
    if (dragging)
        dragger.dragComponent(getTopLevelComponent(), event, &constrainer);
}

void VolumePanel::mouseUp(const juce::MouseEvent&)
{
    dragging = false;
    if (aboutStrip.contains(pressPosition))
        aboutScreen->showOn(*this);
}

}  // namespace volume_panel
