#include "volume_panel/panel/unavailable_messages.h"

#include "volume_panel/application/program_identity.h"

namespace volume_panel {
namespace {

constexpr const char* xpInputText =
    "Unable to control Input Level.\nPlease use the Windows Volume\nPanel. Right click on the Volume\n"
    "icon in the sytem tray and\nchoose 'Show Playback Devices'.\nIn [Options > Properties], choose \n%s\n"
    "as 'Recording' and click OK.";
constexpr const char* xpOutputText =
    "Unable to control Output Level.\nPlease use the Windows Volume\nPanel. Right click on the Volume\n"
    "icon in the sytem tray and\nchoose 'Show Playback Devices'.\nIn [Options > Properties], choose \n%s\n"
    "as 'Playback' and click OK.";
constexpr const char* inputText =
    "Unable to control Input Level.\nPlease use the Windows Volume\nPanel. In [Start > Control panel >\n"
    "Hardware and Sound > Manage\naudio devices > Recording],\nselect %s\nand click [Properties > Levels].";
constexpr const char* outputText =
    "Unable to control Output Level.\nPlease use the Windows Volume\nPanel. In [Start > Control panel >\n"
    "Hardware and Sound > Manage\naudio devices > Playback],\nselect %s\nand click [Properties > Levels].";

}  // namespace

juce::String unavailableLevelMessage(volume::Direction direction, volume::OperatingSystemClass osClass)
{
    const bool xp = osClass == volume::OperatingSystemClass::windowsXP;
    const char* text =
        direction == volume::Direction::input ? (xp ? xpInputText : inputText) : (xp ? xpOutputText : outputText);
    return juce::translate(text).replace("%s", modelName);
}

}  // namespace volume_panel
