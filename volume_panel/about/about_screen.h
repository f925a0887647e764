// The about box that lies over the volume panel: the skin's about background with the
// program's version in its top right corner and three tiles that open the maker's web
// site, its user forum and the forum's download page in the default browser. A click
// elsewhere on the box, or a key press, hides it; the next showOn shows it again as it was.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace volume_panel {

class AboutScreen : public juce::Component, public juce::Button::Listener
{
public:
    explicit AboutScreen(const juce::String& downloadAddress);
    ~AboutScreen() override;

    // The first call builds the tiles and the version label, centres the screen on the
    // parent and adds it there on top; later calls only make it visible again.
    void showOn(juce::Component& parent);

    void mouseDown(const juce::MouseEvent& event) override;
    void paint(juce::Graphics& g) override;
    bool keyPressed(const juce::KeyPress& key) override;
    void resized() override;
    void buttonClicked(juce::Button* button) override;

private:
    // Makes a copy of skinTile into tile, and its button, unless the copy exists already
    // or the skin has no such tile.
    juce::ImageButton* addTileButton(const juce::String& name, juce::Image& tile, const juce::Image& skinTile);

    juce::Image background;
    juce::URL forumAddress, siteAddress, downloadAddress;
    juce::Image forumTile, siteTile, updateTile;
    juce::ImageButton* forumButton = nullptr;
    juce::ImageButton* siteButton = nullptr;
    juce::ImageButton* updateButton = nullptr;
    juce::Label* versionLabel = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(AboutScreen)
};

}  // namespace volume_panel
